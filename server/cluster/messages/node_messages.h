// What the nodes of a cluster tell each other through Redis, as values: the
// messages they publish on its channels and the records they keep in its
// keys. One pure codec turns them into bytes and back; what it decodes came
// from another process, so every field is bounded and checked here, and a
// decoded value is one that the sender could have written.
//
// Bytes: a kind byte, the sending node's id, then the kind's fields in a
// fixed order. Integers are little-endian of fixed width; a string is a
// 16-bit length and its bytes; a list is a 16-bit count and its items. The
// format is this build's own: every node of one cluster runs the same build.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace navlet::cluster {

inline constexpr size_t MAX_NODE_MESSAGE = 8192;
inline constexpr size_t MAX_NODE_ID = 32;      // lower-case hex digits
inline constexpr size_t MAX_NODE_TEXT = 1024;  // a line, a call's message, a page
inline constexpr size_t MAX_NODE_HOST = 1024;  // a site's host
inline constexpr size_t MAX_TARGET_NAME = 255; // an operator's nick or host
inline constexpr size_t MAX_CHAT_MEMBERS = 64; // listed in one invitation
inline constexpr int MAX_NODE_LANGUAGE = 13;   // profile languages 0 to 13
inline constexpr uint8_t MAX_TARGET_KIND = 2;  // all, user, site
inline constexpr uint16_t MAX_OPERATOR_CHAT = 0xFFFF;

// An account's privacy bits as the bar sets them (1 invisible, 2 visible to
// friends, 4 tells its friends where it is). Nodes of older builds send
// none: they mean DEFAULT_PRIVACY. A node writes them only when they are
// not the default, so that an older node reads every default record.
inline constexpr uint8_t DEFAULT_PRIVACY = 4;
inline constexpr uint8_t MAX_PRIVACY = 7;

// An account as other nodes show it: never its password or language.
struct TUserRecord {
    uint64_t id = 0; // not 0
    char gender = 'x';
    std::string nick; // a valid nick
    bool operator==(const TUserRecord&) const = default;
};

// On a site's channel: an account became present through the sender.
struct TSiteEntered {
    TUserRecord user;
    uint8_t privacy = DEFAULT_PRIVACY;
    bool operator==(const TSiteEntered&) const = default;
};
// ... its last session there left the site.
struct TSiteLeft {
    uint64_t user = 0;
    bool operator==(const TSiteLeft&) const = default;
};
// ... a public line said there.
struct TSiteLine {
    uint64_t sender = 0;
    uint8_t language = 0;
    std::string nick;
    std::string text;
    bool operator==(const TSiteLine&) const = default;
};

// A member of a private chat and the node it is signed in on.
struct TChatMember {
    uint64_t user = 0;
    std::string node;
    bool operator==(const TChatMember&) const = default;
};

// To the invitee's node: open the chat for the invitee. `members` lists the
// chat's members, the inviter first (on the sender).
struct TInvite {
    uint64_t chat = 0; // a private chat id whose low byte is not 0
    uint64_t inviter = 0;
    std::string host; // the inviter's site
    std::vector<TChatMember> members;
    uint64_t invitee = 0;
    bool operator==(const TInvite&) const = default;
};
// Back to the inviter's node: the invitee had no session to open it in.
struct TInviteFailed {
    uint64_t chat = 0;
    uint64_t inviter = 0;
    uint64_t invitee = 0;
    bool operator==(const TInviteFailed&) const = default;
};
// To the other members' nodes: a member on the sender joined ...
struct TChatJoined {
    uint64_t chat = 0;
    uint64_t user = 0;
    bool operator==(const TChatJoined&) const = default;
};
// ... said a line ...
struct TChatLine {
    uint64_t chat = 0;
    uint64_t sender = 0;
    std::string text;
    bool operator==(const TChatLine&) const = default;
};
// ... or left; `leavesSite` when it left `host` as well.
struct TChatLeft {
    uint64_t chat = 0;
    uint64_t user = 0;
    std::string host;
    bool leavesSite = false;
    bool operator==(const TChatLeft&) const = default;
};
// To the node of an account's oldest session: end it when it signed in no
// later than `signedInUs` (one window too many across the cluster).
struct TTrim {
    uint64_t account = 0;
    int64_t signedInUs = 0;
    bool operator==(const TTrim&) const = default;
};
// To a node where `target` is signed in: a search or a "looking for you".
struct TCall {
    uint64_t target = 0;
    bool withMessage = false;
    std::string callerNick;
    std::string message;
    std::string callerSite;
    uint64_t callerId = 0;
    // The one node of those called that keeps a message for the target's next
    // sign-in when the target has just gone from there and is online nowhere.
    bool keep = false;
    bool operator==(const TCall&) const = default;
};
// To an operator command's node: how many sessions the sender reached
// (-1: it does not know the target user).
struct TOperatorCount {
    uint64_t request = 0;
    int32_t count = 0;
    bool operator==(const TOperatorCount&) const = default;
};

// On the operator channel: a line for the users of a target (kind 0 all,
// 1 user `name`, 2 site `name`); `request` not 0 asks for a TOperatorCount.
struct TOperatorLine {
    uint8_t targetKind = 0;
    std::string name;
    uint16_t chat = 0;
    uint8_t command = 0;
    std::string text;
    uint64_t request = 0;
    bool operator==(const TOperatorLine&) const = default;
};
// ... the operator's KICK.
struct TOperatorKick {
    uint8_t targetKind = 0;
    std::string name;
    uint64_t request = 0;
    bool operator==(const TOperatorKick&) const = default;
};

// On the operator channel: an account came online in the cluster (its
// first session anywhere) or went offline (its last one ended); each node
// tells its own sessions that list it as a friend.
struct TFriendState {
    TUserRecord user;
    bool online = false;
    bool operator==(const TFriendState&) const = default;
};

// On the operator channel: `owner` marked `target` (0 none, 1 ignores,
// 2 blocks); each node changes the two accounts as it holds them and what
// its sessions of them see.
struct TMarkChange {
    TUserRecord owner;
    TUserRecord target;
    uint8_t mark = 0;
    bool operator==(const TMarkChange&) const = default;
};

// On the operator channel: an operator changed the bans, disabled or muted
// sites; each node reloads them from the store and ends its sessions they
// now stop, and those of `account` (0: none) with `reason`. With a request
// number the node answers how many it ended.
struct TRestrictionsChanged {
    uint64_t account = 0;
    std::string reason;
    uint64_t request = 0;
    bool operator==(const TRestrictionsChanged&) const = default;
};

// On the operator channel: the account set its privacy bits; each node
// with sessions of it applies them to those (whom its sites list, whom
// searches find).
struct TPrivacyChange {
    uint64_t account = 0;
    uint8_t privacy = DEFAULT_PRIVACY;
    bool operator==(const TPrivacyChange&) const = default;
};

// Kept in navlet:presence:HOST, by NODE:ACCOUNT.
struct TPresenceRecord {
    TUserRecord user;
    uint8_t privacy = DEFAULT_PRIVACY;
    bool operator==(const TPresenceRecord&) const = default;
};
// Kept in navlet:lines:HOST: a public line with its date (days since
// 30 December 1899, a finite number).
struct TKeptLine {
    double stamp = 0;
    uint8_t language = 0;
    std::string nick;
    std::string text;
    bool operator==(const TKeptLine&) const = default;
};
// Kept in navlet:where:ACCOUNT, by node: the account's sessions there, when
// the oldest signed in and the latest was active (wall-clock microseconds).
struct TWhereRecord {
    uint32_t count = 0; // 1 to MAX_WHERE_COUNT
    int64_t oldestUs = 0;
    int64_t latestUs = 0;
    uint8_t privacy = DEFAULT_PRIVACY; // the account's, as this node holds it
    bool operator==(const TWhereRecord&) const = default;
};
inline constexpr uint32_t MAX_WHERE_COUNT = 1000;
// Kept in navlet:node-users:ID, by session: for the operator's USERS.
struct TSessionRecord {
    std::string nick;
    uint64_t account = 0;
    std::string host; // empty: on no site
    bool operator==(const TSessionRecord&) const = default;
};
// Kept in navlet:node-sites:ID, by host: the node's accounts there.
struct TSiteUsersRecord {
    uint32_t users = 0;
    bool operator==(const TSiteUsersRecord&) const = default;
};

using TNodeMessage =
    std::variant<TSiteEntered, TSiteLeft, TSiteLine, TInvite, TInviteFailed, TChatJoined, TChatLine,
                 TChatLeft, TTrim, TCall, TOperatorCount, TOperatorLine, TOperatorKick,
                 TPresenceRecord, TKeptLine, TWhereRecord, TSessionRecord, TSiteUsersRecord,
                 TFriendState, TMarkChange, TRestrictionsChanged,
                 TPrivacyChange>; // new kinds go last: a kind's byte never changes

// A receiver of node messages visits them with one overload per kind it
// handles and TIgnoreKinds for those it lets pass. There is no catch-all,
// so a kind added to TNodeMessage that a receiver neither handles nor
// ignores fails to compile, naming the kind.
template <typename... Fns> struct TOverloaded : Fns... { using Fns::operator()...; };
template <typename... Fns> TOverloaded(Fns...) -> TOverloaded<Fns...>;
template <typename Kind> struct TIgnoreKind {
    void operator()(const Kind&) const {}
};
template <typename... Kinds> struct TIgnoreKinds : TIgnoreKind<Kinds>... {
    using TIgnoreKind<Kinds>::operator()...;
};
// The kinds kept in Redis's keys: no channel carries them.
using TIgnoreRecords =
    TIgnoreKinds<TPresenceRecord, TKeptLine, TWhereRecord, TSessionRecord, TSiteUsersRecord>;

// A message with the node that wrote it (empty in records, which their key
// places).
struct TNodeEnvelope {
    std::string from;
    TNodeMessage message;
    bool operator==(const TNodeEnvelope&) const = default;
};

enum class TNodeDecodeError {
    None,
    TooLong,     // over MAX_NODE_MESSAGE
    UnknownKind, // empty, or a kind byte this build does not know
    Truncated,   // a field runs past the end
    BadField,    // a field out of its bounds or rules
    Trailing,    // bytes after the last field
};

// Writes the message. Strings longer than their field's bound are cut to
// it, so that what a node writes is always read back; a value that breaks
// another rule (a zero id, an invalid nick) is written as it is and refused
// by the reader.
std::string EncodeNodeMessage(const TNodeEnvelope& envelope);
std::string EncodeNodeMessage(std::string_view from, const TNodeMessage& message);

// Reads exactly `bytes` as one message; `out` is meaningful only with None.
// Reads nothing past `bytes`.
TNodeDecodeError DecodeNodeMessage(std::string_view bytes, TNodeEnvelope& out);

// A record of kind T read from a Redis value: false when the bytes are not
// exactly one.
template <typename T> bool DecodeNodeRecord(std::string_view bytes, T& out) {
    TNodeEnvelope envelope;
    if (DecodeNodeMessage(bytes, envelope) != TNodeDecodeError::None)
        return false;
    T* record = std::get_if<T>(&envelope.message);
    if (!record)
        return false;
    out = std::move(*record);
    return true;
}

// A node id as nodes make them: 1 to MAX_NODE_ID lower-case hex digits.
bool IsNodeId(std::string_view text);

} // namespace navlet::cluster
