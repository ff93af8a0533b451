#include "server/cluster/messages/node_messages.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <utility>

#include "protocol/account_rules.h"
#include "protocol/chat_address.h"

namespace navlet::cluster {
namespace {

class TWriter {
  public:
    void U8(uint8_t v) { out.push_back(char(v)); }
    void U16(uint16_t v) { Fixed(v, 2); }
    void U32(uint32_t v) { Fixed(v, 4); }
    void U64(uint64_t v) { Fixed(v, 8); }
    void I32(int32_t v) { Fixed(uint32_t(v), 4); }
    void I64(int64_t v) { Fixed(uint64_t(v), 8); }
    void Bool(bool v) { U8(v ? 1 : 0); }
    void Double(double v) {
        uint64_t bits = 0;
        std::memcpy(&bits, &v, sizeof bits);
        U64(bits);
    }
    void Str(std::string_view v, size_t max) {
        v = v.substr(0, max);
        U16(uint16_t(v.size()));
        out.append(v);
    }
    std::string out;

  private:
    void Fixed(uint64_t v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(char((v >> (8 * i)) & 0xFF));
    }
};

// Reads fields off the front of the bytes; the first error sticks and every
// later read yields zero values.
class TReader {
  public:
    explicit TReader(std::string_view bytes) : rest(bytes) {}

    uint8_t U8() { return uint8_t(Fixed(1)); }
    uint16_t U16() { return uint16_t(Fixed(2)); }
    uint32_t U32() { return uint32_t(Fixed(4)); }
    uint64_t U64() { return Fixed(8); }
    int32_t I32() { return int32_t(uint32_t(Fixed(4))); }
    int64_t I64() { return int64_t(Fixed(8)); }
    bool Bool() {
        uint8_t v = U8();
        Check(v <= 1);
        return v == 1;
    }
    double Double() {
        uint64_t bits = U64();
        double v = 0;
        std::memcpy(&v, &bits, sizeof v);
        Check(std::isfinite(v));
        return ok() ? v : 0;
    }
    std::string Str(size_t max) {
        size_t length = U16();
        if (!ok())
            return {};
        if (length > max) {
            Fail(TNodeDecodeError::BadField);
            return {};
        }
        if (length > rest.size()) {
            Fail(TNodeDecodeError::Truncated);
            return {};
        }
        std::string v(rest.substr(0, length));
        rest.remove_prefix(length);
        return v;
    }
    // A nonzero account or sender id.
    uint64_t Id() {
        uint64_t v = U64();
        Check(v != 0);
        return v;
    }
    // A private chat as the bar numbers them: its low byte is not 0.
    uint64_t Chat() {
        uint64_t v = U64();
        Check(IsPrivateChat(v) && (v & 0xFF) != 0);
        return v;
    }
    std::string Nick() {
        std::string v = Str(size_t(MAX_NICK_LENGTH));
        Check(IsValidNick(v));
        return v;
    }
    std::string Node() {
        std::string v = Str(MAX_NODE_ID);
        Check(IsNodeId(v));
        return v;
    }
    char Gender() {
        char v = char(U8());
        Check(v == 'm' || v == 'f' || v == 'x');
        return v;
    }
    uint8_t Language() {
        uint8_t v = U8();
        Check(v <= MAX_NODE_LANGUAGE);
        return v;
    }
    uint8_t Privacy() {
        uint8_t v = U8();
        Check(v <= MAX_PRIVACY);
        return v;
    }
    uint8_t TargetKind() {
        uint8_t v = U8();
        Check(v <= MAX_TARGET_KIND);
        return v;
    }

    void Check(bool holds) {
        if (!holds)
            Fail(TNodeDecodeError::BadField);
    }
    void Fail(TNodeDecodeError e) {
        if (error == TNodeDecodeError::None)
            error = e;
    }
    bool ok() const { return error == TNodeDecodeError::None; }
    bool AtEnd() const { return rest.empty(); }
    TNodeDecodeError error = TNodeDecodeError::None;

  private:
    uint64_t Fixed(size_t bytes) {
        if (!ok())
            return 0;
        if (rest.size() < bytes) {
            Fail(TNodeDecodeError::Truncated);
            return 0;
        }
        uint64_t v = 0;
        for (size_t i = 0; i < bytes; ++i)
            v |= uint64_t(uint8_t(rest[i])) << (8 * i);
        rest.remove_prefix(bytes);
        return v;
    }
    std::string_view rest;
};

// Each kind's fields, in order: one function writes them, its twin reads.
void Write(TWriter& w, const TUserRecord& m) {
    w.U64(m.id);
    w.U8(uint8_t(m.gender));
    w.Str(m.nick, size_t(MAX_NICK_LENGTH));
}
void Read(TReader& r, TUserRecord& m) {
    m.id = r.Id();
    m.gender = r.Gender();
    m.nick = r.Nick();
}

// The privacy bits close a record, and only when they are not the default:
// a record without them is an older node's, or the default.
void WritePrivacy(TWriter& w, uint8_t bits) {
    if (bits != DEFAULT_PRIVACY)
        w.U8(bits);
}
// Written out, the default would be a second spelling of the same record.
uint8_t ReadPrivacy(TReader& r) {
    if (r.AtEnd())
        return DEFAULT_PRIVACY;
    uint8_t bits = r.Privacy();
    r.Check(bits != DEFAULT_PRIVACY);
    return bits;
}

void Write(TWriter& w, const TSiteEntered& m) {
    Write(w, m.user);
    WritePrivacy(w, m.privacy);
}
void Read(TReader& r, TSiteEntered& m) {
    Read(r, m.user);
    m.privacy = ReadPrivacy(r);
}

void Write(TWriter& w, const TSiteLeft& m) {
    w.U64(m.user);
}
void Read(TReader& r, TSiteLeft& m) {
    m.user = r.Id();
}

void Write(TWriter& w, const TSiteLine& m) {
    w.U64(m.sender);
    w.U8(m.language);
    w.Str(m.nick, size_t(MAX_NICK_LENGTH));
    w.Str(m.text, MAX_NODE_TEXT);
}
void Read(TReader& r, TSiteLine& m) {
    m.sender = r.Id();
    m.language = r.Language();
    m.nick = r.Nick();
    m.text = r.Str(MAX_NODE_TEXT);
}

void Write(TWriter& w, const TInvite& m) {
    w.U64(m.chat);
    w.U64(m.inviter);
    w.Str(m.host, MAX_NODE_HOST);
    size_t count = std::min(m.members.size(), MAX_CHAT_MEMBERS);
    w.U16(uint16_t(count));
    for (size_t i = 0; i < count; ++i) {
        w.U64(m.members[i].user);
        w.Str(m.members[i].node, MAX_NODE_ID);
    }
    w.U64(m.invitee);
}
void Read(TReader& r, TInvite& m) {
    m.chat = r.Chat();
    m.inviter = r.Id();
    m.host = r.Str(MAX_NODE_HOST);
    size_t count = r.U16();
    r.Check(count >= 1 && count <= MAX_CHAT_MEMBERS);
    for (size_t i = 0; r.ok() && i < count; ++i) {
        TChatMember member;
        member.user = r.Id();
        member.node = r.Node();
        m.members.push_back(std::move(member));
    }
    m.invitee = r.Id();
}

void Write(TWriter& w, const TInviteFailed& m) {
    w.U64(m.chat);
    w.U64(m.inviter);
    w.U64(m.invitee);
}
void Read(TReader& r, TInviteFailed& m) {
    m.chat = r.Chat();
    m.inviter = r.Id();
    m.invitee = r.Id();
}

void Write(TWriter& w, const TChatJoined& m) {
    w.U64(m.chat);
    w.U64(m.user);
}
void Read(TReader& r, TChatJoined& m) {
    m.chat = r.Chat();
    m.user = r.Id();
}

void Write(TWriter& w, const TChatLine& m) {
    w.U64(m.chat);
    w.U64(m.sender);
    w.Str(m.text, MAX_NODE_TEXT);
}
void Read(TReader& r, TChatLine& m) {
    m.chat = r.Chat();
    m.sender = r.Id();
    m.text = r.Str(MAX_NODE_TEXT);
}

void Write(TWriter& w, const TChatLeft& m) {
    w.U64(m.chat);
    w.U64(m.user);
    w.Str(m.host, MAX_NODE_HOST);
    w.Bool(m.leavesSite);
}
void Read(TReader& r, TChatLeft& m) {
    m.chat = r.Chat();
    m.user = r.Id();
    m.host = r.Str(MAX_NODE_HOST);
    m.leavesSite = r.Bool();
}

void Write(TWriter& w, const TTrim& m) {
    w.U64(m.account);
    w.I64(m.signedInUs);
}
void Read(TReader& r, TTrim& m) {
    m.account = r.Id();
    m.signedInUs = r.I64();
}

void Write(TWriter& w, const TCall& m) {
    w.U64(m.target);
    w.Bool(m.withMessage);
    w.Str(m.callerNick, size_t(MAX_NICK_LENGTH));
    w.Str(m.message, MAX_NODE_TEXT);
    w.Str(m.callerSite, MAX_NODE_TEXT);
    w.U64(m.callerId);
    w.Bool(m.keep);
}
void Read(TReader& r, TCall& m) {
    m.target = r.Id();
    m.withMessage = r.Bool();
    m.callerNick = r.Nick();
    m.message = r.Str(MAX_NODE_TEXT);
    m.callerSite = r.Str(MAX_NODE_TEXT);
    m.callerId = r.Id();
    m.keep = r.Bool();
}

void Write(TWriter& w, const TOperatorCount& m) {
    w.U64(m.request);
    w.I32(m.count);
}
void Read(TReader& r, TOperatorCount& m) {
    m.request = r.Id();
    m.count = r.I32();
    r.Check(m.count >= -1);
}

void Write(TWriter& w, const TOperatorLine& m) {
    w.U8(m.targetKind);
    w.Str(m.name, MAX_TARGET_NAME);
    w.U16(m.chat);
    w.U8(m.command);
    w.Str(m.text, MAX_NODE_TEXT);
    w.U64(m.request);
}
void Read(TReader& r, TOperatorLine& m) {
    m.targetKind = r.TargetKind();
    m.name = r.Str(MAX_TARGET_NAME);
    m.chat = r.U16();
    m.command = r.U8();
    m.text = r.Str(MAX_NODE_TEXT);
    m.request = r.U64();
}

void Write(TWriter& w, const TOperatorKick& m) {
    w.U8(m.targetKind);
    w.Str(m.name, MAX_TARGET_NAME);
    w.U64(m.request);
}
void Read(TReader& r, TOperatorKick& m) {
    m.targetKind = r.TargetKind();
    m.name = r.Str(MAX_TARGET_NAME);
    m.request = r.U64();
}

void Write(TWriter& w, const TFriendState& m) {
    Write(w, m.user);
    w.U8(m.online ? 1 : 0);
}
void Read(TReader& r, TFriendState& m) {
    Read(r, m.user);
    const uint8_t online = r.U8();
    r.Check(online <= 1);
    m.online = online == 1;
}

void Write(TWriter& w, const TMarkChange& m) {
    Write(w, m.owner);
    Write(w, m.target);
    w.U8(m.mark);
}
void Read(TReader& r, TMarkChange& m) {
    Read(r, m.owner);
    Read(r, m.target);
    m.mark = r.U8();
    r.Check(m.mark <= 2 && m.owner.id != m.target.id);
}

void Write(TWriter& w, const TRestrictionsChanged& m) {
    w.U64(m.account);
    w.Str(m.reason, MAX_NODE_TEXT);
    w.U64(m.request);
}
void Read(TReader& r, TRestrictionsChanged& m) {
    m.account = r.U64();
    m.reason = r.Str(MAX_NODE_TEXT);
    m.request = r.U64();
    r.Check(m.account != 0 || m.reason.empty());
}

void Write(TWriter& w, const TPrivacyChange& m) {
    w.U64(m.account);
    w.U8(m.privacy);
}
void Read(TReader& r, TPrivacyChange& m) {
    m.account = r.Id();
    m.privacy = r.Privacy();
}

void Write(TWriter& w, const TPresenceRecord& m) {
    Write(w, m.user);
    WritePrivacy(w, m.privacy);
}
void Read(TReader& r, TPresenceRecord& m) {
    Read(r, m.user);
    m.privacy = ReadPrivacy(r);
}

void Write(TWriter& w, const TKeptLine& m) {
    w.Double(m.stamp);
    w.U8(m.language);
    w.Str(m.nick, size_t(MAX_NICK_LENGTH));
    w.Str(m.text, MAX_NODE_TEXT);
}
void Read(TReader& r, TKeptLine& m) {
    m.stamp = r.Double();
    m.language = r.Language();
    m.nick = r.Nick();
    m.text = r.Str(MAX_NODE_TEXT);
}

void Write(TWriter& w, const TWhereRecord& m) {
    w.U32(m.count);
    w.I64(m.oldestUs);
    w.I64(m.latestUs);
    WritePrivacy(w, m.privacy);
}
void Read(TReader& r, TWhereRecord& m) {
    m.count = r.U32();
    r.Check(m.count >= 1 && m.count <= MAX_WHERE_COUNT);
    m.oldestUs = r.I64();
    m.latestUs = r.I64();
    m.privacy = ReadPrivacy(r);
}

void Write(TWriter& w, const TSessionRecord& m) {
    w.Str(m.nick, size_t(MAX_NICK_LENGTH));
    w.U64(m.account);
    w.Str(m.host, MAX_NODE_HOST);
}
void Read(TReader& r, TSessionRecord& m) {
    m.nick = r.Nick();
    m.account = r.Id();
    m.host = r.Str(MAX_NODE_HOST);
}

void Write(TWriter& w, const TSiteUsersRecord& m) {
    w.U32(m.users);
}
void Read(TReader& r, TSiteUsersRecord& m) {
    m.users = r.U32();
}

// The kind byte is the alternative's place in TNodeMessage, plus one.
using TReadFn = void (*)(TReader&, TNodeMessage&);

template <size_t I> void ReadAlternative(TReader& r, TNodeMessage& out) {
    std::variant_alternative_t<I, TNodeMessage> value;
    Read(r, value);
    out = std::move(value);
}

template <size_t... I>
constexpr std::array<TReadFn, sizeof...(I)> MakeReaders(std::index_sequence<I...>) {
    return {&ReadAlternative<I>...};
}

constexpr auto READERS = MakeReaders(std::make_index_sequence<std::variant_size_v<TNodeMessage>>{});

} // namespace

bool IsNodeId(std::string_view text) {
    if (text.empty() || text.size() > MAX_NODE_ID)
        return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

std::string EncodeNodeMessage(std::string_view from, const TNodeMessage& message) {
    TWriter w;
    w.U8(uint8_t(message.index() + 1));
    w.Str(from, MAX_NODE_ID);
    std::visit([&](const auto& m) { Write(w, m); }, message);
    return std::move(w.out);
}

std::string EncodeNodeMessage(const TNodeEnvelope& envelope) {
    return EncodeNodeMessage(envelope.from, envelope.message);
}

TNodeDecodeError DecodeNodeMessage(std::string_view bytes, TNodeEnvelope& out) {
    if (bytes.size() > MAX_NODE_MESSAGE)
        return TNodeDecodeError::TooLong;
    if (bytes.empty() || uint8_t(bytes[0]) == 0 || uint8_t(bytes[0]) > READERS.size())
        return TNodeDecodeError::UnknownKind;
    TReader r(bytes.substr(1));
    out.from = r.Str(MAX_NODE_ID);
    r.Check(out.from.empty() || IsNodeId(out.from));
    READERS[uint8_t(bytes[0]) - 1](r, out.message);
    if (r.ok() && !r.AtEnd())
        r.Fail(TNodeDecodeError::Trailing);
    return r.error;
}

} // namespace navlet::cluster
