#include "server/core/service.h"

#include <algorithm>

#include <sodium.h>

#include "server/log/refusals.h"

namespace navlet::server {

bool TRateBudget::Take(int64_t nowMs, double perSecond, double burst) {
    if (tokens < 0) {
        tokens = burst;
        lastMs = nowMs;
    }
    tokens = std::min(burst, tokens + double(nowMs - lastMs) * perSecond / 1000.0);
    lastMs = nowMs;
    if (tokens < 1.0)
        return false;
    tokens -= 1.0;
    return true;
}

UserId TClient::Id() const {
    return account ? account->account.id : 0;
}

TClient* TAccountEntry::MostRecent() const {
    TClient* latest = nullptr;
    for (TClient* session : sessions)
        if (!latest || session->lastActive > latest->lastActive)
            latest = session;
    return latest;
}

namespace {

uint64_t FreshChatKey() {
    uint64_t key = 0;
    while (key == 0) { // 0 would mark the record as somebody else's
        randombytes_buf(&key, sizeof key);
        key &= (uint64_t(1) << 56) - 1;
    }
    return key;
}

// An end of session that the server decided. A kick of "all" would write a
// line per session, so kicks are counted in the operator's one line and
// shown here only at debug; a flood is a peer's doing and is summarised.
void LogSessionEnd(const TClient& client, std::string_view reason) {
    const std::string_view nick =
        client.account ? std::string_view(client.account->account.nick) : std::string_view();
    if (reason == REASON_FLOOD) {
        if (log::NoteRefusal(log::TLevel::Warn, "session", "sessions ended for a request flood",
                             client.address))
            log::Warn("session", "session ended",
                      {{"nick", nick},
                       {"reason", "request-flood"},
                       {"address", client.address},
                       {"transport", client.transport}});
        return;
    }
    const bool kicked = reason == REASON_KICKED;
    const log::TLevel level = kicked ? log::TLevel::Debug : log::TLevel::Info;
    if (!log::Enabled(level))
        return;
    std::string_view code = kicked                              ? "kicked"
                            : reason == REASON_TOO_MANY_WINDOWS ? "too-many-windows"
                                                                : "other";
    log::Write(level, "session", "session ended",
               {{"nick", nick},
                {"reason", code},
                {"address", client.address},
                {"transport", client.transport}});
}

} // namespace

TService::TService(TStore& store, const TClock& clock, TPasswordVerifier& verifier,
                   TBannerSet banners, TUpdateSet updates, TServiceConfig config)
    : store(store), clock(clock), updates(std::move(updates)), config(config),
      accountDesk(store, clock),
      signInDesk(
          accountDesk, store, inlineRunner, clock, verifier,
          [this](TClient& c, TAccountEntry& entry, const TLoginRequest& request,
                 const std::vector<TAccount>& friends) { Accept(c, entry, request, friends); }),
      operators(
          localLink, [this](const TTarget& t, bool& unknown) { return Resolve(t, unknown); },
          [this](TClient& c) { EndSession(c, REASON_KICKED); }),
      calls(accountDesk, store, inlineRunner, localLink, clock,
            TCallDesk::TLimits{config.chatPerSecond, config.chatBurst}),
      windows(accountDesk, localLink, clock, config.maxSessionsPerAccount,
              [this](TClient& c) { EndSession(c, REASON_TOO_MANY_WINDOWS); }),
      chats(accountDesk, *this, localLink, clock,
            TChatDesk::TLimits{config.invitesPerSecond, config.inviteBurst}),
      friendDesk(accountDesk, store, inlineRunner, localLink),
      siteDesk(accountDesk, *this, localLink, clock, std::move(banners),
               TSiteDesk::TLimits{config.bannerIntervalMs, config.recentLines}),
      alive(std::make_shared<bool>(true)) {
    if (sodium_init() < 0) {
        // randombytes falls back to its own source; the rest of the set-up
        // does not depend on it.
    }
    lastPruneMs = clock.NowMs();
}

TService::~TService() {
    *alive = false;
}

void TService::SetClusterLink(TClusterLink& link) {
    cluster = nodeLink = &link;
    operators.SetLink(link);
    calls.SetLink(link);
    windows.SetLink(link);
    chats.SetLink(link);
    friendDesk.SetLink(link);
    siteDesk.SetLink(link);
}

void TService::RemoteEvent(const std::string& from, const cluster::TNodeMessage& message) {
    if (auto* trim = std::get_if<cluster::TTrim>(&message)) {
        windows.RemoteTrim(*trim);
        return;
    }
    chats.RemoteEvent(from, message);
}

void TService::EndSession(TClient& client, std::string_view reason) {
    LogSessionEnd(client, reason);
    client.sink.EndSession(reason);
    Disconnect(client);
}

void TService::Login(TClient& client, const TLoginRequest& request) {
    signInDesk.Login(client, request);
}

void TService::Accept(TClient& client, TAccountEntry& entry, const TLoginRequest& request,
                      const std::vector<TAccount>& friends) {
    // One session per browser window, within a bound: past it the oldest
    // window gives way and hears why.
    while (!entry.sessions.empty() && entry.sessions.size() >= config.maxSessionsPerAccount)
        EndSession(*entry.sessions.front(), REASON_TOO_MANY_WINDOWS);
    const bool cameOnline = entry.sessions.empty();
    accountDesk.Join(client, entry);
    client.lastActive = ++activity;
    windows.SignedIn(client);
    client.chatKey = FreshChatKey();
    client.languageMask = request.languageMask;
    client.versionText = request.version;
    friendDesk.SignedIn(client, friends, cameOnline);
    siteDesk.EnterSiteWhenKnown(client, request.site, &friends);
}

void TService::Disconnect(TClient& client) {
    signInDesk.Abandon(client);
    if (!client.SignedIn())
        return;
    siteDesk.LeaveSite(client);
    accountDesk.Leave(client);
    // This node's entry for the account goes before the friends ask where
    // else it is: when its last sessions on two nodes end at once, the node
    // that asks last finds neither and tells the friends it went.
    windows.SessionGone(*client.account);
    friendDesk.SessionGone(client);
    nodeLink->SessionSite(client.serial, nullptr, {});
    client.account = nullptr;
}

void TService::Tick() {
    int64_t now = clock.NowMs();
    constexpr int64_t PRUNE_EVERY_MS = 60000;
    if (now - lastPruneMs >= PRUNE_EVERY_MS) {
        lastPruneMs = now;
        signInDesk.Prune(now);
        accountDesk.ForgetIdleAccounts(now);
    }
    siteDesk.Tick(now);
}

std::vector<const TClient*> TService::OnlineUsers(std::string_view host) const {
    std::vector<const TClient*> out;
    if (!host.empty()) {
        std::vector<TClient*> on = siteDesk.SessionsOn(host);
        out.assign(on.begin(), on.end());
        return out;
    }
    std::vector<TClient*> sessions = accountDesk.Sessions();
    out.assign(sessions.begin(), sessions.end());
    return out;
}

bool TService::UpdateProfileHashed(uint64_t id, char gender, int language,
                                   const std::string& newHash) {
    if (!accountDesk.UpdateProfileHashed(id, gender, language, newHash))
        return false;
    if (!newHash.empty())
        signInDesk.PasswordChanged(id); // the old password signs in no more
    return true;
}

} // namespace navlet::server
