// The nodes' messages and records: each kind reads back as it was written,
// and bytes that no node of this build writes are refused with a reason.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "server/cluster/messages/node_messages.h"

namespace navlet::cluster {
namespace {

const std::string NODE = "0123456789abcdef";
const uint64_t CHAT = 0xFFFFFFFFFFFFFF01; // the key's 56 bits set: all 64 bits used
const TUserRecord BOB{900, 'm', "bob"};

// One message of every kind, with fields at their edges where they have one.
std::vector<TNodeEnvelope> OneOfEachKind() {
    std::vector<TChatMember> members{{900, NODE}, {901, "aa"}};
    return {
        {NODE, TSiteEntered{BOB}},
        {NODE, TSiteLeft{UINT64_MAX}},
        {NODE, TSiteLine{900, 13, "bob", std::string("caf\xe9 \0 12:x", 11)}},
        {NODE, TInvite{CHAT, 900, "example.com", members, 77}},
        {NODE, TInviteFailed{CHAT, 900, 77}},
        {NODE, TChatJoined{CHAT, 77}},
        {NODE, TChatLine{CHAT, 77, std::string(MAX_NODE_TEXT, 'x')}},
        {NODE, TChatLeft{CHAT, 77, "example.com", true}},
        {NODE, TTrim{77, -5}},
        {NODE, TCall{77, true, "alice", "call me", "one.com/page", 78, true}},
        {NODE, TOperatorCount{3, -1}},
        {NODE, TOperatorLine{1, "BOB", 0xFFFF, 255, "just you", 0}},
        {NODE, TOperatorKick{2, "two.com", 9}},
        {"", TPresenceRecord{{1, 'f', "a.b-c_9"}}},
        {"", TKeptLine{45000.5, 0, "carol", ""}},
        {"", TWhereRecord{MAX_WHERE_COUNT, 1, INT64_MAX}},
        {"", TSessionRecord{"dave", 4, ""}},
        {"", TSiteUsersRecord{0}},
        {NODE, TFriendState{{5, 'm', "bob"}, true}},
        {NODE, TMarkChange{{5, 'm', "bob"}, {6, 'f', "ann"}, 2}},
        {NODE, TRestrictionsChanged{7, "You are banned.", 3}},
        {NODE, TPrivacyChange{8, MAX_PRIVACY}},
    };
}

TEST(NodeMessages, EveryKindReadsBackAsWritten) {
    std::set<size_t> kinds;
    for (const TNodeEnvelope& message : OneOfEachKind()) {
        kinds.insert(message.message.index());
        std::string bytes = EncodeNodeMessage(message);
        TNodeEnvelope back;
        ASSERT_EQ(DecodeNodeMessage(bytes, back), TNodeDecodeError::None)
            << "kind " << message.message.index();
        EXPECT_EQ(back, message) << "kind " << message.message.index();

        // Every shorter prefix runs out, one byte more is left over.
        for (size_t cut = 1; cut < bytes.size(); ++cut)
            EXPECT_EQ(DecodeNodeMessage(std::string_view(bytes).substr(0, cut), back),
                      TNodeDecodeError::Truncated)
                << "kind " << message.message.index() << " cut at " << cut;
        // A record that may close with privacy bits takes one byte more as them.
        const bool privacyTail = std::holds_alternative<TSiteEntered>(message.message) ||
                                 std::holds_alternative<TPresenceRecord>(message.message) ||
                                 std::holds_alternative<TWhereRecord>(message.message);
        EXPECT_EQ(DecodeNodeMessage(bytes + std::string(privacyTail ? 2 : 1, '\0'), back),
                  TNodeDecodeError::Trailing);
    }
    EXPECT_EQ(kinds.size(), std::variant_size_v<TNodeMessage>);
}

// The privacy bits close the records that announce a session or its site,
// and only when they are not the default: an older node's record (without
// them) reads as visible and telling friends, and an older node, which
// takes no byte more, reads this node's default records.
TEST(NodeMessages, PrivacyBitsCloseTheRecordsOnlyWhenNotTheDefault) {
    const std::string plain = EncodeNodeMessage(NODE, TSiteEntered{BOB});
    const std::string invisible = EncodeNodeMessage(NODE, TSiteEntered{BOB, 1});
    EXPECT_EQ(plain, EncodeNodeMessage(NODE, TSiteEntered{BOB, DEFAULT_PRIVACY}));
    EXPECT_EQ(invisible, plain + '\1');
    TNodeEnvelope back;
    ASSERT_EQ(DecodeNodeMessage(invisible, back), TNodeDecodeError::None);
    EXPECT_EQ(std::get<TSiteEntered>(back.message).privacy, 1);
    ASSERT_EQ(DecodeNodeMessage(plain, back), TNodeDecodeError::None);
    EXPECT_EQ(std::get<TSiteEntered>(back.message).privacy, DEFAULT_PRIVACY);
    const std::vector<TNodeEnvelope> records{{"", TPresenceRecord{BOB, 0}},
                                             {"", TWhereRecord{2, 10, 20, 3}},
                                             {"", TWhereRecord{2, 10, 20}}};
    for (const TNodeEnvelope& record : records) {
        ASSERT_EQ(DecodeNodeMessage(EncodeNodeMessage(record), back), TNodeDecodeError::None);
        EXPECT_EQ(back, record);
    }
    EXPECT_EQ(DecodeNodeMessage(plain + '\x08', back), TNodeDecodeError::BadField);
    // The default written out would be a second spelling of the same record.
    EXPECT_EQ(DecodeNodeMessage(plain + char(DEFAULT_PRIVACY), back), TNodeDecodeError::BadField);
}

TEST(NodeMessages, RecordsAreReadOnlyAsTheirOwnKind) {
    std::string bytes = EncodeNodeMessage("", TWhereRecord{2, 10, 20});
    TWhereRecord where;
    ASSERT_TRUE(DecodeNodeRecord(bytes, where));
    EXPECT_EQ(where, (TWhereRecord{2, 10, 20}));
    TPresenceRecord presence;
    EXPECT_FALSE(DecodeNodeRecord(bytes, presence));
    EXPECT_FALSE(DecodeNodeRecord("2 10 20", where)); // an older build's text
}

TEST(NodeMessages, OverlongStringsAreCutToTheirBoundOnTheWayOut) {
    TNodeEnvelope back;
    std::string bytes = EncodeNodeMessage(NODE, TChatLine{CHAT, 77, std::string(5000, 'y')});
    ASSERT_EQ(DecodeNodeMessage(bytes, back), TNodeDecodeError::None);
    EXPECT_EQ(std::get<TChatLine>(back.message).text, std::string(MAX_NODE_TEXT, 'y'));
}

// Values that no node of this build writes: each is refused as a bad field.
TEST(NodeMessages, FieldsOutsideTheirRulesAreRefused) {
    std::vector<std::pair<const char*, TNodeEnvelope>> bad{
        {"zero user", {NODE, TSiteLeft{0}}},
        {"bad nick", {NODE, TSiteEntered{{900, 'm', "bo b"}}}},
        {"empty nick", {NODE, TSiteLine{900, 0, "", "hi"}}},
        {"bad gender", {NODE, TSiteEntered{{900, 'q', "bob"}}}},
        {"language 14", {NODE, TSiteLine{900, 14, "bob", "hi"}}},
        {"public chat id", {NODE, TChatJoined{0x01, 77}}},
        {"chat number 0", {NODE, TChatJoined{CHAT & ~uint64_t(0xFF), 77}}},
        {"no members", {NODE, TInvite{CHAT, 900, "h", {}, 77}}},
        {"member's node", {NODE, TInvite{CHAT, 900, "h", {{900, "NODE"}}, 77}}},
        {"sender's node", {"not-hex", TSiteLeft{900}}},
        {"target kind", {NODE, TOperatorKick{3, "x", 0}}},
        {"count below -1", {NODE, TOperatorCount{1, -2}}},
        {"no request", {NODE, TOperatorCount{0, 1}}},
        {"no caller", {NODE, TCall{77, true, "alice", "call me", "", 0, false}}},
        {"no sessions", {"", TWhereRecord{0, 1, 2}}},
        {"too many sessions", {"", TWhereRecord{MAX_WHERE_COUNT + 1, 1, 2}}},
        {"no date", {"", TKeptLine{std::nan(""), 0, "bob", "hi"}}},
        {"endless date", {"", TKeptLine{INFINITY, 0, "bob", "hi"}}},
        {"unknown mark", {NODE, TMarkChange{{5, 'm', "bob"}, {6, 'f', "ann"}, 3}}},
        {"marking oneself", {NODE, TMarkChange{{5, 'm', "bob"}, {5, 'm', "bob"}, 1}}},
        {"a reason for nobody", {NODE, TRestrictionsChanged{0, "You are banned.", 0}}},
        {"privacy of nobody", {NODE, TPrivacyChange{0, 1}}},
        {"privacy bits no bar sets", {NODE, TPrivacyChange{5, MAX_PRIVACY + 1}}},
        {"where bits no bar sets", {"", TWhereRecord{1, 1, 2, MAX_PRIVACY + 1}}},
    };
    for (const auto& [why, message] : bad) {
        TNodeEnvelope back;
        EXPECT_EQ(DecodeNodeMessage(EncodeNodeMessage(message), back), TNodeDecodeError::BadField)
            << why;
    }
}

TEST(NodeMessages, BytesNoNodeWritesAreRefused) {
    TNodeEnvelope back;
    EXPECT_EQ(DecodeNodeMessage("", back), TNodeDecodeError::UnknownKind);
    EXPECT_EQ(DecodeNodeMessage(std::string(1, '\0'), back), TNodeDecodeError::UnknownKind);
    EXPECT_EQ(DecodeNodeMessage("\x7f", back), TNodeDecodeError::UnknownKind);
    EXPECT_EQ(DecodeNodeMessage("4:line", back), TNodeDecodeError::UnknownKind); // older fields
    EXPECT_EQ(DecodeNodeMessage(std::string(MAX_NODE_MESSAGE + 1, '\1'), back),
              TNodeDecodeError::TooLong);

    // A length that claims more than its field may hold, or than is there.
    std::string line = EncodeNodeMessage(NODE, TChatLine{CHAT, 77, "hi"});
    std::string longer = line;
    size_t lengthAt = line.size() - 4; // the text's 16-bit length
    longer[lengthAt] = char(0xFF), longer[lengthAt + 1] = char(0x03);
    EXPECT_EQ(DecodeNodeMessage(longer, back), TNodeDecodeError::Truncated);
    longer[lengthAt + 1] = char(0x04); // 1279 > MAX_NODE_TEXT
    EXPECT_EQ(DecodeNodeMessage(longer, back), TNodeDecodeError::BadField);

    // A flag is 0 or 1.
    std::string left = EncodeNodeMessage(NODE, TChatLeft{CHAT, 77, "", false});
    left.back() = 2;
    EXPECT_EQ(DecodeNodeMessage(left, back), TNodeDecodeError::BadField);
}

} // namespace
} // namespace navlet::cluster
