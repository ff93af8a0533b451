// A site's public lines, and the users and lines of its other nodes as the
// cluster reports them: this node's users of a site see them as they see
// the site's own.
#include "server/core/sites.h"

#include <algorithm>
#include <cstdint>
#include <set>

#include "server/log/counters.h"

namespace navlet::server {

namespace {

// A crowded site's users, their accounts and their sessions lie megabytes
// apart. Asking for the memory of those a few places ahead while one is
// served hides the wait that would otherwise stall every delivery.
template <typename TServe> void ForEachUser(const std::vector<TClient*>& users, TServe&& serve) {
    constexpr size_t AHEAD = 8;
    const size_t count = users.size();
    for (size_t i = 0; i < count; ++i) {
        if (i + 2 * AHEAD < count)
            __builtin_prefetch(users[i + 2 * AHEAD]);
        if (i + AHEAD < count) {
            const TClient* next = users[i + AHEAD];
            __builtin_prefetch(&next->sink);
            __builtin_prefetch(&next->account->shield);
        }
        serve(users[i]);
    }
}

} // namespace

void TSiteDesk::DeliverPresenceToSite(TSite& site, const TWireRef& wire, uint64_t subject,
                                      const TClient* except) {
    ForEachUser(site.users, [&](TClient* user) {
        if (user != except && user->account->Sees(subject))
            user->sink.DeliverPresence(wire);
    });
}

bool TSiteDesk::RemotelyOn(const TSite& site, uint64_t accountId) {
    return std::any_of(site.remote.begin(), site.remote.end(),
                       [&](const TRemoteUser& r) { return r.account.id == accountId; });
}

namespace {

bool LocallyOn(const TSite& site, uint64_t accountId) {
    return std::any_of(site.people.begin(), site.people.end(),
                       [&](const TPerson& p) { return p.entry->account.id == accountId; });
}

} // namespace

std::set<std::string> TSiteDesk::NodesOn(const TSite& site, uint64_t accountId) {
    std::set<std::string> nodes;
    for (const TRemoteUser& user : site.remote)
        if (user.account.id == accountId)
            nodes.insert(user.node);
    return nodes;
}

bool TSiteDesk::PresentBesides(const TSite& site, uint64_t accountId, const std::string& node) {
    return std::any_of(site.people.begin(), site.people.end(),
                       [&](const TPerson& p) { return p.entry->account.id == accountId; }) ||
           std::any_of(site.remote.begin(), site.remote.end(), [&](const TRemoteUser& r) {
               return r.account.id == accountId && r.node != node;
           });
}

// An account with sessions on several nodes is one person on the site: the
// site hears of it once, and its leaving when its last node lets it go.
void TSiteDesk::RemoteEntered(const std::string& host, const std::string& node,
                              const TAccount& account, uint8_t privacy) {
    std::string key = RemoteKey(node, account.id);
    auto it = sites.find(host);
    if (it == sites.end())
        return; // nobody here to tell
    TSite& site = *it->second;
    for (TRemoteUser& known : site.remote)
        if (known.key == key) {
            known.privacy = privacy; // its node said again, with new bits
            return;
        }
    bool seen = LocallyOn(site, account.id) || RemotelyOn(site, account.id);
    site.remote.push_back(TRemoteUser{key, node, account, site.arrivals++, privacy});
    if (seen)
        return;
    DeliverPresenceToSite(site, PresenceWire(account, 0, 0), account.id);
    if (TellsFriends(privacy))
        neighbours.FriendCameThroughNode(site, account);
}

void TSiteDesk::RemoteLeft(const std::string& host, const std::string& key) {
    auto it = sites.find(host);
    if (it == sites.end())
        return;
    TSite& site = *it->second;
    auto known = std::find_if(site.remote.begin(), site.remote.end(),
                              [&](const TRemoteUser& r) { return r.key == key; });
    if (known == site.remote.end())
        return;
    TAccount account = known->account;
    uint64_t arrival = known->arrival;
    site.remote.erase(known);
    bool stays = LocallyOn(site, account.id) || RemotelyOn(site, account.id);
    TellLeft(site, account, arrival, stays);
}

void TSiteDesk::PublicLine(TClient& client, const std::string& text) {
    TSite* site = client.site;
    if (!site)
        return;
    if (client.account->Invisible()) {
        client.sink.Deliver(ChatLineWire(MakeChatAddress(0, 0x200), INVISIBLE_LINE_REFUSED));
        return;
    }
    const TAccount& sender = client.account->account;
    // Encoded once; each receiver queues a reference to it, which costs no
    // allocation (a session's output buffer is one of the server's spares).
    TCodedLine line(MakeChatAddress(sender.id, 0), text);
    size_t delivered = 0;
    ForEachUser(site->users, [&](TClient* other) {
        if (other != &client && ReadsLanguage(other->languageMask, sender.language) &&
            other->account->Hears(sender.id)) {
            other->sink.Deliver(line.For(other->textCode));
            ++delivered;
        }
    });
    counters::PublicLine(delivered);
    link->PublicLine(site->host, sender.id, sender.language, sender.nick, text);
    const double now = clock.NowUtcDays();
    site->recent.Keep(limits.recentLines, now, uint8_t(sender.language), sender.nick, text);
    site->said.Keep(sender.id, now, uint8_t(sender.language), text);
}

void TSiteDesk::RemoteLine(const std::string& host, uint64_t senderId, int language,
                           const std::string& nick, const std::string& text) {
    auto it = sites.find(host);
    if (it == sites.end())
        return;
    TSite& site = *it->second;
    TCodedLine line(MakeChatAddress(senderId, 0), text);
    size_t delivered = 0;
    ForEachUser(site.users, [&](TClient* user) {
        if (ReadsLanguage(user->languageMask, language) && user->account->Hears(senderId)) {
            user->sink.Deliver(line.For(user->textCode));
            ++delivered;
        }
    });
    counters::RemoteLine(delivered);
    const double now = clock.NowUtcDays();
    site.recent.Keep(limits.recentLines, now, uint8_t(language), nick, text);
    site.said.Keep(senderId, now, uint8_t(language), text);
}

cluster::TKeptLine* TRecentLines::NextSlot(size_t bound) {
    if (bound == 0)
        return nullptr;
    if (lines.size() < bound)
        return &lines.emplace_back();
    // Full (or over a bound that shrank): the oldest goes.
    cluster::TKeptLine* slot = &lines[oldest];
    oldest = (oldest + 1) % lines.size();
    return slot;
}

void TRecentLines::Keep(size_t bound, double stamp, uint8_t language, std::string_view nick,
                        std::string_view text) {
    if (cluster::TKeptLine* slot = NextSlot(bound)) {
        slot->stamp = stamp;
        slot->language = language;
        slot->nick.assign(nick);
        slot->text.assign(text);
    }
}

void TRecentLines::Keep(size_t bound, cluster::TKeptLine line) {
    if (cluster::TKeptLine* slot = NextSlot(bound))
        *slot = std::move(line);
}

void TSiteDesk::DropRemote(const std::string& node) {
    for (auto& [host, site] : sites) {
        std::vector<std::string> gone;
        for (const TRemoteUser& r : site->remote)
            if (node.empty() || r.node == node)
                gone.push_back(r.key);
        for (const std::string& key : gone)
            RemoteLeft(host, key);
    }
}

void TSiteDesk::ShowPerson(const TAccountEntry& viewer, uint64_t other, bool visible) {
    TWireRef wire;
    for (TClient* session : viewer.sessions) {
        TSite* site = session->site;
        if (!site)
            continue;
        const TAccount* account = nullptr;
        for (const TPerson& person : site->people)
            if (person.entry->account.id == other)
                account = &person.entry->account;
        for (const TRemoteUser& r : site->remote)
            if (!account && r.account.id == other)
                account = &r.account;
        if (!account)
            continue;
        if (!wire) {
            TPacket p;
            ClearPacket(p);
            wire = visible ? PresenceWire(*account, 0, 0)
                           : EncodeWire(p, WriteUserLeft(p, TUserLeftMsg{other}), MSG_USER_LEFT);
        }
        // A welcome still listing the site lists the person or not by itself.
        if (session->Welcoming())
            continue;
        session->sink.DeliverPresence(wire);
    }
}

std::vector<std::string> TSiteDesk::LocalSites() const {
    std::vector<std::string> out;
    for (const auto& [host, site] : sites)
        out.push_back(host);
    return out;
}

std::vector<std::string> TSiteDesk::RemoteKeys(const std::string& host) const {
    std::vector<std::string> out;
    auto it = sites.find(host);
    if (it != sites.end())
        for (const TRemoteUser& r : it->second->remote)
            out.push_back(r.key);
    return out;
}

void TSiteDesk::SaidTo(const TClient& client, uint64_t sender,
                       std::vector<TQuotedLine>& out) const {
    const TSite* site = client.site;
    if (!site || !client.account->Hears(sender))
        return;
    site->said.ForEachOf(sender, client.siteLinesFrom, [&](const TSaidLine& line) {
        if (ReadsLanguage(client.languageMask, line.language))
            out.push_back(TQuotedLine{line.stamp, "site", line.text});
    });
}

} // namespace navlet::server
