// The scripted bot against a scripted server: what it waits for, what it
// sends, and what it refuses to count.
#include <gtest/gtest.h>

#include <deque>
#include <sstream>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"
#include "tools/chatbot/bot_script.h"

namespace navlet::chatbot {
namespace {

constexpr UserId BOT_ID = 7;
constexpr uint64_t BOT_KEY = 0xABCDEF;
constexpr UserId ALICE = 42;

// A message as the bot's assembler hands it over: plain, verified.
template <typename Write, typename Message>
TPacket Plain(uint8_t type, Write write, const Message& message) {
    TPacket packet;
    ClearPacket(packet);
    EncodePacket(packet, write(packet, message), type, NextKeyOffset());
    DecodePacket(packet);
    return packet;
}

TPacket Presence(UserId user, const std::string& nick, uint64_t key = 0, uint8_t list = 0) {
    return Plain(MSG_PRESENCE, WritePresence, TPresenceMsg{user, list, key, 'f', nick});
}

TPacket Line(UserId sender, ChatId chat, const std::string& text) {
    // The overload that writes a whole message, not one line's fields.
    int (*write)(TPacket&, const TChatLineMsg&) = WriteChatLine;
    return Plain(MSG_CHAT_LINE, write,
                 TChatLineMsg{MakeChatAddress(sender, chat), CHAT_PLAIN, text});
}

// Hands out one batch of packets per receive, and keeps what the bot sends.
// Each receive takes the whole time it is given, so waits end quickly.
class TScriptedLink : public TBotLink {
  public:
    bool Send(const std::string& bytes) override {
        TPacket packet;
        size_t used = 0;
        if (assembler.Next(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), used,
                           packet) != TAssembleResult::Packet ||
            used != bytes.size())
            return false;
        sent.push_back(packet);
        return true;
    }
    bool Receive(TBotSession& session, int timeoutMs) override {
        now += timeoutMs;
        if (arrivals.empty())
            return true;
        for (const TPacket& packet : arrivals.front())
            session.Take(packet);
        arrivals.pop_front();
        return true;
    }
    int64_t NowMs() const override { return now; }

    std::deque<std::vector<TPacket>> arrivals;
    std::vector<TPacket> sent;

  private:
    int64_t now = 0;
    TPacketAssembler assembler;
};

std::vector<TStep> Steps(const std::vector<std::string>& args) {
    std::string error;
    auto steps = ParseSteps(args, 0, error);
    EXPECT_TRUE(steps) << error;
    return steps ? *steps : std::vector<TStep>{};
}

struct TBotFixture : ::testing::Test {
    TBotFixture() {
        session.Take(Presence(BOT_ID, "bot", BOT_KEY));
        EXPECT_TRUE(session.SignedIn());
    }
    bool Run(const std::vector<std::string>& args) {
        TBotScript script(session, link, /*stepTimeoutMs=*/2000);
        return script.Run(Steps(args), report);
    }

    TBotSession session{"bot", "secret", "www.example.com/"};
    TScriptedLink link;
    std::ostringstream report;
};

TEST_F(TBotFixture, ChatsPubliclyThenPrivatelyInAChatOfItsOwnKey) {
    link.arrivals = {
        {Presence(ALICE, "alice")},
        {Line(ALICE, 0, "hello back from the bar")},
        {Plain(MSG_MEMBER_JOINED, WriteMember,
               TMemberMsg{MakeChatAddress(ALICE, BOT_KEY << 8 | 1)}),
         // Another chat's line does not count for this one.
         Line(ALICE, BOT_KEY << 8 | 2, "psst elsewhere")},
        {Line(ALICE, BOT_KEY << 8 | 1, "psst here")},
    };
    EXPECT_TRUE(Run({"--wait-user", "alice", "--say", "hello", "--expect-public", "alice", "back",
                     "--invite", "alice", "--expect-private", "alice", "psst"}))
        << report.str();
    EXPECT_EQ(report.str().find("step 5 expect-private ok"), report.str().find("step 5"));

    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(link.sent[0].Type(), REQ_CHAT_TEXT);
    EXPECT_EQ(ReadChatText(link.sent[0]).address.Chat(), 0u);
    EXPECT_EQ(ReadChatText(link.sent[0]).text, "hello");
    EXPECT_EQ(link.sent[1].Type(), REQ_INVITE);
    EXPECT_EQ(ReadChatAddressRequest(link.sent[1]), MakeChatAddress(ALICE, BOT_KEY << 8 | 1));
    // The private line it waited for came in the chat it made, not the other.
    const auto& lines = session.Lines();
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back().text, "psst here");
}

TEST_F(TBotFixture, WaitsEndAtTheirLimitWithTheReason) {
    link.arrivals = {{Presence(ALICE, "alice")}, {Line(ALICE, 0, "something else")}};
    EXPECT_FALSE(Run({"--expect-public", "alice", "hello", "--say", "never sent"}));
    EXPECT_NE(report.str().find("step 1 expect-public failed: no public line of alice"),
              std::string::npos)
        << report.str();
    EXPECT_TRUE(link.sent.empty());
}

TEST_F(TBotFixture, LinesFromBeforeTheBotCameCountByNick) {
    // The site's recent lines come as dated lines that name their sender.
    link.arrivals = {
        {Presence(ALICE, "alice"),
         Plain(MSG_DATED_LINE, WriteDatedLine, TDatedLineMsg{45000.5, "alice", "hi all"}),
         Plain(MSG_DATED_LINE, WriteDatedLine, TDatedLineMsg{45000.6, "bob", "hello"})}};
    EXPECT_TRUE(Run({"--expect-public", "alice", "hi"})) << report.str();
    EXPECT_FALSE(Run({"--expect-public", "alice", "hello"})) << report.str();
}

TEST_F(TBotFixture, AnInvitationIsTheInvitersChatAndUserLeftEndsPresence) {
    const ChatId theirs = 0x55ull << 8 | 3;
    link.arrivals = {
        {Presence(ALICE, "alice")},
        {Plain(MSG_MEMBER_JOINED, WriteMember, TMemberMsg{MakeChatAddress(ALICE, theirs)}),
         Plain(MSG_MEMBER_JOINED, WriteMember, TMemberMsg{MakeChatAddress(99, theirs)})},
        {Plain(MSG_USER_LEFT, WriteUserLeft, TUserLeftMsg{ALICE})},
    };
    EXPECT_TRUE(
        Run({"--expect-invite", "alice", "--say-private", "thanks", "--wait-gone", "alice"}))
        << report.str();
    ASSERT_EQ(session.Invitations().size(), 1u);
    EXPECT_EQ(session.Invitations()[0].inviter, ALICE);
    ASSERT_EQ(link.sent.size(), 1u);
    EXPECT_EQ(ReadChatText(link.sent[0]).address, MakeChatAddress(BOT_ID, theirs));
}

TEST_F(TBotFixture, ACallSucceedsOnlyWhenTheAnswerSaysCalled) {
    link.arrivals = {
        {Plain(MSG_SEARCH_ANSWER, WriteSearchAnswer, TSearchAnswerMsg{0, "carol", ""})},
        {Plain(MSG_SEARCH_ANSWER, WriteSearchAnswer, TSearchAnswerMsg{1, "alice", ""})}};
    EXPECT_FALSE(Run({"--call", "carol", "come over"}));
    EXPECT_NE(report.str().find("carol is not online"), std::string::npos) << report.str();
    EXPECT_TRUE(Run({"--call", "alice", "come over"})) << report.str();
    ASSERT_EQ(link.sent.size(), 2u);
    EXPECT_EQ(ReadFindUser(link.sent[1]).nick, "alice");
    EXPECT_EQ(ReadFindUser(link.sent[1]).message, "come over");
}

TEST(ChatBotSteps, MissingOrUnknownArgumentsAreRefused) {
    std::string error;
    EXPECT_FALSE(ParseSteps({"--expect-public", "alice"}, 0, error));
    EXPECT_NE(error.find("two arguments"), std::string::npos) << error;
    EXPECT_FALSE(ParseSteps({"--say"}, 0, error));
    EXPECT_FALSE(ParseSteps({"--say", ""}, 0, error));
    EXPECT_FALSE(ParseSteps({"--dance"}, 0, error));
    auto steps = ParseSteps({"--nick", "x", "--wait-user", "bob"}, 2, error);
    ASSERT_TRUE(steps);
    ASSERT_EQ(steps->size(), 1u);
    EXPECT_EQ((*steps)[0].nick, "bob");
}

} // namespace
} // namespace navlet::chatbot
