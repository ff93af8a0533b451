#include "server/core/shield.h"

#include <algorithm>

#include "protocol/messages.h"

namespace navlet::server {

namespace {

auto Find(std::vector<TShieldEntry>& shield, uint64_t other) {
    return std::lower_bound(shield.begin(), shield.end(), other,
                            [](const TShieldEntry& e, uint64_t id) { return e.id < id; });
}

// The bar's mark for the bits an account holds for another.
uint8_t MarkOf(uint8_t bits) {
    if (bits & SHIELD_BLOCKS)
        return MARK_BLOCKED;
    return (bits & SHIELD_IGNORES) ? MARK_IGNORED : MARK_NONE;
}

uint8_t OwnBits(uint8_t mark) {
    return mark == MARK_BLOCKED ? SHIELD_BLOCKS : mark == MARK_IGNORED ? SHIELD_IGNORES : 0;
}

} // namespace

uint8_t ShieldBitsIn(const std::vector<TShieldEntry>& shield, uint64_t other) {
    auto it = std::lower_bound(shield.begin(), shield.end(), other,
                               [](const TShieldEntry& e, uint64_t id) { return e.id < id; });
    return it != shield.end() && it->id == other ? it->bits : 0;
}

void SetShieldBits(std::vector<TShieldEntry>& shield, uint64_t other, std::string_view nick,
                   uint8_t bits, uint8_t mask) {
    auto it = Find(shield, other);
    if (it == shield.end() || it->id != other) {
        if (bits & mask)
            shield.insert(it, TShieldEntry{other, uint8_t(bits & mask), std::string(nick)});
        return;
    }
    it->bits = uint8_t((it->bits & ~mask) | (bits & mask));
    if (it->bits == 0) {
        shield.erase(it);
        return;
    }
    if (!nick.empty())
        it->nick = std::string(nick);
}

TWireRef MarkWire(uint64_t user, uint8_t mark, const std::string& nick) {
    TPacket p;
    ClearPacket(p);
    return EncodeWire(p, WriteMark(p, TMarkMsg{user, mark, nick}), MSG_MARK);
}

TShieldDesk::TShieldDesk(TDirectory& directory, TStore& store, TStoreRunner& runner,
                         TClusterLink& link, TShieldNeighbours& neighbours)
    : directory(directory), store(store), runner(&runner), link(&link), neighbours(neighbours),
      alive(std::make_shared<bool>(true)) {}

TShieldDesk::~TShieldDesk() {
    *alive = false;
}

void TShieldDesk::SignedIn(TClient& client, std::vector<TShieldEntry> shield, bool cameOnline) {
    TAccountEntry& entry = *client.account;
    if (cameOnline)
        entry.shield = std::move(shield);
    for (const TShieldEntry& e : entry.shield)
        if (uint8_t mark = MarkOf(e.bits); mark != MARK_NONE)
            client.sink.Deliver(MarkWire(e.id, mark, e.nick));
}

void TShieldDesk::Change(TClient& client, uint8_t requestType, const TMarkChangeRequest& request) {
    if (request.operation != MARK_SET && request.operation != MARK_CLEAR)
        return;
    const uint64_t target = request.user;
    if (target == 0 || target == client.Id())
        return;
    const uint8_t current = MarkOf(client.account->ShieldOf(target));
    const bool set = request.operation == MARK_SET;
    // A block holds the ignoring in it: ignoring a blocked user changes nothing.
    uint8_t next = current;
    if (requestType == REQ_BLOCK_CHANGE && set)
        next = MARK_BLOCKED;
    else if (requestType == REQ_BLOCK_CHANGE && current == MARK_BLOCKED)
        next = MARK_NONE;
    else if (requestType == REQ_IGNORE_CHANGE && set && current != MARK_BLOCKED)
        next = MARK_IGNORED;
    else if (requestType == REQ_IGNORE_CHANGE && !set && current == MARK_IGNORED)
        next = MARK_NONE;
    if (next == current)
        return;
    struct TWritten {
        bool ok = false;
        std::optional<TAccount> target;
    };
    auto written = std::make_shared<TWritten>();
    TStore& db = store;
    std::weak_ptr<bool> desk = alive;
    const TAccount owner = client.account->account;
    const uint64_t serial = client.serial;
    runner->RunOrdered(
        [&db, written, ownerId = owner.id, target, next] {
            written->target = db.FindAccountById(target);
            written->ok = written->target && db.SetMark(ownerId, target, next);
        },
        [this, desk, written, owner, serial, target, next] {
            if (desk.expired())
                return;
            if (!written->ok) {
                // Unknown, or the list is full: the bar learns what holds.
                TClient* asker = directory.LiveClient(serial);
                if (asker && written->target)
                    asker->sink.Deliver(MarkWire(target, MarkOf(asker->account->ShieldOf(target)),
                                                 written->target->nick));
                return;
            }
            written->target->passwordHash.clear();
            Marked(owner, *written->target, next);
        });
}

void TShieldDesk::Marked(const TAccount& owner, const TAccount& target, uint8_t mark) {
    Apply(owner, target, mark);
    link->MarkChanged(owner, target, mark);
}

void TShieldDesk::RemoteChange(const TAccount& owner, const TAccount& target, uint8_t mark) {
    Apply(owner, target, mark);
}

void TShieldDesk::Apply(const TAccount& owner, const TAccount& target, uint8_t mark) {
    if (TAccountEntry* o = directory.CachedById(owner.id)) {
        const bool saw = o->Sees(target.id);
        SetShieldBits(o->shield, target.id, target.nick, OwnBits(mark),
                      SHIELD_IGNORES | SHIELD_BLOCKS);
        if (!o->sessions.empty()) {
            // Every window of the account holds the same marks.
            const TWireRef wire = MarkWire(target.id, mark, target.nick);
            for (TClient* session : o->sessions)
                session->sink.Deliver(wire);
        }
        if (saw && !o->Sees(target.id))
            neighbours.HidePerson(*o, target.id, /*leaveChats=*/true);
        else if (!saw && o->Sees(target.id))
            neighbours.RevealPerson(*o, target.id);
    }
    if (TAccountEntry* t = directory.CachedById(target.id)) {
        // The blocked user is never told: its lists change as if the
        // blocker had gone.
        const bool saw = t->Sees(owner.id);
        SetShieldBits(t->shield, owner.id, owner.nick, mark == MARK_BLOCKED ? SHIELD_BLOCKED_BY : 0,
                      SHIELD_BLOCKED_BY);
        if (saw && !t->Sees(owner.id))
            neighbours.HidePerson(*t, owner.id, /*leaveChats=*/false);
        else if (!saw && t->Sees(owner.id))
            neighbours.RevealPerson(*t, owner.id);
    }
}

} // namespace navlet::server
