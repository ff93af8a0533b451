// A bar whose host speaks UTF-8 asks the server for it, and keeps to
// Windows-1252 with a server that does not agree; a 1252 host never asks.
#include <gtest/gtest.h>

#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

class TextCodeTest : public SessionTest {
  protected:
    // A UTF-8 host's bar, connected; the server's own record answers with
    // `agreed` in its subtype.
    TNavlet& SignedIn(TTextCode host, uint8_t agreed) {
        tk.metrics.code = host;
        StoreLogin();
        TNavlet& b = ShownBar();
        Socket().AcceptConnection();
        const std::vector<TPacket> sent = Socket().SentPackets();
        EXPECT_FALSE(sent.empty());
        if (!sent.empty()) {
            EXPECT_EQ(sent.front().Type(), REQ_LOGIN);
            loginSubtype = sent.front().Subtype();
        }
        TPresenceMsg own;
        own.user = 7;
        own.chatKey = 0x123456;
        own.nick = "alice";
        Socket().Feed(Packed(MSG_PRESENCE, [&](TPacket& p) {
            const int length = WritePresence(p, own);
            p.bytes[OFF_SUBTYPE] = agreed;
            return length;
        }));
        Feed(Bob());
        Socket().ClearSent();
        return b;
    }
    std::string LastPublicLine(TNavlet& b) {
        const auto& lines = b.PageControl.Page(0).view->Lines();
        return lines.empty() ? "" : lines.back().runs.back().text;
    }
    // What the bar sends when `typed` is typed and sent.
    std::string Sent(TNavlet& b, const std::string& typed) {
        b.Edit1Enter();
        b.Edit1.OnTyped(typed, 0);
        b.sbSendTxtClick();
        tk.time.Advance(3000); // the send pause
        for (const TPacket& p : Socket().SentPackets())
            if (p.Type() == REQ_CHAT_TEXT)
                return ReadChatText(p).text;
        return "(nothing sent)";
    }
    void Hear(const std::string& text) {
        Feed(TChatLineMsg{MakeChatAddress(9, 0), CHAT_PLAIN, text});
    }
    uint8_t loginSubtype = 0xFF;
};

TEST_F(TextCodeTest, AUtf8BarOnAServerThatAgreesSendsAndShowsEveryScript) {
    TNavlet& b = SignedIn(TTextCode::Utf8, TEXT_UTF8);
    EXPECT_EQ(loginSubtype, TEXT_UTF8);
    Hear("łódź 😀 ığş");
    EXPECT_EQ(LastPublicLine(b), "łódź 😀 ığş");
    // Bytes that are controls in 1252 are parts of letters here ("”" ends in
    // 0x9D); real controls, C0 and C1, still become blanks.
    Hear("“ok” a\tb\xC2\x9D"
         "c");
    EXPECT_EQ(LastPublicLine(b), "“ok” a b c");
    // A line cut mid-character by a careless sender shows whole characters.
    Hear("ab\xC5");
    EXPECT_EQ(LastPublicLine(b), "ab");
    EXPECT_EQ(Sent(b, "cześć 😀"), "cześć 😀");
}

TEST_F(TextCodeTest, AUtf8BarOnAnOlderServerConvertsBothWays) {
    TNavlet& b = SignedIn(TTextCode::Utf8, /*agreed=*/0);
    EXPECT_EQ(loginSubtype, TEXT_UTF8);
    Hear("caf\xE9 \x80");
    EXPECT_EQ(LastPublicLine(b), "café €");
    EXPECT_EQ(Sent(b, "łódź €"), "?\xF3"
                                 "d? \x80");
}

TEST_F(TextCodeTest, AWindows1252HostNeverAsksAndPassesItsBytesAsTheyAre) {
    TNavlet& b = SignedIn(TTextCode::Cp1252, TEXT_UTF8); // a confused server
    EXPECT_EQ(loginSubtype, 0);
    Hear("caf\xE9 \x80");
    EXPECT_EQ(LastPublicLine(b), "caf\xE9 \x80");
    EXPECT_EQ(Sent(b, "caf\xE9"), "caf\xE9");
}

// The box holds the request's 230 bytes; in UTF-8 it cuts between
// characters and says that it is full.
TEST_F(TextCodeTest, AFullUtf8ChatLineIsCutBetweenCharacters) {
    TNavlet& b = SignedIn(TTextCode::Utf8, TEXT_UTF8);
    std::string typed = "a";
    for (int i = 0; i < 115; ++i)
        typed += "ł"; // 231 bytes
    b.Edit1Enter();
    b.Edit1.OnTyped(typed, 0);
    EXPECT_EQ(b.Edit1.Text(), typed.substr(0, 229));
    EXPECT_EQ(b.msgQueue.front().text, "A chat line is full (at most 230 bytes)");
    // A call's message is cut the same way where its field ends.
    std::string message;
    for (int i = 0; i < 20; ++i)
        message += "€"; // 60 bytes
    b.edSearchMsg.OnTyped(message, 0);
    EXPECT_EQ(b.edSearchMsg.Text().size(), 48u);
}

} // namespace
} // namespace navlet::testing
