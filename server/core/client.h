// One connection as the service sees it: where its messages go, and the state
// of the signed-in user behind it. The connection owns its TClient and tells
// the service when it goes (TService::Disconnect).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/chat_address.h"
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

  protected:
    ~TSessionSink() = default;
};

// A token bucket: `burst` actions at once, refilled at `perSecond`.
struct TRateBudget {
    double tokens = -1; // -1: not started, full on first use
    int64_t lastMs = 0;
    bool Take(int64_t nowMs, double perSecond, double burst);
};

struct TClient {
    explicit TClient(TSessionSink& sink) : sink(sink) {}

    TSessionSink& sink;
    std::string address;              // the peer's address, for per-address bounds
    uint64_t serial = 0;              // the service's handle while signing in
    TAccountEntry* account = nullptr; // set once signed in
    uint64_t chatKey = 0;             // 56 bits, fresh for each session
    std::string siteUrl;              // the page last reported, without scheme
    TSite* site = nullptr;            // the site of siteUrl's host, if any
    uint32_t languageMask = 0;        // which senders' languages this user reads
    std::vector<ChatId> chats;        // private chats joined
    TRateBudget chatBudget;
    TRateBudget inviteBudget;
    uint64_t lastActive = 0; // the service's activity count at this session's last request
    int64_t signedInUs =
        0; // wall-clock microseconds, kept on a cluster node only: nodes compare them
    int64_t activeUs = 0;       // wall clock of the last request, likewise
    int32_t offeredUpdate = -1; // the version offered in this session
    std::string versionText;    // the bar's module version at login
    uint64_t arrivals = 0;      // site arrivals begun: a later one supersedes a pending one

    bool SignedIn() const { return account != nullptr; }
    UserId Id() const;
};

} // namespace navlet::server
