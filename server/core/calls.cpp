#include "server/core/calls.h"

#include "protocol/messages.h"
#include "protocol/page_address.h"
#include "server/core/wire.h"

namespace navlet::server {

namespace {

// The answer to the caller when the sought user was found online and called.
constexpr int32_t SEARCH_CALLED = 1;
constexpr ChatId STATUS_NOTICE_CHAT = 0x100; // shown on the bar's status line
constexpr std::string_view SEARCH_UNAVAILABLE =
    "The service is briefly unavailable: try again in a minute.";

// Without the database the sought user's account is unknown, which says
// nothing of whether it is online: the asker hears so, not "not online".
void TellUnavailable(TClient& asker) {
    asker.sink.Deliver(ChatLineWire(MakeChatAddress(0, STATUS_NOTICE_CHAT), SEARCH_UNAVAILABLE));
}

void Send(TClient& client, TPacket& packet, int length, uint8_t type) {
    client.sink.Deliver(EncodeWire(packet, length, type));
}

// A call with a message (UTF-8), encoded at most once per text code of the
// called sessions.
class TCodedCall {
  public:
    explicit TCodedCall(TLookingForYouMsg m) : m(std::move(m)) {}
    const TWireRef& For(TTextCode code) {
        TWireRef& wire = wires[int(code)];
        if (wire)
            return wire;
        TLookingForYouMsg coded = m;
        coded.message = TextForSession(code, m.message, CALL_MESSAGE_FIELD - 1);
        TPacket p;
        ClearPacket(p);
        wire = EncodeWire(p, WriteLookingForYou(p, coded), MSG_LOOKING_FOR_YOU);
        return wire;
    }

  private:
    TLookingForYouMsg m;
    TWireRef wires[2];
};

// "Someone is looking for you" to every session of the called account.
void RingSessions(const TAccountEntry& target, TLookingForYouMsg call, bool withMessage) {
    if (withMessage) {
        TCodedCall coded(std::move(call));
        for (TClient* session : target.sessions)
            session->sink.Deliver(coded.For(session->textCode));
        return;
    }
    TPacket p;
    ClearPacket(p);
    TSearchAnswerMsg m{SEARCH_LOOKING_FOR_YOU, call.nick, call.link};
    TWireRef wire = EncodeWire(p, WriteSearchAnswer(p, m), MSG_SEARCH_ANSWER);
    for (TClient* session : target.sessions)
        session->sink.Deliver(wire);
}

} // namespace

TCallDesk::TCallDesk(TDirectory& directory, TStore& store, TStoreRunner& runner, TClusterLink& link,
                     const TClock& clock, TLimits limits)
    : directory(directory), store(store), runner(&runner), link(&link), clock(clock),
      limits(limits), alive(std::make_shared<bool>(true)) {}

TCallDesk::~TCallDesk() {
    *alive = false;
}

void TCallDesk::FindUser(TClient& client, const TFindUserRequest& asked, bool withMessage) {
    TFindUserRequest request = asked;
    // Kept and relayed as the target sees it, in the server's UTF-8.
    TextFromSession(client.textCode, request.message);
    BlankControlsIn(request.message);
    if (!client.account->chatBudget.Take(clock.NowMs(), limits.perSecond, limits.burst) ||
        !IsValidNick(request.nick)) {
        AnswerSearch(client, request, withMessage, nullptr);
        return;
    }
    if (TAccountEntry* cached = directory.CachedByNick(request.nick)) {
        RouteSearch(client, request, withMessage, cached);
        return;
    }
    // Not known here yet: the store says whether the account exists.
    std::weak_ptr<bool> desk = alive;
    uint64_t serial = client.serial;
    directory.ReadAccount(request.nick, TWithFriends::No,
                          [this, desk, serial, request, withMessage](TStoredAccount found) {
                              if (desk.expired())
                                  return;
                              TClient* asker = directory.LiveClient(serial);
                              if (!asker)
                                  return;
                              if (found.unavailable) {
                                  TellUnavailable(*asker);
                                  return;
                              }
                              TAccountEntry* target = nullptr;
                              if (found.account) {
                                  directory.Remember(*found.account);
                                  target = directory.CachedById(found.account->id);
                              }
                              RouteSearch(*asker, request, withMessage, target);
                          });
}

void TCallDesk::RouteSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                            TAccountEntry* target) {
    if (!target || target == client.account) {
        AnswerSearch(client, request, withMessage, target);
        return;
    }
    // Invisible here, or (below) on the nodes where it is signed in.
    if (!client.account->Sees(target->account.id) || (target->Online() && target->Invisible())) {
        AnswerSearch(client, request, withMessage, nullptr); // blocked: "not online"
        return;
    }
    const TAccount& caller = client.account->account;
    cluster::TCall call{target->account.id, withMessage, caller.nick,      request.message,
                        client.siteUrl,     caller.id,   !target->Online()};
    if (target->Online()) {
        // Its windows on other nodes hear the call as well; the caller hears
        // "called" once, from here.
        AnswerSearch(client, request, withMessage, target);
        link->CallElsewhere(call, [](TCallReach) {});
        return;
    }
    std::weak_ptr<bool> desk = alive;
    uint64_t serial = client.serial, targetId = target->account.id;
    auto answered = [this, desk, serial, targetId, request, withMessage](TCallReach reach) {
        TClient* asker = desk.expired() ? nullptr : directory.LiveClient(serial);
        TAccountEntry* sought = asker ? directory.CachedById(targetId) : nullptr;
        if (!sought)
            return;
        if (reach != TCallReach::Reached) {
            AnswerSearch(*asker, request, withMessage,
                         reach == TCallReach::Hidden ? nullptr : sought);
            return;
        }
        TPacket p;
        ClearPacket(p);
        TSearchAnswerMsg answer{SEARCH_CALLED, sought->account.nick, {}};
        Send(*asker, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
    };
    link->CallElsewhere(call, std::move(answered));
}

void TCallDesk::RemoteCall(const cluster::TCall& received) {
    // A node of an older build may still pass on a whole page address.
    cluster::TCall call = received;
    call.callerSite = CutPageAddress(received.callerSite);
    call.message = Utf8FromEither(received.message); // an older node's is the bar's 1252
    if (TAccountEntry* target = directory.CachedById(call.target); target && target->Online()) {
        Ring(*target, call);
        return;
    }
    // The caller has heard "called" already: a message must not be lost.
    if (call.keep && call.withMessage && !call.message.empty() && call.callerId != 0 &&
        call.callerId != call.target)
        KeepUnlessOnline(call);
}

void TCallDesk::Ring(const TAccountEntry& target, const cluster::TCall& call) {
    if (!target.Hears(call.callerId))
        return; // ignored: the caller was told "called" all the same
    RingSessions(target, TLookingForYouMsg{true, call.callerNick, call.message, call.callerSite},
                 call.withMessage);
}

// The target's last session here went after the caller's node looked. Signed
// in on another node, it heard the call there; online nowhere, the message
// is kept for its next sign-in as for a user offline.
void TCallDesk::KeepUnlessOnline(const cluster::TCall& call) {
    std::weak_ptr<bool> desk = alive;
    link->WhereIs(call.target, [this, desk, call](std::vector<TNodeSessions> nodes) {
        if (desk.expired() || !nodes.empty())
            return;
        TAccountEntry* target = directory.CachedById(call.target);
        if (target && target->Online()) { // back here meanwhile
            Ring(*target, call);
            return;
        }
        TKeptCall kept{call.target, call.callerId, call.callerNick, call.message, call.callerSite};
        TStore& db = store;
        runner->RunOrdered([&db, kept] { db.KeepCall(kept); }, nullptr);
    });
}

// Called: an online target hears who looks for it. Offline: a message is
// kept for its next sign-in. Unknown: "not online" with the nick as asked.
void TCallDesk::AnswerSearch(TClient& client, const TFindUserRequest& request, bool withMessage,
                             TAccountEntry* target) {
    TPacket p;
    ClearPacket(p);
    TSearchAnswerMsg answer;
    answer.nick = request.nick;
    answer.result = SEARCH_NOT_ONLINE;
    const TAccount& caller = client.account->account;
    if (target && target->Online()) {
        answer.nick = target->account.nick;
        answer.result = SEARCH_CALLED;
        // Every window of the sought user hears the call, unless it ignores
        // the caller; searching oneself calls nobody.
        if (target != client.account && target->Hears(caller.id))
            RingSessions(*target,
                         TLookingForYouMsg{true, caller.nick, request.message, client.siteUrl},
                         withMessage);
    } else if (target && withMessage && !request.message.empty() &&
               target->account.id != caller.id) {
        answer.nick = target->account.nick;
        // The answer waits for the call to be kept, so that calls keep the
        // order their callers heard the answers in.
        TStore& db = store;
        std::weak_ptr<bool> desk = alive;
        runner->RunOrdered(
            [&db, call = TKeptCall{target->account.id, caller.id, caller.nick, request.message,
                                   client.siteUrl}] { db.KeepCall(call); },
            [this, desk, serial = client.serial, answer] {
                TClient* asker = desk.expired() ? nullptr : directory.LiveClient(serial);
                if (!asker)
                    return;
                TPacket later;
                ClearPacket(later);
                Send(*asker, later, WriteSearchAnswer(later, answer), MSG_SEARCH_ANSWER);
            });
        return;
    }
    Send(client, p, WriteSearchAnswer(p, answer), MSG_SEARCH_ANSWER);
}

// A kept call says "is" while its caller is online (with the caller's page
// now) and "was" when the caller has gone. Calls taken for a session that
// ended meanwhile are kept again.
void TCallDesk::DeliverKeptCalls(TClient& client) {
    auto calls = std::make_shared<std::vector<TKeptCall>>();
    std::weak_ptr<bool> desk = alive;
    TStore& db = store;
    uint64_t serial = client.serial, id = client.Id();
    runner->Run([&db, calls, id] { *calls = db.TakeCalls(id); },
                [this, desk, serial, calls, &db] {
                    if (desk.expired() || calls->empty())
                        return;
                    TClient* target = directory.LiveClient(serial);
                    if (!target) {
                        runner->Run(
                            [&db, calls] {
                                for (const TKeptCall& call : *calls)
                                    db.KeepCall(call);
                            },
                            nullptr);
                        return;
                    }
                    AskWhoIsOnline(serial, calls);
                });
}

// A caller signed in on another node "is" online too; its page
// there is not known here, so the call shows the page it was made from.
void TCallDesk::AskWhoIsOnline(uint64_t serial, std::shared_ptr<std::vector<TKeptCall>> calls) {
    struct TAsking {
        std::set<uint64_t> online;
        size_t waiting = 0;
    };
    auto asking = std::make_shared<TAsking>();
    asking->waiting = calls->size();
    std::weak_ptr<bool> desk = alive;
    for (const TKeptCall& call : *calls) {
        uint64_t caller = call.caller;
        link->WhereIs(
            caller, [this, desk, serial, calls, asking, caller](std::vector<TNodeSessions> nodes) {
                if (desk.expired())
                    return;
                if (!nodes.empty())
                    asking->online.insert(caller);
                if (--asking->waiting > 0)
                    return;
                if (TClient* target = directory.LiveClient(serial))
                    SendKeptCalls(*target, *calls, asking->online);
            });
    }
}

void TCallDesk::SendKeptCalls(TClient& target, const std::vector<TKeptCall>& calls,
                              const std::set<uint64_t>& onlineElsewhere) {
    TPacket p;
    for (const TKeptCall& call : calls) {
        if (!target.account->Hears(call.caller))
            continue;
        TAccountEntry* caller = directory.CachedById(call.caller);
        TClient* online = caller ? caller->MostRecent() : nullptr;
        TLookingForYouMsg m{online != nullptr || onlineElsewhere.count(call.caller) > 0,
                            call.callerNick,
                            {},
                            online ? online->siteUrl : CutPageAddress(call.link)};
        // Calls kept by an older server hold the caller's 1252.
        std::string message = BlankControls(Utf8FromEither(call.message));
        m.message = TextForSession(target.textCode, message, CALL_MESSAGE_FIELD - 1);
        ClearPacket(p);
        TWireRef wire = EncodeWire(p, WriteLookingForYou(p, m), MSG_LOOKING_FOR_YOU);
        // Kept calls close the welcome.
        if (target.Welcoming())
            target.welcome->keptCalls.push_back(std::move(wire));
        else
            target.sink.Deliver(wire);
    }
}

} // namespace navlet::server
