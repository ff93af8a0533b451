// One connection to Redis on the service's event loop (hiredis' async API
// driven by Asio). Commands queue while connected; when the connection drops
// every pending command is answered with nothing, the owner hears it, and
// the link connects again on its own after a pause. A Redis that keeps the
// connection but does not answer in time (stopped, swapped out, a network
// that drops without a reset) counts as dropped: each command, and the
// connection with its SELECT, has a reply deadline.
#pragma once

#include <asio.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct redisAsyncContext;

namespace navlet::server {

// A Redis reply, copied out of hiredis.
struct TRedisReply {
    enum Kind { Nil, Integer, String, Status, Error, Array } kind = Nil;
    int64_t integer = 0;
    std::string text; // String, Status, Error
    std::vector<TRedisReply> items;
};

// Where the cluster's Redis is and who the node is to it.
struct TRedisAddress {
    std::string host;
    uint16_t port = 6379;
    int db = 0;
    // AUTH: a password alone for Redis' requirepass (the default user), or
    // a Redis 6 ACL user with its password. Empty: no AUTH.
    std::string user;
    std::string password;
};
// Parses redis://[[USER]:PASSWORD@]HOST[:PORT][/DB] (also redis://USER@HOST,
// whose password then comes from elsewhere); USER and PASSWORD may hold
// %XX escapes. False when malformed.
bool ParseRedisAddress(const std::string& text, TRedisAddress& out);
// The --cluster address with its password: the URL's own, else
// `otherPassword` (the configuration's password file, when given), else
// NAVLET_REDIS_PASSWORD from the environment. False with `error` (which
// never holds the password) when the address is malformed or names a user
// but no password can be found.
bool ResolveRedisAddress(const std::string& text, const std::string& otherPassword,
                         TRedisAddress& out, std::string& error);
// The address as logs and errors show it: the password never, only that
// there is one.
std::string RedisAddressName(const TRedisAddress& address);

class TRedisLink {
  public:
    using TReplyFn = std::function<void(std::optional<TRedisReply>)>;
    // Every message of a channel this link subscribed to: channel, payload.
    using TMessageFn = std::function<void(const std::string&, const std::string&)>;

    TRedisLink(asio::io_context& io, TRedisAddress address, std::string name,
               std::chrono::milliseconds replyDeadline);
    ~TRedisLink();
    TRedisLink(const TRedisLink&) = delete;
    TRedisLink& operator=(const TRedisLink&) = delete;

    // Called on the loop when the connection (after SELECT) is ready, and
    // when it is lost (with why).
    void OnUp(std::function<void()> fn) { onUp = std::move(fn); }
    void OnDown(std::function<void(const std::string&)> fn) { onDown = std::move(fn); }
    void OnMessage(TMessageFn fn) { onMessage = std::move(fn); }

    void Start();
    bool Up() const { return up; }
    // Closes the connection as if it had dropped: pending commands are
    // answered with nothing, the owner hears `why` if the link was up, and
    // the link connects again after the pause. Not from inside a reply.
    void Drop(const std::string& why);
    // False (and `done` is not called) when the link is down. `done` runs on
    // the loop with the reply, or with nothing when the connection is lost
    // or the reply is overdue.
    bool Command(const std::vector<std::string>& args, TReplyFn done = nullptr);
    bool Subscribe(const std::string& channel);
    bool Unsubscribe(const std::string& channel);

    struct TState; // the part the loop's handlers share with hiredis

  private:
    void Connect();
    void Authenticate();
    void Refused(const std::string& why);
    void Lost(const std::string& why);
    void RetryLater();
    // Notes a command sent now, whose reply the deadline watches.
    void Sent();
    // Arms the deadline for the oldest unanswered command.
    void Watch();
    void Overdue();

    asio::io_context& io;
    TRedisAddress address;
    std::string name;
    std::shared_ptr<TState> state;
    asio::steady_timer retry;
    std::chrono::milliseconds replyDeadline;
    asio::steady_timer watchdog;
    bool watching = false;
    bool up = false;
    bool stopping = false;
    bool refusalTold = false; // once, until the link is up again
    std::function<void()> onUp;
    std::function<void(const std::string&)> onDown;
    TMessageFn onMessage;
};

} // namespace navlet::server
