#include "server/core/restrictions.h"

#include <charconv>
#include <cstring>
#include <ctime>

#include "protocol/ascii.h"
#include "server/log/log.h"

namespace navlet::server {

namespace {

// Changes another node made while Redis was away reach this one so late.
constexpr int64_t RELOAD_EVERY_MS = 30000;

std::string AccountSubject(uint64_t id) {
    return std::to_string(id);
}

// "18:30 UTC" within a day of now, "2026-12-24 18:30 UTC" beyond.
std::string When(int64_t untilS, int64_t nowS) {
    std::time_t t = std::time_t(untilS);
    std::tm tm{};
    gmtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, untilS - nowS < 86400 ? "%H:%M UTC" : "%Y-%m-%d %H:%M UTC",
                  &tm);
    return text;
}

std::string Sentence(std::string head, const std::string& reason) {
    if (reason.empty())
        return head + ".";
    head += ": " + reason;
    char last = head.back();
    if (last != '.' && last != '!' && last != '?')
        head += '.';
    return head;
}

} // namespace

int64_t UnixSeconds(const TClock& clock) {
    return int64_t((clock.NowUtcDays() - 25569.0) * 86400.0);
}

std::string BarredReason(const TRestriction& r, int64_t nowS) {
    if (r.kind == TRestrictionKind::Disabled)
        return Sentence("This account is disabled", r.reason);
    std::string head = "You are banned";
    if (r.untilS != 0)
        head += " until " + When(r.untilS, nowS);
    return Sentence(head, r.reason);
}

std::string MutedNotice(const TRestriction& mute, int64_t nowS) {
    std::string head = "The public chat of this site is closed";
    if (mute.untilS != 0)
        head += " until " + When(mute.untilS, nowS);
    return head + ".";
}

void TRestrictionList::Replace(const std::vector<TRestriction>& all) {
    auto next = std::make_shared<TSnapshot>();
    for (const TRestriction& r : all) {
        switch (r.kind) {
        case TRestrictionKind::UserBan:
        case TRestrictionKind::Disabled: {
            uint64_t id = 0;
            auto [end, ec] =
                std::from_chars(r.subject.data(), r.subject.data() + r.subject.size(), id);
            if (ec != std::errc() || id == 0)
                break;
            auto [it, added] = next->accounts.emplace(id, r);
            if (!added && r.kind == TRestrictionKind::Disabled)
                it->second = r;
            break;
        }
        case TRestrictionKind::AddressBan: {
            TAddressRange range;
            if (ParseAddressRange(r.subject, range))
                next->ranges.emplace_back(range, r);
            break;
        }
        case TRestrictionKind::SiteMute:
            next->sites[r.subject] = r;
            break;
        }
    }
    bool ranges = !next->ranges.empty();
    std::lock_guard hold(lock);
    snapshot = std::move(next);
    anyRange = ranges;
}

std::shared_ptr<const TRestrictionList::TSnapshot> TRestrictionList::Current() const {
    std::lock_guard hold(lock);
    return snapshot;
}

namespace {
bool Holds(const TRestriction& r, int64_t nowS) {
    return r.untilS == 0 || r.untilS > nowS;
}
} // namespace

std::optional<TRestriction> TRestrictionList::ForAccount(uint64_t account, int64_t nowS) const {
    auto now = Current();
    auto it = now->accounts.find(account);
    if (it == now->accounts.end() || !Holds(it->second, nowS))
        return std::nullopt;
    return it->second;
}

std::optional<TRestriction> TRestrictionList::ForAddress(std::string_view address,
                                                         int64_t nowS) const {
    if (!anyRange.load(std::memory_order_relaxed))
        return std::nullopt;
    std::array<uint8_t, 16> bytes;
    if (!ParseAddress(address, bytes))
        return std::nullopt;
    auto now = Current();
    for (const auto& [range, r] : now->ranges)
        if (Holds(r, nowS) && range.Contains(bytes))
            return r;
    return std::nullopt;
}

std::optional<TRestriction> TRestrictionList::ForSite(std::string_view foldedHost,
                                                      int64_t nowS) const {
    auto now = Current();
    if (now->sites.empty())
        return std::nullopt;
    auto it = now->sites.find(std::string(foldedHost));
    if (it == now->sites.end() || !Holds(it->second, nowS))
        return std::nullopt;
    return it->second;
}

TRestrictionDesk::TRestrictionDesk(TStore& store, const TClock& clock, TClusterLink& link,
                                   TNeighbours neighbours)
    : store(store), clock(clock), link(&link), neighbours(std::move(neighbours)),
      alive(std::make_shared<bool>(true)) {}

TRestrictionDesk::~TRestrictionDesk() {
    *alive = false;
}

std::string TRestrictionDesk::Barred(uint64_t account) const {
    int64_t now = UnixSeconds(clock);
    auto r = list.ForAccount(account, now);
    return r ? BarredReason(*r, now) : std::string();
}

bool TRestrictionDesk::AddressBarred(std::string_view address) const {
    return list.ForAddress(address, UnixSeconds(clock)).has_value();
}

std::string TRestrictionDesk::MutedAt(std::string_view foldedHost) const {
    int64_t now = UnixSeconds(clock);
    auto r = list.ForSite(foldedHost, now);
    return r ? MutedNotice(*r, now) : std::string();
}

void TRestrictionDesk::LoadNow() {
    lastLoadMs = clock.NowMs();
    if (auto all = store.Restrictions(UnixSeconds(clock)))
        list.Replace(*all);
    else
        log::Warn("operator", "restrictions not read", {{"why", "the database did not answer"}});
}

void TRestrictionDesk::Tick(int64_t nowMs) {
    if (loading || nowMs - lastLoadMs < RELOAD_EVERY_MS)
        return;
    lastLoadMs = nowMs;
    loading = true;
    auto read = std::make_shared<std::optional<std::vector<TRestriction>>>();
    std::weak_ptr<bool> weak = alive;
    Runner().Run([this, read, now = UnixSeconds(clock)] { *read = store.Restrictions(now); },
                 [this, weak, read] {
                     if (weak.expired())
                         return;
                     loading = false;
                     if (*read) {
                         list.Replace(**read);
                         EndStopped(0, {});
                     }
                 });
}

int TRestrictionDesk::EndStopped(uint64_t account, const std::string& reason) {
    int64_t now = UnixSeconds(clock);
    int ended = 0;
    for (TClient* client : neighbours.sessions()) {
        if (!client->account)
            continue;
        uint64_t id = client->account->account.id;
        std::string why;
        if (account != 0 && id == account)
            why = reason;
        else if (auto r = list.ForAccount(id, now))
            why = BarredReason(*r, now);
        else if (auto a = list.ForAddress(client->address, now))
            why = BarredReason(*a, now);
        if (why.empty())
            continue;
        neighbours.end(*client, why);
        ++ended;
    }
    return ended;
}

void TRestrictionDesk::Change(std::function<TWrite()> write, bool tellOthers, TDoneFn done) {
    auto result = std::make_shared<TWrite>();
    auto read = std::make_shared<std::optional<std::vector<TRestriction>>>();
    std::weak_ptr<bool> weak = alive;
    Runner().RunOrdered(
        [this, write = std::move(write), result, read] {
            *result = write();
            if (result->error.empty())
                *read = store.Restrictions(UnixSeconds(clock));
        },
        [this, weak, result, read, tellOthers, done = std::move(done)] {
            if (weak.expired())
                return;
            TOutcome outcome;
            outcome.error = result->error;
            outcome.untilS = result->untilS;
            outcome.password = result->password;
            if (!outcome.error.empty()) {
                done(outcome);
                return;
            }
            if (*read)
                list.Replace(**read);
            int here = EndStopped(result->account, result->reason);
            if (!tellOthers) {
                outcome.sessions = here;
                done(outcome);
                return;
            }
            link->RestrictionsChanged(result->account, result->reason,
                                      [here, outcome, done](int there) mutable {
                                          outcome.sessions = here + std::max(0, there);
                                          done(outcome);
                                      });
        });
}

namespace {
constexpr std::string_view NO_USER = "no such user";
constexpr std::string_view NO_DATABASE = "database unavailable";

std::string StoreError() {
    return std::string(TStore::LastCallFailed() ? NO_DATABASE : std::string_view("not stored"));
}

// The account `nick` names; none, with `error` saying why, when there is no
// such user or the database did not answer.
std::optional<TAccount> AccountNamed(TStore& store, const std::string& nick, std::string& error) {
    std::optional<TAccount> account = store.FindAccountByNick(nick);
    if (!account)
        error = TStore::LastCallFailed() ? NO_DATABASE : NO_USER;
    return account;
}
} // namespace

void TRestrictionDesk::Ban(TRestrictionKind kind, const std::string& subject, int64_t durationS,
                           const std::string& reason, TDoneFn done) {
    int64_t until = durationS == 0 ? 0 : UnixSeconds(clock) + durationS;
    Change(
        [this, kind, subject, until, reason] {
            TWrite w;
            w.untilS = until;
            TRestriction r{kind, subject, until, reason};
            if (kind == TRestrictionKind::UserBan) {
                auto account = AccountNamed(store, subject, w.error);
                if (!account)
                    return w;
                r.subject = AccountSubject(account->id);
                w.account = account->id;
                w.reason = BarredReason(r, UnixSeconds(clock));
            }
            if (!store.PutRestriction(r))
                w.error = StoreError();
            return w;
        },
        /*tellOthers=*/true, std::move(done));
}

void TRestrictionDesk::Unban(TRestrictionKind kind, const std::string& subject, TDoneFn done) {
    Change(
        [this, kind, subject] {
            TWrite w;
            std::string key = subject;
            if (kind == TRestrictionKind::UserBan) {
                auto account = AccountNamed(store, subject, w.error);
                if (!account)
                    return w;
                key = AccountSubject(account->id);
            }
            auto dropped = store.DropRestriction(kind, key);
            if (!dropped)
                w.error = NO_DATABASE;
            else if (!*dropped)
                w.error = "not banned";
            return w;
        },
        /*tellOthers=*/true, std::move(done));
}

void TRestrictionDesk::Disable(const std::string& nick, bool disabled, const std::string& reason,
                               TDoneFn done) {
    Change(
        [this, nick, disabled, reason] {
            TWrite w;
            auto account = AccountNamed(store, nick, w.error);
            if (!account)
                return w;
            TRestriction r{TRestrictionKind::Disabled, AccountSubject(account->id), 0, reason};
            if (!disabled) {
                auto dropped = store.DropRestriction(r.kind, r.subject);
                if (!dropped)
                    w.error = NO_DATABASE;
                else if (!*dropped)
                    w.error = "not disabled";
                return w;
            }
            if (!store.PutRestriction(r)) {
                w.error = StoreError();
                return w;
            }
            w.account = account->id;
            w.reason = BarredReason(r, 0);
            return w;
        },
        /*tellOthers=*/true, std::move(done));
}

// The account's sessions go on: the password is for its next sign-in.
void TRestrictionDesk::NewPassword(const std::string& nick, TDoneFn done) {
    auto id = std::make_shared<uint64_t>(0);
    std::weak_ptr<bool> weak = alive;
    Change(
        [this, nick, id] {
            TWrite w;
            auto account = AccountNamed(store, nick, w.error);
            if (!account)
                return w;
            w.password = RandomPassword();
            std::string hash = HashPassword(w.password);
            if (w.password.empty() || hash.empty() ||
                !store.UpdateProfileHashed(account->id, account->gender, account->language, hash)) {
                w.password.clear();
                w.error = TStore::LastCallFailed() ? NO_DATABASE : "not stored";
                return w;
            }
            *id = account->id;
            return w;
        },
        /*tellOthers=*/false,
        [this, weak, id, done = std::move(done)](TOutcome outcome) {
            if (!weak.expired() && *id != 0 && neighbours.passwordChanged)
                neighbours.passwordChanged(*id);
            done(std::move(outcome));
        });
}

void TRestrictionDesk::Delete(const std::string& nick, TDoneFn done) {
    EndDeleted(
        [this, nick] {
            TWrite w;
            auto account = AccountNamed(store, nick, w.error);
            if (!account)
                return w;
            if (!store.DeleteAccount(account->id)) {
                w.error = StoreError();
                return w;
            }
            w.account = account->id;
            w.reason = REASON_DELETED;
            return w;
        },
        std::move(done));
}

void TRestrictionDesk::Deleted(uint64_t account) {
    EndDeleted(
        [account] {
            return TWrite{{}, account, std::string(REASON_DELETED), {}, 0};
        },
        [](TOutcome) {});
}

void TRestrictionDesk::EndDeleted(std::function<TWrite()> write, TDoneFn done) {
    auto id = std::make_shared<uint64_t>(0);
    std::weak_ptr<bool> weak = alive;
    Change(
        [write = std::move(write), id] {
            TWrite w = write();
            if (w.error.empty())
                *id = w.account;
            return w;
        },
        /*tellOthers=*/true,
        [this, weak, id, done = std::move(done)](TOutcome outcome) {
            if (!weak.expired() && *id != 0 && neighbours.accountDeleted)
                neighbours.accountDeleted(*id);
            done(std::move(outcome));
        });
}

void TRestrictionDesk::Mute(const std::string& host, int64_t durationS, TDoneFn done) {
    int64_t now = UnixSeconds(clock);
    TRestriction mute{
        TRestrictionKind::SiteMute, FoldCase(host), durationS == 0 ? 0 : now + durationS, {}};
    std::weak_ptr<bool> weak = alive;
    Change(
        [this, mute] {
            TWrite w;
            w.untilS = mute.untilS;
            if (!store.PutRestriction(mute))
                w.error = StoreError();
            return w;
        },
        /*tellOthers=*/true,
        [this, weak, mute, now, done = std::move(done)](TOutcome outcome) {
            if (weak.expired() || !outcome.error.empty()) {
                done(std::move(outcome));
                return;
            }
            neighbours.tellSite(mute.subject, MutedNotice(mute, now),
                                [outcome, done](int told) mutable {
                                    outcome.sessions = std::max(0, told);
                                    done(std::move(outcome));
                                });
        });
}

void TRestrictionDesk::Unmute(const std::string& host, TDoneFn done) {
    std::string folded = FoldCase(host);
    std::weak_ptr<bool> weak = alive;
    Change(
        [this, folded] {
            TWrite w;
            auto dropped = store.DropRestriction(TRestrictionKind::SiteMute, folded);
            if (!dropped)
                w.error = NO_DATABASE;
            else if (!*dropped)
                w.error = "not muted";
            return w;
        },
        /*tellOthers=*/true,
        [this, weak, folded, done = std::move(done)](TOutcome outcome) {
            if (weak.expired() || !outcome.error.empty()) {
                done(std::move(outcome));
                return;
            }
            neighbours.tellSite(folded, std::string(NOTICE_UNMUTED),
                                [outcome, done](int told) mutable {
                                    outcome.sessions = std::max(0, told);
                                    done(std::move(outcome));
                                });
        });
}

void TRestrictionDesk::Remote(uint64_t account, const std::string& reason,
                              std::function<void(int)> ended) {
    auto read = std::make_shared<std::optional<std::vector<TRestriction>>>();
    std::weak_ptr<bool> weak = alive;
    lastLoadMs = clock.NowMs();
    Runner().Run([this, read, now = UnixSeconds(clock)] { *read = store.Restrictions(now); },
                 [this, weak, read, account, reason, ended = std::move(ended)] {
                     if (weak.expired())
                         return;
                     if (*read)
                         list.Replace(**read);
                     int n = EndStopped(account, reason);
                     if (account != 0 && !reason.empty() && neighbours.accountDeleted &&
                         reason == REASON_DELETED)
                         neighbours.accountDeleted(account);
                     if (ended)
                         ended(n);
                 });
}

} // namespace navlet::server
