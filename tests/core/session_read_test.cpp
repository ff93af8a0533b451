// Reading the server's messages: packets split and joined by TCP, a broken
// stream, the chat line's sub-commands and the sorting of update chunks.
#include "client/core/connection.h"
#include "tests/core/session_test_support.h"

namespace navlet::testing {
namespace {

class TReadTest : public SessionTest {
  protected:
    TNavlet& SignedInBar() {
        TNavlet& b = SignedInShownBar();
        listedAtStart = b.lvUsers.Count(); // the own entry, where the list keeps one
        return b;
    }
    int Others() const { return bar->lvUsers.Count() - listedAtStart; }
    bool Lists(UserId id) const {
        for (const TListItem& item : bar->lvUsers.Items())
            if (item.data == id)
                return true;
        return false;
    }
    int listedAtStart = 0;
    static TPresenceMsg Other(UserId id, const std::string& nick) {
        TPresenceMsg m;
        m.user = id;
        m.nick = nick;
        return m;
    }
};

TEST_F(TReadTest, PacketSplitAcrossReadsIsHandledOnceWhole) {
    TNavlet& b = SignedInBar();
    const std::vector<uint8_t> bytes = Bytes(Other(9, "bob"));
    Socket().Feed({bytes.begin(), bytes.begin() + 10}); // inside the header
    EXPECT_EQ(Others(), 0);
    Socket().Feed({bytes.begin() + 10, bytes.begin() + 20});
    EXPECT_EQ(Others(), 0);
    Socket().Feed({bytes.begin() + 20, bytes.end()});
    EXPECT_EQ(Others(), 1);
    EXPECT_TRUE(Lists(9));
    EXPECT_TRUE(b.loggedIn);
}

TEST_F(TReadTest, SeveralPacketsInOneReadAreAllHandledInOrder) {
    SignedInBar();
    std::vector<uint8_t> bytes = Bytes(Other(9, "bob"));
    const std::vector<uint8_t> second = Bytes(Other(10, "carol"));
    const std::vector<uint8_t> third = Bytes(Other(11, "dave"));
    bytes.insert(bytes.end(), second.begin(), second.end());
    bytes.insert(bytes.end(), third.begin(), third.begin() + 5); // and a piece of a third
    Socket().Feed(bytes);
    EXPECT_EQ(Others(), 2);
    EXPECT_TRUE(Lists(9) && Lists(10));
    Socket().Feed({third.begin() + 5, third.end()});
    EXPECT_EQ(Others(), 3);
}

TEST_F(TReadTest, UnknownTypesAreReadAndDroppedAndTheNextPacketFollows) {
    SignedInBar();
    TPacket p;
    ClearPacket(p);
    std::vector<uint8_t> bytes = Encoded(p, 24, 7);
    ClearPacket(p);
    const std::vector<uint8_t> type20 = Encoded(p, 16, 20);
    const std::vector<uint8_t> user = Bytes(Other(9, "bob"));
    bytes.insert(bytes.end(), type20.begin(), type20.end());
    bytes.insert(bytes.end(), user.begin(), user.end());
    Socket().Feed(bytes);
    EXPECT_EQ(Others(), 1);
    EXPECT_TRUE(Socket().Connected());
}

TEST_F(TReadTest, BadChecksumDropsThatPacketOnly) {
    SignedInBar();
    std::vector<uint8_t> bytes = Bytes(Other(9, "bob"));
    bytes[OFF_CHECKSUM] ^= 0x55;
    const std::vector<uint8_t> good = Bytes(Other(10, "carol"));
    bytes.insert(bytes.end(), good.begin(), good.end());
    Socket().Feed(bytes);
    EXPECT_EQ(Others(), 1);
    EXPECT_TRUE(Lists(10));
}

TEST_F(TReadTest, BrokenStreamIsClosedAsAReceiveErrorAndReconnectsLater) {
    TNavlet& b = SignedInBar();
    std::vector<uint8_t> bytes(16, 0);
    bytes[OFF_LENGTH] = 0x90; // 400: no packet is that long
    bytes[OFF_LENGTH + 1] = 0x01;
    Socket().Feed(bytes);
    EXPECT_EQ(Socket().State(), TScriptedSocket::TState::Closed);
    EXPECT_EQ(StatusText(), "Communication error receiving data.");
    EXPECT_TRUE(b.reconnect_timer.Enabled());
    // A new connection starts with an empty stream.
    tk.time.Advance(15000);
    Socket().AcceptConnection();
    Feed(Other(9, "bob"));
    EXPECT_TRUE(Lists(9));
}

TEST_F(TReadTest, EndOfSessionStopsTheRestOfThatRead) {
    SignedInBar();
    std::vector<uint8_t> bytes = EndSessionBytes();
    const std::vector<uint8_t> user = Bytes(Other(9, "bob"));
    bytes.insert(bytes.end(), user.begin(), user.end());
    Socket().Feed(bytes);
    EXPECT_FALSE(Lists(9));
    EXPECT_EQ(StatusText(), "Disconnected");
}

TEST_F(TReadTest, TheServersLastWordStaysAsTheReasonUntilTheNextAttempt) {
    SignedInBar();
    TChatLineMsg reason;
    reason.address = MakeChatAddress(0, 0x200);
    reason.text = "Wrong nick or password.";
    std::vector<uint8_t> bytes = Bytes(reason);
    const std::vector<uint8_t> end = EndSessionBytes();
    bytes.insert(bytes.end(), end.begin(), end.end());
    Socket().Feed(bytes);
    EXPECT_EQ(StatusText(), "Disconnected: wrong nick or password.");
    // Ticks later the line is still the one that stays.
    tk.time.Advance(20000);
    EXPECT_EQ(StatusText(), "Disconnected: wrong nick or password.");
    bar->edNck.SetText("alice");
    bar->edPwd.SetText("secret");
    bar->sbLoginClick();
    EXPECT_EQ(StatusText(), "Connecting...");

    // A notice followed by other messages was no reason for the end.
    Socket().AcceptConnection();
    ConfirmLogin();
    Feed(reason);
    Feed(Other(9, "bob"));
    Socket().Feed(EndSessionBytes());
    EXPECT_EQ(StatusText(), "Disconnected");
}

// A CR LF inside a peer's text once showed as a row of its own, a forged
// nick and time in front of it.
TEST_F(TReadTest, ControlCharactersInPeersTextsShowAsBlanks) {
    TNavlet& b = SignedInBar();
    Feed(Other(9, "bo\nb"));
    EXPECT_EQ(b.lvUsers.Item(b.FindUser(9)).caption, "bo b");

    TChatLineMsg line;
    line.address = MakeChatAddress(9, 0);
    line.text = "a\r\nevil2 [00:00] forged row\x1b\x7f\x8d\x85";
    const TChatView& view = *b.PageControl.Page(0).view;
    const int before = view.LineCount();
    Feed(line);
    ASSERT_EQ(view.LineCount(), before + 1);
    const std::string shown = view.Lines().back().Text();
    EXPECT_EQ(shown.find_first_of("\r\n\x1b\x7f\x8d"), std::string::npos) << shown;
    EXPECT_NE(shown.find("] a  evil2 [00:00] forged row   \x85"), std::string::npos) << shown;
    EXPECT_EQ(shown.rfind("bo b [", 0), 0u) << shown;

    // The server's notices: the ticker, and the status beside the count.
    TChatLineMsg notice;
    notice.address = MakeChatAddress(0, 0x200);
    notice.text = "one\r\ntwo";
    Feed(notice);
    EXPECT_EQ(b.msgQueue.back().text, "one  two");
    notice.address = MakeChatAddress(0, 0x100);
    notice.text = "status\ttext";
    Feed(notice);
    EXPECT_EQ(b.serverStatus, "status text");

    // A stored line's nick and text.
    TDatedLineMsg dated;
    dated.stamp = 45000.5;
    dated.nick = "x\ny";
    dated.text = "p\rq";
    TPacket p;
    ClearPacket(p);
    const int length = WriteDatedLine(p, dated);
    Socket().Feed(Encoded(p, length, MSG_DATED_LINE));
    const std::string stored = view.Lines().back().Text();
    EXPECT_EQ(stored.rfind("x y ", 0), 0u) << stored;
    EXPECT_NE(stored.find("] p q"), std::string::npos) << stored;
}

TEST(DisconnectReason, SmallFirstLetterAndAFullStop) {
    EXPECT_EQ(DisconnectReason("Signed out by the operator."), "signed out by the operator.");
    EXPECT_EQ(DisconnectReason(" IP blocked "), "IP blocked.");
    EXPECT_EQ(DisconnectReason("Too many windows!"), "too many windows!");
    EXPECT_EQ(DisconnectReason("   "), "");
}

TEST_F(TReadTest, ForcedUpdateStoresVersionOneAndAsksAtOnce) {
    TNavlet& b = SignedInBar();
    TChatLineMsg command;
    command.command = CHAT_FORCE_UPDATE;
    Feed(command);
    EXPECT_EQ(b.moduleVersion, 0x01000000);
    EXPECT_EQ(tk.registry.Get(THive::CurrentUser, SETTINGS_KEY, "update"),
              TMemoryRegistry::TValue(int32_t(0x01000000)));
    const std::vector<TPacket> sent = Socket().SentPackets();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0].Type(), REQ_UPDATE);
    EXPECT_EQ(ReadUpdateRequest(sent[0]).version, 0x01000000);
    EXPECT_FALSE(b.upd_timer.Enabled());
}

TEST_F(TReadTest, UpdateOfferWithoutAVersionWaitsFiveHours) {
    TNavlet& b = SignedInBar();
    TUpdateChunkMsg none;
    none.version = -1;
    Feed(none);
    EXPECT_TRUE(b.upd_timer.Enabled());
    EXPECT_EQ(b.upd_timer.Interval(), 18000000u);
    tk.time.Advance(18000000);
    EXPECT_EQ(SentTypes(), std::vector<int>{REQ_UPDATE});
    EXPECT_FALSE(b.upd_timer.Enabled());
}

TEST_F(TReadTest, BannerZeroShowsTheDefaultBanner) {
    TNavlet& b = SignedInBar();
    b.SetBannerMode(bmFriends);
    TPacket p;
    ClearPacket(p);
    const int length = WriteBanner(p, TBannerMsg{0});
    Socket().Feed(Encoded(p, length, MSG_BANNER));
    EXPECT_EQ(b.BannerPanel.Mode(), bmDefault);
    EXPECT_EQ(b.bannerId, 0);
}

TEST(UpdateChunkClass, OnlyNewerVersionsThatAreNotTheEndMarkAreWanted) {
    const int32_t running = 0x01040000;
    auto chunk = [](int32_t offset, int32_t count, int32_t version) {
        TUpdateChunkMsg m;
        m.offset = offset;
        m.count = count;
        m.version = version;
        return m;
    };
    // Offset 0 and count 0 is a chunk of no bytes, not the end mark.
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(0, 0, 0x01050000), false), TChunkClass::Wanted);
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(316, 100, 0x01050000), true), TChunkClass::Wanted);
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(0, 10, running), false),
              TChunkClass::NothingNewer);
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(0, 10, 0x01030000), false),
              TChunkClass::NothingNewer);
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(0, 10, -1), false), TChunkClass::NothingNewer);
    EXPECT_EQ(ClassifyUpdateChunk(0, chunk(0, 10, 0x01050000), false), TChunkClass::NothingNewer);
    // The end mark installs only an open download.
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(5000, 0, 0x01050000), true),
              TChunkClass::InstallReady);
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(5000, 0, 0x01050000), false),
              TChunkClass::NothingNewer);
    // Versions compare signed: a negative one is never newer.
    EXPECT_EQ(ClassifyUpdateChunk(running, chunk(0, 10, int32_t(0x81000000)), false),
              TChunkClass::NothingNewer);
}

TEST(ReplyTime, MillisecondsSinceTheLastSendTruncated) {
    const double sent = DateTimeOf(2024, 1, 15, 12, 0, 0);
    const double msDay = 86400000.0;
    EXPECT_EQ(ReplyTimeLine(sent + 1234.9 / msDay, sent), "--> 1234 ms");
    EXPECT_EQ(ReplyTimeLine(sent, sent), "--> 0 ms");
    // No chat sent yet: the distance to day 0 does not overflow the number.
    EXPECT_EQ(ReplyTimeLine(sent, 0), "--> 2147483647 ms");
}

} // namespace
} // namespace navlet::testing
