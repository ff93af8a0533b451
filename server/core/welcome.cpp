// The welcome of a session arriving on a site: its own record, a record of
// every other person there, its friends, the site's recent lines, the banner
// and any kept calls. A crowded site's listing would not fit in the
// connection's output bound at once, so it goes out as the connection drains.
#include <algorithm>

#include "server/core/sites.h"

namespace navlet::server {

TWireRef PresenceWire(const TAccount& account, uint8_t listFlag, uint64_t chatKey) {
    TPresenceMsg m;
    m.user = account.id;
    m.listFlag = listFlag;
    m.chatKey = chatKey;
    m.gender = account.gender;
    m.nick = account.nick;
    TPacket p;
    ClearPacket(p);
    int length = WritePresence(p, m);
    return EncodeWire(p, length, MSG_PRESENCE);
}

// The subtype tells a bar that asked for UTF-8 that it has it.
TWireRef OwnPresenceWire(const TClient& client) {
    TPresenceMsg m;
    m.user = client.account->account.id;
    m.chatKey = client.chatKey;
    m.gender = client.account->account.gender;
    m.nick = client.account->account.nick;
    TPacket p;
    ClearPacket(p);
    int length = WritePresence(p, m);
    p.bytes[OFF_SUBTYPE] = client.textCode == TTextCode::Utf8 ? TEXT_UTF8 : 0;
    return EncodeWire(p, length, MSG_PRESENCE);
}

namespace {

// Whether `user`'s welcome still owes the record of the person who arrived
// at `arrival` (so it must hear neither "left" nor the record twice).
bool Owed(const TClient& user, uint64_t userId, uint64_t arrival) {
    if (!user.welcome)
        return false;
    const TWelcome& w = *user.welcome;
    return w.StillToList(arrival) && !(w.trackListed && w.listed.count(userId));
}

// Whether `user`'s welcome will still list the account from what the site
// holds now.
bool WillList(const TClient& user, const TSite& site, uint64_t userId) {
    for (const TPerson& person : site.people)
        if (person.entry->account.id == userId && Owed(user, userId, person.arrival))
            return true;
    for (const TRemoteUser& r : site.remote)
        if (r.account.id == userId && Owed(user, userId, r.arrival))
            return true;
    return false;
}

// Whether a kept line's sender (the lines name them by nick) is ignored or
// blocked either way.
bool Shuts(const std::vector<TShieldEntry>& shield, const std::string& nick) {
    return std::any_of(shield.begin(), shield.end(),
                       [&](const TShieldEntry& e) { return e.nick == nick; });
}

} // namespace

void TSiteDesk::StartWelcome(TClient& client, const std::vector<TAccount>* friends) {
    if (!client.welcome)
        client.welcome = std::make_unique<TWelcome>();
    TWelcome& w = *client.welcome;
    // Friends and kept calls not yet sent in an unfinished welcome carry
    // over to the next site's; that site's lines replace the old one's.
    std::vector<TWireRef> pendingFriends =
        w.active ? std::move(w.friends) : std::vector<TWireRef>();
    std::vector<TWireRef> pendingCalls =
        w.active ? std::move(w.keptCalls) : std::vector<TWireRef>();
    w = TWelcome{};
    w.active = true;
    // The sign-in's friends: none yet while other nodes still answer for
    // some (they then join this welcome, or follow it).
    w.friends = friends ? neighbours.WelcomeFriends(client, *friends) : std::move(pendingFriends);
    w.keptCalls = std::move(pendingCalls);
    // The own record confirms the sign-in: it goes at once.
    client.sink.Deliver(OwnPresenceWire(client));
    if (TSite* site = client.site) {
        w.endArrival = site->arrivals;
        const uint64_t replayed = std::min<uint64_t>(site->said.Next(), site->recent.size());
        client.siteLinesFrom = site->said.Next() - replayed;
        w.trackListed = !site->remote.empty();
        // Lines said during the welcome reach the session live: only those
        // said before it are replayed.
        TPacket p;
        site->recent.ForEach([&](const cluster::TKeptLine& line) {
            if (!ReadsLanguage(client.languageMask, line.language) ||
                Shuts(client.account->shield, line.nick))
                return;
            ClearPacket(p);
            int length = WriteDatedLine(
                p, TDatedLineMsg{line.stamp, line.nick,
                                 TextForSession(client.textCode, line.text, MAX_PACKET - 41)});
            w.lines.push_back(EncodeWire(p, length, MSG_DATED_LINE));
        });
    }
}

void TSiteDesk::Drained(TClient& client) {
    if (client.SignedIn() && client.Welcoming())
        ContinueWelcome(client);
}

void TSiteDesk::ContinueWelcome(TClient& client) {
    if (client.site && !ListPeople(client))
        return; // the connection calls Drained when it has room again
    FinishWelcome(client);
}

// This node's people and the other nodes' users go out together in order of
// arrival (one count numbers both); an account on several nodes, or here
// too, is listed once.
bool TSiteDesk::ListPeople(TClient& client) {
    TWelcome& w = *client.welcome;
    const auto& people = client.site->people;
    const auto& remote = client.site->remote;
    auto local = std::lower_bound(
        people.begin(), people.end(), w.nextArrival,
        [](const TPerson& person, uint64_t arrival) { return person.arrival < arrival; });
    auto other = std::lower_bound(
        remote.begin(), remote.end(), w.nextArrival,
        [](const TRemoteUser& r, uint64_t arrival) { return r.arrival < arrival; });
    for (;;) {
        const bool hasLocal = local != people.end() && local->arrival < w.endArrival;
        const bool hasOther = other != remote.end() && other->arrival < w.endArrival;
        if (!hasLocal && !hasOther)
            break;
        if (client.sink.Room() == 0)
            return false;
        const bool takeLocal = hasLocal && (!hasOther || local->arrival < other->arrival);
        const TAccount& account = takeLocal ? local->entry->account : other->account;
        w.nextArrival = (takeLocal ? local++->arrival : other++->arrival) + 1;
        if (account.id == client.Id() || !client.account->Sees(account.id))
            continue; // another window of the same account brought it here, or blocked
        if (w.trackListed && !w.listed.insert(account.id).second)
            continue;
        client.sink.Deliver(PresenceWire(account, 0, 0));
    }
    w.nextArrival = w.endArrival;
    return true;
}

void TSiteDesk::FinishWelcome(TClient& client) {
    TWelcome done = std::move(*client.welcome);
    client.welcome.reset();
    for (const TWireRef& wire : done.friends)
        client.sink.Deliver(wire);
    for (const TWireRef& wire : done.lines)
        client.sink.Deliver(wire);
    SendBanner(client);
    for (const TWireRef& wire : done.keptCalls)
        client.sink.Deliver(wire);
}

void TSiteDesk::SendBanner(TClient& client) {
    TPacket p;
    ClearPacket(p);
    int32_t id = client.site ? banners.At(client.site->bannerIndex) : 0;
    client.sink.Deliver(EncodeWire(p, WriteBanner(p, TBannerMsg{id}), MSG_BANNER));
}

// The account is gone from the site: everybody who has its record hears so.
// When it stays through another entry (a window here, a node elsewhere),
// nobody hears "left", but a welcome that owed this entry's record and will
// not list the account from the others gets the record now.
void TSiteDesk::TellLeft(TSite& site, const TAccount& account, uint64_t arrival,
                         bool accountStays) {
    TWireRef left;
    if (!accountStays) {
        TPacket p;
        ClearPacket(p);
        left = EncodeWire(p, WriteUserLeft(p, TUserLeftMsg{account.id}), MSG_USER_LEFT);
    }
    TWireRef record;
    for (TClient* user : site.users) {
        if (!user->account->Sees(account.id))
            continue;
        bool owed = user->Welcoming() && Owed(*user, account.id, arrival);
        if (!accountStays) {
            if (!owed)
                user->sink.DeliverPresence(left);
            continue;
        }
        if (!owed || WillList(*user, site, account.id))
            continue;
        if (!record)
            record = PresenceWire(account, 0, 0);
        if (user->welcome->trackListed)
            user->welcome->listed.insert(account.id);
        user->sink.DeliverPresence(record);
    }
}

} // namespace navlet::server
