#include "server/core/service.h"

#include <algorithm>

#include <sodium.h>

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

std::string SiteHostOf(std::string_view url) {
    std::string host = FoldCase(url.substr(0, url.find('/')));
    // A host name, an IPv4 address or a bracketed IPv6 one, with a port:
    // anything else (blanks, line breaks, markup) names no site.
    bool hostText = std::all_of(host.begin(), host.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
               c == '_' || c == ':' || c == '[' || c == ']';
    });
    return hostText ? host : std::string();
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

} // namespace

TService::TService(TStore& store, const TClock& clock, TPasswordVerifier& verifier,
                   TBannerSet banners, TUpdateSet updates, TServiceConfig config)
    : store(store), clock(clock), banners(std::move(banners)), updates(std::move(updates)),
      config(config), accountDesk(store, clock),
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
      friendDesk(accountDesk, store, inlineRunner, localLink), alive(std::make_shared<bool>(true)) {
    if (sodium_init() < 0) {
        // randombytes falls back to its own source; the rest of the set-up
        // does not depend on it.
    }
    lastRotationMs = clock.NowMs();
    lastPruneMs = lastRotationMs;
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
}

void TService::RemoteEvent(const std::string& from, const cluster::TNodeMessage& message) {
    if (auto* trim = std::get_if<cluster::TTrim>(&message)) {
        windows.RemoteTrim(*trim);
        return;
    }
    chats.RemoteEvent(from, message);
}

void TService::Send(TClient& client, TPacket& packet, int length, uint8_t type) {
    client.sink.Deliver(EncodeWire(packet, length, type));
}

bool TService::PresentOn(const TAccountEntry& entry, const TSite* site, const TClient* except) {
    return std::any_of(entry.sessions.begin(), entry.sessions.end(),
                       [&](const TClient* s) { return s != except && s->site == site; });
}

void TService::EndSession(TClient& client, std::string_view reason) {
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
    EnterSiteWhenKnown(client, request.site, &friends);
}

void TService::EnterSiteWhenKnown(TClient& client, std::string_view url,
                                  const std::vector<TAccount>* friends) {
    uint64_t ticket = ++client.siteTicket;
    std::string host = SiteHostOf(url.substr(0, SITE_FIELD - 1));
    if (host.empty() || sites.count(host) || !nodeLink->Status().redisUp) {
        EnterSite(client, url, friends);
        if (friends)
            calls.DeliverKeptCalls(client);
        return;
    }
    auto kept = friends ? std::make_shared<std::vector<TAccount>>(*friends) : nullptr;
    std::weak_ptr<bool> service = alive;
    nodeLink->SiteSnapshot(host, [this, service, serial = client.serial, ticket,
                                  url = std::string(url), kept, host](TSiteSnapshot snapshot) {
        if (service.expired())
            return;
        TClient* arriving = LiveClient(serial);
        if (!arriving || arriving->siteTicket != ticket)
            return; // gone, or on its way to another site
        TSite& site = SiteOf(host);
        for (const TRemoteUser& user : snapshot.users)
            RemoteEntered(host, user.node, user.account);
        if (site.recent.empty()) {
            size_t skip = snapshot.lines.size() > config.recentLines
                              ? snapshot.lines.size() - config.recentLines
                              : 0;
            site.recent.assign(snapshot.lines.begin() + std::ptrdiff_t(skip), snapshot.lines.end());
        }
        EnterSite(*arriving, url, kept.get());
        if (kept)
            calls.DeliverKeptCalls(*arriving);
    });
}

TSite& TService::SiteOf(const std::string& host) {
    auto& slot = sites[host];
    if (!slot) {
        slot = std::make_unique<TSite>();
        slot->host = host;
        slot->bannerIndex = sitesMade++; // spreads the banners over new sites
    }
    return *slot;
}

void TService::Disconnect(TClient& client) {
    signInDesk.Abandon(client);
    if (!client.SignedIn())
        return;
    LeaveSite(client);
    accountDesk.Leave(client);
    // This node's entry for the account goes before the friends ask where
    // else it is: when its last sessions on two nodes end at once, the node
    // that asks last finds neither and tells the friends it went.
    windows.SessionGone(*client.account);
    friendDesk.SessionGone(client);
    nodeLink->SessionSite(client.serial, nullptr, {});
    client.account = nullptr;
}

void TService::EnterSite(TClient& client, std::string_view url,
                         const std::vector<TAccount>* friends) {
    client.siteUrl = std::string(url.substr(0, SITE_FIELD - 1));
    std::string host = SiteHostOf(client.siteUrl);
    if (!host.empty())
        client.site = &SiteOf(host);
    nodeLink->SessionSite(client.serial, &client.account->account, host);
    StartWelcome(client, friends);
    if (client.site)
        Arrive(client, *client.site);
    ContinueWelcome(client);
}

void TService::Arrive(TClient& client, TSite& site) {
    // Another window of the same account already made the user present here.
    bool arrives = !PresentOn(*client.account, &site, &client);
    site.users.push_back(&client);
    if (!arrives)
        return;
    site.people.push_back(TPerson{client.account, site.arrivals++});
    nodeLink->Entered(site.host, client.account->account);
    if (RemotelyOn(site, client.Id()))
        return; // the site's users already see the account through another node
    DeliverPresenceToSite(site, PresenceWire(client.account->account, 0, 0), &client);
}

void TService::LeaveSite(TClient& client) {
    TSite* site = client.site;
    bool accountLeaves = site && !PresentOn(*client.account, site, &client);
    chats.LeaveAllChats(client, site, accountLeaves);
    client.site = nullptr;
    if (!site)
        return;
    std::erase(site->users, &client);
    if (!accountLeaves)
        return; // another window keeps the user on the site
    auto person = std::find_if(site->people.begin(), site->people.end(),
                               [&](const TPerson& p) { return p.entry == client.account; });
    uint64_t arrival = person != site->people.end() ? person->arrival : 0;
    if (person != site->people.end())
        site->people.erase(person);
    nodeLink->Left(site->host, client.Id());
    if (site->users.empty()) {
        sites.erase(site->host);
        return;
    }
    TellLeft(*site, client.account->account, arrival,
             /*accountStays=*/RemotelyOn(*site, client.Id()));
}

void TService::SiteReport(TClient& client, std::string_view url) {
    std::string host = SiteHostOf(url);
    std::string current = client.site ? client.site->host : std::string();
    if (host == current) {
        client.siteUrl = std::string(url.substr(0, SITE_FIELD - 1));
        return; // another page of the same host: the bar keeps its lists
    }
    LeaveSite(client);
    EnterSiteWhenKnown(client, url, /*friends=*/nullptr);
}

void TService::Tick() {
    int64_t now = clock.NowMs();
    constexpr int64_t PRUNE_EVERY_MS = 60000;
    if (now - lastPruneMs >= PRUNE_EVERY_MS) {
        lastPruneMs = now;
        signInDesk.Prune(now);
        accountDesk.ForgetIdleAccounts(now);
    }
    if (banners.Ids().size() < 2 || now - lastRotationMs < config.bannerIntervalMs)
        return;
    lastRotationMs = now;
    TPacket p;
    for (auto& [host, site] : sites) {
        ++site->bannerIndex;
        ClearPacket(p);
        int length = WriteBanner(p, TBannerMsg{banners.At(site->bannerIndex)});
        TWireRef wire = EncodeWire(p, length, MSG_BANNER);
        for (TClient* user : site->users)
            user->sink.Deliver(wire);
    }
}

std::vector<TSiteCount> TService::BusiestSites(size_t limit) const {
    if (nodeLink->Status().redisUp)
        return nodeLink->BusiestSites(limit); // else this node's own, below
    std::vector<TSiteCount> out;
    for (const auto& [host, site] : sites)
        out.push_back(TSiteCount{host, site->people.size()});
    std::sort(out.begin(), out.end(), [](const TSiteCount& a, const TSiteCount& b) {
        return a.users != b.users ? a.users > b.users : a.host < b.host;
    });
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

std::vector<const TClient*> TService::OnlineUsers(std::string_view host) const {
    std::vector<const TClient*> out;
    if (!host.empty()) {
        auto it = sites.find(FoldCase(host));
        if (it != sites.end())
            out.assign(it->second->users.begin(), it->second->users.end());
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
