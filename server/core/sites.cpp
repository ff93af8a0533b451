// Sessions entering, moving between and leaving sites; the banner rotation
// and the sites' counts.
#include "server/core/sites.h"

#include <algorithm>

#include "protocol/ascii.h"
#include "protocol/page_address.h"

namespace navlet::server {

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

TSiteDesk::TSiteDesk(TDirectory& directory, TSiteNeighbours& neighbours, TClusterLink& link,
                     const TClock& clock, TBannerSet banners, TLimits limits)
    : directory(directory), neighbours(neighbours), link(&link), clock(clock),
      banners(std::move(banners)), limits(limits), lastRotationMs(clock.NowMs()),
      alive(std::make_shared<bool>(true)) {}

TSiteDesk::~TSiteDesk() {
    *alive = false;
}

bool TSiteDesk::PresentOn(const TAccountEntry& entry, const TSite* site, const TClient* except) {
    return std::any_of(entry.sessions.begin(), entry.sessions.end(),
                       [&](const TClient* s) { return s != except && s->site == site; });
}

void TSiteDesk::EnterSiteWhenKnown(TClient& client, std::string_view reported,
                                   const std::vector<TAccount>* friends) {
    // What an older bar still sends of a page (a query's token, a password)
    // is never stored, relayed nor logged.
    const std::string url = CutPageAddress(reported);
    uint64_t ticket = ++client.siteTicket;
    // A move that overtakes the sign-in's entry while its site is read takes
    // over the sign-in's friends and kept calls.
    std::shared_ptr<std::vector<TAccount>> kept;
    if (auto overtaken = signInsWaiting.extract(client.serial))
        kept = std::move(overtaken.mapped());
    if (friends)
        kept = std::make_shared<std::vector<TAccount>>(*friends);
    std::string host = SiteHostOf(url.substr(0, SITE_FIELD - 1));
    if (host.empty() || sites.count(host)) {
        EnterSite(client, url, kept.get());
        if (kept)
            neighbours.DeliverKeptCalls(client);
        return;
    }
    if (kept)
        signInsWaiting[client.serial] = kept;
    std::weak_ptr<bool> desk = alive;
    link->SiteSnapshot(host, [this, desk, serial = client.serial, ticket, url = std::string(url),
                              kept, host](TSiteSnapshot snapshot) {
        if (desk.expired())
            return;
        TClient* arriving = directory.LiveClient(serial);
        if (!arriving) {
            signInsWaiting.erase(serial);
            return;
        }
        if (arriving->siteTicket != ticket)
            return; // on its way to another site
        signInsWaiting.erase(serial);
        TSite& site = SiteOf(host);
        for (const TRemoteUser& user : snapshot.users)
            RemoteEntered(host, user.node, user.account, user.privacy);
        if (site.recent.empty()) {
            size_t skip = snapshot.lines.size() > limits.recentLines
                              ? snapshot.lines.size() - limits.recentLines
                              : 0;
            for (size_t i = skip; i < snapshot.lines.size(); ++i)
                site.recent.Keep(limits.recentLines, std::move(snapshot.lines[i]));
        }
        EnterSite(*arriving, url, kept.get());
        if (kept)
            neighbours.DeliverKeptCalls(*arriving);
    });
}

TSite& TSiteDesk::SiteOf(const std::string& host) {
    auto& slot = sites[host];
    if (!slot) {
        slot = std::make_unique<TSite>();
        slot->host = host;
        slot->bannerIndex = sitesMade++; // spreads the banners over new sites
    }
    return *slot;
}

void TSiteDesk::EnterSite(TClient& client, std::string_view url,
                          const std::vector<TAccount>* friends) {
    client.siteUrl = std::string(url.substr(0, SITE_FIELD - 1));
    std::string host = SiteHostOf(client.siteUrl);
    if (!host.empty())
        client.site = &SiteOf(host);
    link->SessionSite(client.serial, &client.account->account, host);
    StartWelcome(client, friends);
    if (client.site)
        Arrive(client, *client.site);
    ContinueWelcome(client);
}

void TSiteDesk::Arrive(TClient& client, TSite& site) {
    // Another window of the same account already made the user present here.
    bool arrives = !PresentOn(*client.account, &site, &client);
    site.users.push_back(&client);
    neighbours.FriendsMeet(client, arrives && !client.account->Invisible());
    if (!arrives || client.account->Invisible())
        return; // it sees the site, the site does not see it
    site.people.push_back(TPerson{client.account, site.arrivals++});
    link->Entered(site.host, client.account->account, client.account->privacy);
    if (RemotelyOn(site, client.Id()))
        return; // the site's users already see the account through another node
    DeliverPresenceToSite(site, PresenceWire(client.account->account, 0, 0), client.Id(), &client);
}

void TSiteDesk::LeaveSite(TClient& client, TChats chats) {
    TSite* site = client.site;
    bool accountLeaves = site && !PresentOn(*client.account, site, &client);
    if (chats == TChats::Leave)
        neighbours.LeaveChats(client, site, accountLeaves);
    client.site = nullptr;
    if (!site)
        return;
    std::erase(site->users, &client);
    if (!accountLeaves)
        return; // another window keeps the user on the site
    auto person = std::find_if(site->people.begin(), site->people.end(),
                               [&](const TPerson& p) { return p.entry == client.account; });
    if (person == site->people.end()) {
        // Invisible: nobody was told it came.
        if (site->users.empty())
            sites.erase(site->host);
        return;
    }
    uint64_t arrival = person->arrival;
    site->people.erase(person);
    link->Left(site->host, client.Id());
    if (site->users.empty()) {
        sites.erase(site->host);
        return;
    }
    TellLeft(*site, client.account->account, arrival,
             /*accountStays=*/RemotelyOn(*site, client.Id()));
}

void TSiteDesk::SetListed(TClient& client, bool listed) {
    TSite* site = client.site;
    if (!site)
        return;
    auto person = std::find_if(site->people.begin(), site->people.end(),
                               [&](const TPerson& p) { return p.entry == client.account; });
    const bool isListed = person != site->people.end();
    if (listed && isListed) {
        link->Entered(site->host, client.account->account, client.account->privacy);
        return;
    }
    if (listed == isListed)
        return; // another window of the account did it
    if (listed) {
        site->people.push_back(TPerson{client.account, site->arrivals++});
        link->Entered(site->host, client.account->account, client.account->privacy);
        neighbours.FriendsMeet(client, /*accountArrives=*/true);
        if (!RemotelyOn(*site, client.Id()))
            DeliverPresenceToSite(*site, PresenceWire(client.account->account, 0, 0), client.Id(),
                                  &client);
        return;
    }
    const uint64_t arrival = person->arrival;
    site->people.erase(person);
    link->Left(site->host, client.Id());
    TellLeft(*site, client.account->account, arrival,
             /*accountStays=*/RemotelyOn(*site, client.Id()));
}

void TSiteDesk::SiteReport(TClient& client, std::string_view reported) {
    const std::string url = CutPageAddress(reported);
    std::string host = SiteHostOf(url);
    std::string current = client.site ? client.site->host : std::string();
    if (host == current) {
        client.siteUrl = url.substr(0, SITE_FIELD - 1);
        return; // another page of the same host: the bar keeps its lists
    }
    // A pause leaves the site's list only; coming back to the paused site
    // keeps the chats, going anywhere else is a move that leaves them.
    const bool pausing = host.empty();
    const bool resuming = !client.site && !host.empty() && host == client.PausedHost();
    if (pausing && client.site)
        client.Aside().pausedHost = current;
    else if (!pausing && client.aside)
        client.aside->pausedHost.clear();
    LeaveSite(client, pausing || resuming ? TChats::Keep : TChats::Leave);
    EnterSiteWhenKnown(client, url, /*friends=*/nullptr);
}

void TSiteDesk::Tick(int64_t now) {
    if (banners.Ids().size() < 2 || now - lastRotationMs < limits.bannerIntervalMs)
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

std::vector<TSiteCount> TSiteDesk::BusiestSites(size_t limit) const {
    if (std::optional<std::vector<TSiteCount>> cluster = link->BusiestSites(limit))
        return *cluster;
    std::vector<TSiteCount> out; // this node's own
    for (const auto& [host, site] : sites)
        out.push_back(TSiteCount{host, site->people.size()});
    std::sort(out.begin(), out.end(), [](const TSiteCount& a, const TSiteCount& b) {
        return a.users != b.users ? a.users > b.users : a.host < b.host;
    });
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

std::vector<TClient*> TSiteDesk::SessionsOn(std::string_view host) const {
    auto it = sites.find(FoldCase(host));
    return it == sites.end() ? std::vector<TClient*>() : it->second->users;
}

} // namespace navlet::server
