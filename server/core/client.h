// One connection as the service sees it: where its messages go, and the state
// of the signed-in user behind it. The connection owns its TClient and tells
// the service when it goes (TService::Disconnect).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "protocol/chat_address.h"
#include "protocol/code_page.h"
#include "server/core/wire.h"

namespace navlet::server {

struct TAccountEntry;
struct TSite;

// What the service needs of a connection. Calls come from the service's
// thread; neither may destroy the connection on the spot (closing happens
// after the current handler has returned).
class TSessionSink {
  public:
    virtual void Deliver(const TWireRef& wire) = 0;
    // Sends the end-of-session message, then closes once it has gone out.
    // A non-empty `reason` goes first as a ticker notice, and the end follows
    // once the bar has had time to show it.
    virtual void EndSession(std::string_view reason) = 0;
    // Another user's arrival or departure. It may wait a few milliseconds for
    // company, so that a storm of arrivals costs a session one write per
    // batch rather than one per arrival; whatever is delivered after it
    // still goes out after it.
    virtual void DeliverPresence(const TWireRef& wire) { Deliver(wire); }
    // Bytes that may be queued now without crowding the connection. Long
    // listings (a crowded site's welcome) are paced by it, and the
    // connection calls TService::Drained when it has room again. A sink
    // that never fills says so with SIZE_MAX.
    virtual size_t Room() const { return SIZE_MAX; }

  protected:
    ~TSessionSink() = default;
};

// A token bucket: `burst` actions at once, refilled at `perSecond`.
struct TRateBudget {
    double tokens = -1; // -1: not started, full on first use
    int64_t lastMs = 0;
    bool Take(int64_t nowMs, double perSecond, double burst);
};

// A welcome that is still being sent: the site's users are listed as the
// connection drains, in order of arrival on the site. Those who arrive after
// the welcome began are told live, as to everybody else.
struct TWelcome {
    bool active = false;
    uint64_t nextArrival = 0; // people from here on (here or on other nodes) are still to list
    uint64_t endArrival = 0;  // people arriving from here on were told live
    // Accounts listed so far, kept only while other nodes share the site (an
    // account there and here too is listed once).
    bool trackListed = false;
    std::unordered_set<uint64_t> listed;
    std::vector<TWireRef> friends;   // then these, in this order
    std::vector<TWireRef> lines;     // the site's recent lines as they were
    std::vector<TWireRef> keptCalls; // after the banner

    // Whether the record of the person who arrived at `arrival` is still to
    // come (so its "left" must not come first).
    bool StillToList(uint64_t arrival) const {
        return active && arrival >= nextArrival && arrival < endArrival;
    }
};

// What few sessions ever need: a paused site, an update download, private
// chats. Made on first use, so that an idle session keeps none.
struct TClientAside {
    // The host a bar paused on (it reported no site): coming back to it
    // keeps the private chats that the pause kept.
    std::string pausedHost;
    int32_t offeredUpdate = -1; // the version offered in this session
    // Its bytes, kept while the session lasts: a file replaced meanwhile
    // never mixes into the download.
    std::shared_ptr<const std::vector<uint8_t>> offeredImage;
    std::vector<ChatId> chats; // private chats joined
    TRateBudget inviteBudget;
};

struct TClient {
    explicit TClient(TSessionSink& sink) : sink(sink) {}

    TSessionSink& sink;
    std::string address;                    // the peer's address, for per-address bounds
    uint64_t serial = 0;                    // the service's handle while signing in
    TAccountEntry* account = nullptr;       // set once signed in
    uint64_t chatKey = 0;                   // 56 bits, fresh for each session
    std::string siteUrl;                    // the page last reported, without scheme
    TSite* site = nullptr;                  // the site of siteUrl's host, if any
    uint32_t languageMask = 0;              // which senders' languages this user reads
    TTextCode textCode = TTextCode::Cp1252; // how its texts travel, both ways
    bool overWebSocket = false;             // else plain TCP
    uint64_t lastActive = 0; // the service's activity count at this session's last request
    // Wall-clock microseconds of the sign-in and of the last request, kept
    // on a cluster node only: nodes compare them.
    int64_t signedInUs = 0;
    int64_t activeUs = 0;
    uint64_t siteTicket = 0; // site entries begun: a later one supersedes a pending one
    // The first of its site's said lines that this session was shown (the
    // welcome replays a few said before it came).
    uint64_t siteLinesFrom = 0;
    // Only while a welcome is being sent: an idle session keeps none.
    std::unique_ptr<TWelcome> welcome;
    std::unique_ptr<TClientAside> aside; // see Aside()

    bool SignedIn() const { return account != nullptr; }
    bool Welcoming() const { return welcome && welcome->active; }
    UserId Id() const;
    // "tcp" or "ws", as the log names it.
    std::string_view Transport() const { return overWebSocket ? "ws" : "tcp"; }
    // The rarely needed part, made now if it was not.
    TClientAside& Aside() {
        if (!aside)
            aside = std::make_unique<TClientAside>();
        return *aside;
    }
    // The private chats joined (none without the aside).
    const std::vector<ChatId>& Chats() const;
    const std::string& PausedHost() const;
};

} // namespace navlet::server
