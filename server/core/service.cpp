#include "server/core/service.h"

#include "server/core/wire.h"
#include "server/log/refusals.h"

namespace navlet::server {

namespace {

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
                       {"transport", client.Transport()}});
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
                {"transport", client.Transport()}});
}

} // namespace

TService::TService(TStore& store, const TClock& clock, TPasswordVerifier& verifier,
                   TBannerSet banners, TUpdateSet updates, TServiceConfig config)
    : store(store), clock(clock), updates(std::move(updates)), accountDesk(store, clock),
      signInDesk(accountDesk, clock, verifier,
                 [this](TClient& c, TAccountEntry& entry, const TLoginRequest& request,
                        const TSignInLists& lists) { Accept(c, entry, request, lists); }),
      operators(
          localLink, [this](const TTarget& t, bool& unknown) { return Resolve(t, unknown); },
          [this](TClient& c) { EndSession(c, REASON_KICKED); }),
      calls(accountDesk, store, inlineRunner, localLink, clock,
            TCallDesk::TLimits{config.chatPerSecond, config.chatBurst}),
      windows(accountDesk, localLink, clock, config.maxSessionsPerAccount,
              [this](TClient& c) { EndSession(c, REASON_TOO_MANY_WINDOWS); }),
      chats(accountDesk, *this, localLink, clock,
            TChatDesk::TLimits{config.chatPerSecond, config.chatBurst, config.invitesPerSecond,
                               config.inviteBurst}),
      friendDesk(accountDesk, store, inlineRunner, localLink),
      siteDesk(accountDesk, *this, localLink, clock, std::move(banners),
               TSiteDesk::TLimits{config.bannerIntervalMs, config.recentLines}),
      shields(accountDesk, store, inlineRunner, localLink, *this),
      restrictions(store, clock, localLink,
                   TRestrictionDesk::TNeighbours{
                       [this] { return accountDesk.Sessions(); },
                       [this](TClient& c, std::string_view reason) { EndSession(c, reason); },
                       [this](const std::string& host, const std::string& text,
                              std::function<void(int)> total) {
                           operators.Notice(TTarget{TTarget::Site, host}, TNoticeKind::Ticker, 0,
                                            text, std::move(total));
                       },
                       [this](uint64_t id) { signInDesk.PasswordChanged(id); },
                       [this](uint64_t id) { accountDesk.ForgetNick(id); }}),
      reports(accountDesk, store, inlineRunner, clock, *this), alive(std::make_shared<bool>(true)) {
    lastPruneMs = clock.NowMs();
    signInDesk.SetBarred([this](uint64_t id) { return restrictions.Barred(id); });
    restrictions.LoadNow();
}

namespace {
constexpr ChatId TICKER_CHAT = 0x200; // where an operator's ticker notices go
} // namespace

void TService::PublicLine(TClient& client, const std::string& text) {
    if (client.site) {
        std::string notice = restrictions.MutedAt(client.site->host);
        if (!notice.empty()) {
            client.sink.Deliver(ChatLineWire(MakeChatAddress(0, TICKER_CHAT), notice, CHAT_PLAIN));
            return;
        }
    }
    siteDesk.PublicLine(client, text);
}

TService::~TService() {
    *alive = false;
}

void TService::SetClusterLink(TClusterLink& link) {
    cluster = nodeLink = &link;
    operators.SetLink(link);
    restrictions.SetLink(link);
    calls.SetLink(link);
    windows.SetLink(link);
    chats.SetLink(link);
    friendDesk.SetLink(link);
    siteDesk.SetLink(link);
    shields.SetLink(link);
}

void TService::RemoteEvent(const std::string& from, const cluster::TNodeMessage& message) {
    using namespace cluster;
    std::visit(TOverloaded{[&](const TInvite& m) { chats.RemoteInvite(from, m); },
                           [&](const TInviteFailed& m) { chats.RemoteInviteFailed(m); },
                           [&](const TChatJoined& m) { chats.RemoteJoined(from, m); },
                           [&](const TChatLine& m) { chats.RemoteChatLine(from, m); },
                           [&](const TChatLeft& m) { chats.RemoteChatLeft(from, m); },
                           [&](const TTrim& m) { windows.RemoteTrim(m); },
                           [&](const TCall& m) { calls.RemoteCall(m); },
                           // Other channels' kinds: the site's and the operator's
                           // go to the node, and a count answers its own command.
                           TIgnoreKinds<TSiteEntered, TSiteLeft, TSiteLine, TOperatorCount,
                                        TOperatorLine, TOperatorKick, TFriendState, TMarkChange,
                                        TRestrictionsChanged, TPrivacyChange>{},
                           TIgnoreRecords{}},
               message);
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
                      const TSignInLists& lists) {
    const std::vector<TAccount>& friends = lists.friends;
    windows.MakeRoom(entry);
    const bool cameOnline = entry.sessions.empty();
    if (cameOnline)
        entry.privacy = lists.privacy; // before the other nodes, friends and site hear of it
    accountDesk.Join(client, entry);
    windows.SignedIn(client);
    chats.SignedIn(client);
    client.languageMask = request.languageMask;
    client.textCode = request.code;
    // The shield first: the welcome and the friends' news go through it.
    shields.SignedIn(client, lists.shield, cameOnline);
    friendDesk.SignedIn(client, friends, cameOnline);
    siteDesk.EnterSiteWhenKnown(client, request.site, &friends);
}

void TService::SetPrivacy(TClient& client, uint8_t flags) {
    flags &= PRIVACY_INVISIBLE | PRIVACY_VISIBLE_TO_FRIENDS | PRIVACY_TELL_FRIENDS;
    TAccountEntry& entry = *client.account;
    if (flags == entry.privacy)
        return;
    TStore& db = store;
    const uint64_t id = entry.account.id;
    storeRunner->RunOrdered([&db, id, flags] { db.SetPrivacy(id, flags); }, nullptr);
    const bool shownChanged = ApplyPrivacy(entry, flags);
    nodeLink->PrivacyChanged(entry.account, flags);
    if (shownChanged)
        friendDesk.ShownChanged(entry);
}

bool TService::ApplyPrivacy(TAccountEntry& entry, uint8_t flags) {
    const bool wasShown = entry.ShownToFriends();
    entry.privacy = flags;
    for (TClient* session : std::vector<TClient*>(entry.sessions))
        siteDesk.SetListed(*session, /*listed=*/!entry.Invisible());
    if (entry.Online())
        windows.PrivacyChanged(entry);
    return wasShown != entry.ShownToFriends();
}

void TService::RemotePrivacyChange(uint64_t accountId, uint8_t privacy) {
    TAccountEntry* entry = accountDesk.CachedById(accountId);
    if (!entry || entry->privacy == privacy)
        return;
    if (!entry->Online()) {
        entry->privacy = privacy; // read again at its next sign-in here
        return;
    }
    ApplyPrivacy(*entry, privacy);
}

void TService::HidePerson(const TAccountEntry& viewer, uint64_t other, bool leaveChats) {
    if (leaveChats)
        for (TClient* session : std::vector<TClient*>(viewer.sessions))
            chats.LeaveChatsWith(*session, other);
    siteDesk.ShowPerson(viewer, other, /*visible=*/false);
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
    restrictions.Tick(now);
    constexpr int64_t PROBE_EVERY_MS = 1000;
    if (!probing && now - lastProbeMs >= PROBE_EVERY_MS) {
        lastProbeMs = now;
        probing = true;
        std::weak_ptr<bool> weak = alive;
        storeRunner->Run([this] { store.Ping(); },
                         [this, weak] {
                             if (!weak.expired())
                                 probing = false;
                         });
    }
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
