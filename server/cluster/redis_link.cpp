#include "server/cluster/redis_link.h"

#include <chrono>
#include <cstdlib>
#include <deque>
#include <hiredis/async.h>
#include <hiredis/hiredis.h>
#include <unistd.h>

#include "protocol/ascii.h"
#include "server/log/counters.h"
#include "server/log/log.h"

namespace navlet::server {

namespace {

constexpr auto RETRY_DELAY = std::chrono::seconds(1);

TRedisReply Copy(const redisReply* r) {
    TRedisReply out;
    switch (r->type) {
    case REDIS_REPLY_INTEGER:
        out.kind = TRedisReply::Integer;
        out.integer = r->integer;
        break;
    case REDIS_REPLY_STRING:
    case REDIS_REPLY_STATUS:
    case REDIS_REPLY_ERROR:
        out.kind = r->type == REDIS_REPLY_STRING   ? TRedisReply::String
                   : r->type == REDIS_REPLY_STATUS ? TRedisReply::Status
                                                   : TRedisReply::Error;
        out.text.assign(r->str, r->len);
        break;
    case REDIS_REPLY_ARRAY:
        out.kind = TRedisReply::Array;
        for (size_t i = 0; i < r->elements; ++i)
            out.items.push_back(Copy(r->element[i]));
        break;
    default:
        break;
    }
    return out;
}

// %XX escapes of a URL's user part; false on a broken one.
bool Unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        int high = i + 2 < text.size() ? HexDigitValue(text[i + 1]) : -1;
        int low = high >= 0 ? HexDigitValue(text[i + 2]) : -1;
        if (low < 0)
            return false;
        out += char(high * 16 + low);
        i += 2;
    }
    return true;
}

} // namespace

bool ParseRedisAddress(const std::string& text, TRedisAddress& out) {
    const std::string scheme = "redis://";
    if (text.rfind(scheme, 0) != 0)
        return false;
    std::string rest = text.substr(scheme.size());
    TRedisAddress parsed;
    // The last '@' ends the user part: an unescaped one may be in a password.
    size_t at = rest.rfind('@');
    if (at != std::string::npos) {
        std::string userInfo = rest.substr(0, at);
        rest = rest.substr(at + 1);
        size_t colon = userInfo.find(':');
        if (!Unescape(userInfo.substr(0, colon), parsed.user))
            return false;
        if (colon != std::string::npos &&
            (!Unescape(userInfo.substr(colon + 1), parsed.password) || parsed.password.empty()))
            return false;
        if (parsed.user.empty() && parsed.password.empty())
            return false;
    }
    size_t slash = rest.find('/');
    std::string hostPort = rest.substr(0, slash);
    if (slash != std::string::npos) {
        std::string db = rest.substr(slash + 1);
        if (db.empty() || db.size() > 2 || db.find_first_not_of("0123456789") != std::string::npos)
            return false;
        parsed.db = std::atoi(db.c_str());
    }
    size_t colon = hostPort.rfind(':');
    parsed.host = hostPort.substr(0, colon);
    if (colon != std::string::npos) {
        std::string port = hostPort.substr(colon + 1);
        if (port.empty() || port.size() > 5 ||
            port.find_first_not_of("0123456789") != std::string::npos)
            return false;
        long value = std::atol(port.c_str());
        if (value < 1 || value > 65535)
            return false;
        parsed.port = uint16_t(value);
    }
    if (parsed.host.empty() || parsed.host.find_first_of("/@ ") != std::string::npos)
        return false;
    out = parsed;
    return true;
}

bool ResolveRedisAddress(const std::string& text, const std::string& otherPassword,
                         TRedisAddress& out, std::string& error) {
    TRedisAddress parsed;
    if (!ParseRedisAddress(text, parsed)) {
        // The text may hold a password: only its shape is told.
        error = "bad --cluster address (redis://[USER:PASSWORD@]HOST:PORT[/DB])";
        return false;
    }
    if (parsed.password.empty())
        parsed.password = otherPassword;
    if (parsed.password.empty())
        if (const char* env = std::getenv("NAVLET_REDIS_PASSWORD"))
            parsed.password = env;
    if (!parsed.user.empty() && parsed.password.empty()) {
        error = "the Redis user " + parsed.user +
                " needs a password (in the address, redis_password_file or NAVLET_REDIS_PASSWORD)";
        return false;
    }
    out = parsed;
    return true;
}

std::string RedisAddressName(const TRedisAddress& address) {
    std::string out = "redis://";
    if (!address.user.empty() || !address.password.empty())
        out += address.user + (address.password.empty() ? "" : ":***") + "@";
    return out + address.host + ":" + std::to_string(address.port) + "/" +
           std::to_string(address.db);
}

// hiredis asks for read and write readiness through these hooks; a copy of
// its socket in an Asio descriptor waits for them on the loop.
struct TRedisLink::TState : std::enable_shared_from_this<TState> {
    explicit TState(asio::io_context& io) : descriptor(io) {}
    redisAsyncContext* ac = nullptr; // null once hiredis has let it go
    TRedisLink* link = nullptr;      // null once the link has gone
    asio::posix::stream_descriptor descriptor;
    bool wantRead = false, wantWrite = false, reading = false, writing = false;
    bool lostReported = false;
    // When each command still unanswered went out, oldest first: Redis
    // answers a connection's commands in order. The connection itself, up
    // to the answer to its SELECT, is the first.
    std::deque<asio::steady_timer::time_point> unanswered;

    void Arm(bool read) {
        bool& pending = read ? reading : writing;
        if (pending || !ac || !descriptor.is_open())
            return;
        pending = true;
        auto wait = read ? asio::posix::stream_descriptor::wait_read
                         : asio::posix::stream_descriptor::wait_write;
        descriptor.async_wait(wait, [self = weak_from_this(), read](std::error_code ec) {
            std::shared_ptr<TState> s = self.lock();
            if (!s)
                return;
            (read ? s->reading : s->writing) = false;
            if (ec || !s->ac || !(read ? s->wantRead : s->wantWrite))
                return;
            if (read)
                redisAsyncHandleRead(s->ac);
            else
                redisAsyncHandleWrite(s->ac);
            if (s->ac && (read ? s->wantRead : s->wantWrite))
                s->Arm(read);
        });
    }

    static TState& Of(void* data) { return *static_cast<TState*>(data); }
    static void AddRead(void* data) {
        Of(data).wantRead = true;
        Of(data).Arm(true);
    }
    static void DelRead(void* data) { Of(data).wantRead = false; }
    static void AddWrite(void* data) {
        Of(data).wantWrite = true;
        Of(data).Arm(false);
    }
    static void DelWrite(void* data) { Of(data).wantWrite = false; }
    static void Cleanup(void* data) {
        TState& s = Of(data);
        s.ac = nullptr;
        std::error_code ignored;
        s.descriptor.close(ignored);
    }
};

namespace {

struct TPendingReply {
    std::weak_ptr<TRedisLink::TState> state;
    TRedisLink::TReplyFn done;
};

// Answers are handed to the loop, so that nothing runs inside hiredis.
void OnReply(redisAsyncContext* ac, void* reply, void* data) {
    std::unique_ptr<TPendingReply> pending(static_cast<TPendingReply*>(data));
    std::shared_ptr<TRedisLink::TState> state = pending->state.lock();
    if (!state)
        return;
    if (!state->unanswered.empty())
        state->unanswered.pop_front();
    if (!pending->done)
        return;
    std::optional<TRedisReply> copy;
    if (reply)
        copy = Copy(static_cast<redisReply*>(reply));
    (void)ac;
    asio::post(state->descriptor.get_executor(),
               [done = std::move(pending->done), copy = std::move(copy)] { done(copy); });
}

} // namespace

TRedisLink::TRedisLink(asio::io_context& io, TRedisAddress address, std::string name,
                       std::chrono::milliseconds replyDeadline)
    : io(io), address(std::move(address)), name(std::move(name)), retry(io),
      replyDeadline(replyDeadline), watchdog(io) {}

TRedisLink::~TRedisLink() {
    stopping = true;
    retry.cancel();
    watchdog.cancel();
    if (state) {
        state->link = nullptr;
        if (state->ac)
            redisAsyncFree(state->ac);
    }
}

void TRedisLink::Start() {
    Connect();
}

void TRedisLink::Connect() {
    if (stopping)
        return;
    // The previous state is released only now: hiredis had it until cleanup.
    state = std::make_shared<TState>(io);
    state->link = this;
    redisAsyncContext* ac = redisAsyncConnect(address.host.c_str(), address.port);
    if (!ac || ac->err) {
        std::string why = ac ? ac->errstr : "out of memory";
        if (ac)
            redisAsyncFree(ac);
        Lost(why);
        return;
    }
    int copy = ::dup(ac->c.fd);
    std::error_code ec;
    if (copy >= 0)
        state->descriptor.assign(copy, ec);
    if (copy < 0 || ec) {
        if (copy >= 0)
            ::close(copy);
        redisAsyncFree(ac);
        Lost("cannot watch the Redis socket");
        return;
    }
    state->ac = ac;
    Sent(); // the connection and its SELECT answer within the deadline too
    ac->data = state.get();
    ac->ev.data = state.get();
    ac->ev.addRead = TState::AddRead;
    ac->ev.delRead = TState::DelRead;
    ac->ev.addWrite = TState::AddWrite;
    ac->ev.delWrite = TState::DelWrite;
    ac->ev.cleanup = TState::Cleanup;
    redisAsyncSetConnectCallback(ac, [](const redisAsyncContext* c, int status) {
        TState& s = TState::Of(c->data);
        if (!s.link)
            return;
        if (status != REDIS_OK) {
            s.link->Lost(c->errstr);
            return;
        }
        TRedisLink* link = s.link;
        if (!link->address.password.empty())
            link->Authenticate();
        std::vector<std::string> select{"SELECT", std::to_string(link->address.db)};
        std::weak_ptr<TState> connection = s.weak_from_this();
        auto selected = [link, connection](std::optional<TRedisReply> r) {
            if (!r) {
                link->Lost("closed");
                return;
            }
            if (r->kind == TRedisReply::Error) {
                // NOAUTH, a wrong database: the connection is of no use.
                if (connection.lock() == link->state)
                    link->Refused(r->text);
                return;
            }
            link->up = true;
            link->refusalTold = false;
            if (link->onUp)
                link->onUp();
        };
        auto* pending = new TPendingReply{connection, std::move(selected)};
        const char* argv[] = {select[0].c_str(), select[1].c_str()};
        size_t lengths[] = {select[0].size(), select[1].size()};
        if (redisAsyncCommandArgv(s.ac, OnReply, pending, 2, argv, lengths) != REDIS_OK)
            delete pending;
    });
    redisAsyncSetDisconnectCallback(ac, [](const redisAsyncContext* c, int status) {
        TState& s = TState::Of(c->data);
        if (s.link)
            s.link->Lost(status == REDIS_OK ? "closed" : c->errstr);
    });
    // hiredis starts with a write wait for the connect; nothing more to do.
}

// AUTH goes out ahead of the connection's SELECT, which Redis then answers
// only if it took the credentials. Redis' refusal names no password.
void TRedisLink::Authenticate() {
    std::vector<std::string> args{"AUTH"};
    if (!address.user.empty())
        args.push_back(address.user);
    args.push_back(address.password);
    std::weak_ptr<TState> connection = state;
    auto refused = [this, connection](std::optional<TRedisReply> r) {
        if (r && r->kind == TRedisReply::Error && connection.lock() == state)
            Refused(r->text);
    };
    auto* pending = new TPendingReply{state, std::move(refused)};
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lengths.push_back(a.size());
    }
    if (redisAsyncCommandArgv(state->ac, OnReply, pending, int(args.size()), argv.data(),
                              lengths.data()) != REDIS_OK) {
        delete pending;
        return;
    }
    Sent();
}

// Redis turned the connection down (credentials, database): it goes and the
// link tries again, in case the operator mends Redis' side. Told once.
void TRedisLink::Refused(const std::string& why) {
    if (!refusalTold)
        log::Error("cluster", "Redis refused the connection",
                   {{"redis", RedisAddressName(address)}, {"link", name}, {"error", why}});
    refusalTold = true;
    Drop(why);
}

// The owner hears only the fall of a link that was up; a link that cannot
// connect keeps trying quietly.
void TRedisLink::Lost(const std::string& why) {
    if (stopping || !state || state->lostReported)
        return;
    state->lostReported = true;
    bool wasUp = up;
    up = false;
    asio::post(io, [this, why, wasUp] {
        if (stopping)
            return;
        if (wasUp && onDown)
            onDown(why);
        RetryLater();
    });
}

void TRedisLink::Sent() {
    state->unanswered.push_back(asio::steady_timer::clock_type::now());
    Watch();
}

void TRedisLink::Watch() {
    if (watching || !state || state->unanswered.empty())
        return;
    watching = true;
    watchdog.expires_at(state->unanswered.front() + replyDeadline);
    watchdog.async_wait([this](std::error_code ec) {
        if (ec)
            return; // the link is going
        watching = false;
        Overdue();
    });
}

void TRedisLink::Overdue() {
    if (stopping || !state || !state->ac || state->unanswered.empty())
        return;
    if (asio::steady_timer::clock_type::now() - state->unanswered.front() < replyDeadline) {
        Watch(); // answered meanwhile: watch the next one
        return;
    }
    Drop("no answer within " + std::to_string(replyDeadline.count()) + " ms");
}

void TRedisLink::Drop(const std::string& why) {
    if (stopping || !state || !state->ac)
        return;
    // The owner hears the reason first; then hiredis answers every pending
    // command with nothing and lets the connection go.
    Lost(why);
    redisAsyncFree(state->ac);
}

void TRedisLink::RetryLater() {
    if (stopping)
        return;
    retry.expires_after(RETRY_DELAY);
    retry.async_wait([this](std::error_code ec) {
        if (!ec)
            Connect();
    });
}

bool TRedisLink::Command(const std::vector<std::string>& args, TReplyFn done) {
    if (!up || !state || !state->ac || args.empty())
        return false;
    std::vector<const char*> argv;
    std::vector<size_t> lengths;
    for (const std::string& a : args) {
        argv.push_back(a.data());
        lengths.push_back(a.size());
    }
    if (args[0] == "PUBLISH")
        done = [done = std::move(done),
                since = std::chrono::steady_clock::now()](std::optional<TRedisReply> reply) {
            counters::Observe(
                counters::TLatency::RedisPublish,
                std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count());
            if (done)
                done(std::move(reply));
        };
    auto* pending = new TPendingReply{state, std::move(done)};
    if (redisAsyncCommandArgv(state->ac, OnReply, pending, int(args.size()), argv.data(),
                              lengths.data()) != REDIS_OK) {
        delete pending;
        return false;
    }
    Sent();
    return true;
}

bool TRedisLink::Subscribe(const std::string& channel) {
    if (!up || !state || !state->ac)
        return false;
    const char* argv[] = {"SUBSCRIBE", channel.data()};
    size_t lengths[] = {9, channel.size()};
    // hiredis keeps this callback for every message of the channel.
    auto onEvent = [](redisAsyncContext* ac, void* reply, void*) {
        if (!reply || !ac)
            return;
        auto* r = static_cast<redisReply*>(reply);
        if (r->type != REDIS_REPLY_ARRAY || r->elements != 3 ||
            r->element[0]->type != REDIS_REPLY_STRING ||
            std::string(r->element[0]->str, r->element[0]->len) != "message")
            return;
        TState& s = TState::Of(ac->data);
        std::string channelName(r->element[1]->str, r->element[1]->len);
        std::string payload(r->element[2]->str, r->element[2]->len);
        asio::post(s.descriptor.get_executor(),
                   [self = s.weak_from_this(), channelName = std::move(channelName),
                    payload = std::move(payload)] {
                       std::shared_ptr<TState> st = self.lock();
                       if (st && st->link && st->link->onMessage)
                           st->link->onMessage(channelName, payload);
                   });
    };
    return redisAsyncCommandArgv(state->ac, onEvent, nullptr, 2, argv, lengths) == REDIS_OK;
}

bool TRedisLink::Unsubscribe(const std::string& channel) {
    if (!up || !state || !state->ac)
        return false;
    const char* argv[] = {"UNSUBSCRIBE", channel.data()};
    size_t lengths[] = {11, channel.size()};
    return redisAsyncCommandArgv(state->ac, nullptr, nullptr, 2, argv, lengths) == REDIS_OK;
}

} // namespace navlet::server
