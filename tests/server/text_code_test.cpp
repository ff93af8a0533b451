// Sessions of both text codes on one service: every text a session relays
// reaches each receiver in the receiver's code, whole characters only.
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "tests/server/service_fixture.h"

namespace navlet::server {
namespace {

const std::string EURO_1252 = "\x80";
const std::string E_ACUTE_1252 = "\xE9";

struct TUser {
    TFakeSink sink;
    TClient client{sink};

    std::vector<std::string> Lines() {
        std::vector<std::string> out;
        for (const TPacket& p : sink.Take(MSG_CHAT_LINE))
            out.push_back(ReadChatLine(p).text);
        return out;
    }
};

class TextCodeTest : public ServiceTest {
  protected:
    void SetUp() override {
        ServiceTest::SetUp();
        Make(TBannerSet{});
        SignIn(utf8.client, "ula", "example.com", TTextCode::Utf8);
        SignIn(ansi.client, "win", "example.com");
        SignIn(utf8Too.client, "tux", "example.com", TTextCode::Utf8);
        for (TUser* u : {&utf8, &ansi, &utf8Too})
            u->sink.got.clear();
    }
    // `text` as the bar's request carries it: cut by the field's width.
    void Say(TUser& from, const std::string& text, ChatId chat = 0) {
        TPacket p;
        ClearPacket(p);
        const int length = BuildChatText(p, MakeChatAddress(0, chat), text);
        p.bytes[OFF_TYPE] = REQ_CHAT_TEXT;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        clock.Advance(5000); // the chat budget refills
        service->Handle(from.client, p);
    }
    TUser utf8, ansi, utf8Too;
};

TEST_F(TextCodeTest, TheOwnRecordConfirmsUtf8OnlyToTheBarThatAskedForIt) {
    TUser asked, old;
    SignIn(asked.client, "ula", "example.com", TTextCode::Utf8);
    SignIn(old.client, "win", "example.com");
    const std::vector<TPacket> askedRecords = asked.sink.Take(MSG_PRESENCE);
    const std::vector<TPacket> oldRecords = old.sink.Take(MSG_PRESENCE);
    ASSERT_FALSE(askedRecords.empty());
    ASSERT_FALSE(oldRecords.empty());
    // The own record (the one with the chat key) comes first.
    EXPECT_NE(ReadPresence(askedRecords.front()).chatKey, 0u);
    EXPECT_EQ(askedRecords.front().Subtype(), TEXT_UTF8);
    EXPECT_EQ(oldRecords.front().Subtype(), 0);
    // Other people's records say nothing of it.
    EXPECT_EQ(askedRecords.back().Subtype(), 0);
}

TEST_F(TextCodeTest, PublicLinesGoOutInEachReceiversCode) {
    Say(ansi, "caf" + E_ACUTE_1252 + " 5" + EURO_1252);
    EXPECT_EQ(utf8.Lines(), std::vector<std::string>{"café 5€"});
    EXPECT_EQ(utf8Too.Lines(), std::vector<std::string>{"café 5€"});

    Say(utf8, "łódź 😀 5€");
    EXPECT_EQ(ansi.Lines(), std::vector<std::string>{"?\xF3"
                                                     "d? ? 5" +
                                                     EURO_1252});
    EXPECT_EQ(utf8Too.Lines(), std::vector<std::string>{"łódź 😀 5€"});
    EXPECT_TRUE(utf8.Lines().empty()); // no echo
}

// The bar's field holds 230 bytes; a sender that cut it mid-character sends
// a broken tail, which goes nowhere, and a broken sequence inside becomes "?".
TEST_F(TextCodeTest, AFullUtf8FieldCutMidCharacterReachesBothCodesAsWholeCharacters) {
    std::string euros = "a";
    for (int i = 0; i < 77; ++i)
        euros += "€";
    ASSERT_GT(euros.size(), size_t(CHAT_TEXT_FIELD)); // 232: the field cuts two bytes of one
    Say(utf8, euros);
    const std::vector<std::string> ansiGot = ansi.Lines();
    ASSERT_EQ(ansiGot.size(), 1u);
    EXPECT_EQ(ansiGot[0], "a" + std::string(76, '\x80'));
    const std::vector<std::string> utf8Got = utf8Too.Lines();
    ASSERT_EQ(utf8Got.size(), 1u);
    EXPECT_EQ(utf8Got[0], euros.substr(0, 1 + 76 * 3));

    Say(utf8, "x\xC3(y\xF0\x9F");
    EXPECT_EQ(ansi.Lines(), std::vector<std::string>{"x?(y"});
    EXPECT_EQ(utf8Too.Lines(), std::vector<std::string>{"x?(y"});
}

// 230 letters of 1252 are 460 bytes of UTF-8: a UTF-8 receiver gets what its
// message holds, cut between characters; a 1252 receiver gets them all back.
TEST_F(TextCodeTest, ALongLatinLineIsCutBetweenCharactersOnlyWhereTheMessageEnds) {
    std::string line;
    for (int i = 0; i < CHAT_TEXT_FIELD - 1; ++i)
        line += E_ACUTE_1252;
    Say(ansi, line);
    const std::vector<std::string> got = utf8.Lines();
    ASSERT_EQ(got.size(), 1u);
    std::string expected;
    for (int i = 0; i < (MAX_PACKET - 33) / 2; ++i)
        expected += "é";
    EXPECT_EQ(got[0], expected);

    // The site's recent lines keep the whole line for newcomers of both codes.
    TUser lateAnsi, lateUtf8;
    SignIn(lateAnsi.client, "win2", "example.com");
    SignIn(lateUtf8.client, "tux2", "example.com", TTextCode::Utf8);
    const std::vector<TPacket> ansiDated = lateAnsi.sink.Take(MSG_DATED_LINE);
    ASSERT_EQ(ansiDated.size(), 1u);
    EXPECT_EQ(ReadDatedLine(ansiDated[0]).text, line);
    const std::vector<TPacket> utf8Dated = lateUtf8.sink.Take(MSG_DATED_LINE);
    ASSERT_EQ(utf8Dated.size(), 1u);
    const std::string dated = ReadDatedLine(utf8Dated[0]).text;
    EXPECT_EQ(dated, expected.substr(0, size_t(MAX_PACKET - 41) / 2 * 2));
}

TEST_F(TextCodeTest, PrivateLinesCallsAndNoticesFollowTheReceiversCode) {
    // A private chat of the UTF-8 bar with the 1252 one.
    const ChatId chat = (utf8.client.chatKey << 8) | 1;
    service->Handle(utf8.client, [&] {
        TPacket p;
        ClearPacket(p);
        const int length = BuildInvite(p, MakeChatAddress(ansi.client.Id(), chat));
        p.bytes[OFF_TYPE] = REQ_INVITE;
        p.PutU16(OFF_LENGTH, uint16_t(length));
        return p;
    }());
    Say(utf8, "cześć", chat);
    EXPECT_EQ(ansi.Lines(), std::vector<std::string>{"cze??"});
    Say(ansi, "s" + E_ACUTE_1252, chat);
    EXPECT_EQ(utf8.Lines(), std::vector<std::string>{"sé"});

    // A call's message: 50 letters of 1252 are 100 bytes of UTF-8, cut to the
    // field between characters.
    TPacket call;
    ClearPacket(call);
    std::string message;
    for (int i = 0; i < CALL_MESSAGE_FIELD - 1; ++i)
        message += E_ACUTE_1252;
    int length = BuildFindUserWithMessage(call, "ula", message);
    call.bytes[OFF_TYPE] = REQ_FIND_USER_WITH_MESSAGE;
    call.PutU16(OFF_LENGTH, uint16_t(length));
    service->Handle(ansi.client, call);
    const std::vector<TPacket> rung = utf8.sink.Take(MSG_LOOKING_FOR_YOU);
    ASSERT_EQ(rung.size(), 1u);
    std::string halfOfIt;
    for (int i = 0; i < (CALL_MESSAGE_FIELD - 1) / 2; ++i)
        halfOfIt += "é";
    EXPECT_EQ(ReadLookingForYou(rung[0]).message, halfOfIt);

    ClearPacket(call);
    length = BuildFindUserWithMessage(call, "win", "żółw");
    call.bytes[OFF_TYPE] = REQ_FIND_USER_WITH_MESSAGE;
    call.PutU16(OFF_LENGTH, uint16_t(length));
    service->Handle(utf8.client, call);
    const std::vector<TPacket> rungAnsi = ansi.sink.Take(MSG_LOOKING_FOR_YOU);
    ASSERT_EQ(rungAnsi.size(), 1u);
    EXPECT_EQ(ReadLookingForYou(rungAnsi[0]).message, "?\xF3?w");

    // The operator types UTF-8; an older tool's 1252 is taken as such.
    EXPECT_EQ(service->Notice(TTarget{}, TNoticeKind::Ticker, 0, "Wartung ł €"), 3);
    EXPECT_EQ(ansi.Lines(), std::vector<std::string>{"Wartung ? " + EURO_1252});
    EXPECT_EQ(utf8.Lines(), std::vector<std::string>{"Wartung ł €"});
    service->Notice(TTarget{}, TNoticeKind::Console, 0, "caf" + E_ACUTE_1252);
    EXPECT_EQ(utf8Too.Lines(), (std::vector<std::string>{"Wartung ł €", "café"}));
    EXPECT_EQ(ansi.Lines(), std::vector<std::string>{"caf" + E_ACUTE_1252});
}

} // namespace
} // namespace navlet::server
