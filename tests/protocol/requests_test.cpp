#include <gtest/gtest.h>

#include <string>

#include "protocol/assembler.h"
#include "protocol/requests.h"
#include "tests/protocol/loopback_stream.h"

namespace navlet {
namespace {

TPacket Cleared() {
    TPacket p;
    return ClearPacket(p);
}

// Encodes a built request with the given keyOffset and reads it back through
// the assembler, as the server does.
TPacket OverTheWire(TPacket p, int length, uint8_t type, uint16_t keyOffset) {
    EncodePacket(p, length, type, keyOffset);
    TPacketAssembler assembler;
    TPacket out;
    size_t used = 0;
    EXPECT_EQ(assembler.Next(p.bytes, size_t(length), used, out), TAssembleResult::Packet);
    EXPECT_EQ(used, size_t(length));
    EXPECT_EQ(out.Type(), type);
    return out;
}

const uint16_t kKeyOffsets[] = {0, 1, 13, 14, 255, 32767, 65535};

TEST(Requests, LoginCutsFieldsAndEndsAfterTheSite) {
    TPacket p = Cleared();
    std::string site(300, 'a');
    int length = BuildLogin(p, "abcdefghijklmnopqrst", "secret", "1.4.0.0", site, 0x80001FFF,
                            LoginStamp(12 * 3600 * 1000));
    EXPECT_EQ(length, 316);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(p.bytes + 16)), "abcdefghijklmno");
    EXPECT_EQ(p.bytes[31], 0);
    EXPECT_EQ(p.bytes[60 + 254], 'a');
    EXPECT_EQ(p.bytes[60 + 255], 0);
    EXPECT_EQ(p.U32(OFF_ARG), 0x80001FFFu);
    EXPECT_EQ(p.U32(OFF_STAMP), 500000000u);

    TPacket empty = Cleared();
    EXPECT_EQ(BuildLogin(empty, "", "", "", "", 0, 0), 61);
    for (int i = 16; i < 61; ++i)
        EXPECT_EQ(empty.bytes[i], 0);
}

TEST(Requests, TheLoginSaysUtf8InItsSubtypeAndTheReaderHearsOnlyThat) {
    for (TTextCode code : {TTextCode::Cp1252, TTextCode::Utf8}) {
        TPacket p = Cleared();
        const int length = BuildLogin(p, "alice", "pw", "1.4.0.0", "example.com", 0, 0, code);
        EXPECT_EQ(p.Subtype(), code == TTextCode::Utf8 ? TEXT_UTF8 : 0);
        EncodePacket(p, length, REQ_LOGIN, 7);
        ASSERT_GE(DecodePacket(p), 0);
        EXPECT_EQ(ReadLogin(p).code, code);
    }
    // Any other subtype is what an older bar might leave there: not UTF-8.
    TPacket other = Cleared();
    BuildLogin(other, "alice", "pw", "1.4.0.0", "example.com", 0, 0);
    other.bytes[OFF_SUBTYPE] = 2;
    EXPECT_EQ(ReadLogin(other).code, TTextCode::Cp1252);
}

TEST(Requests, LoginStampRange) {
    EXPECT_EQ(LoginStamp(0), 0);
    EXPECT_EQ(LoginStamp(12 * 3600 * 1000), 500000000);
    EXPECT_EQ(LoginStamp(86400000 - 1), 999999988);
}

TEST(Requests, LargestLengthsAndCutTexts) {
    TPacket p = Cleared();
    EXPECT_EQ(BuildSiteReport(p, std::string(400, 's')), 272);
    p = Cleared();
    EXPECT_EQ(BuildChatText(p, {}, std::string(230, 'x')), 263);
    p = Cleared();
    EXPECT_EQ(BuildChatText(p, {}, std::string(231, 'x')), 263);
    EXPECT_EQ(p.bytes[32 + 230], 0);
    p = Cleared();
    EXPECT_EQ(BuildFindUser(p, std::string(40, 'n')), 36);
    p = Cleared();
    EXPECT_EQ(BuildFindUserWithMessage(p, "nick", std::string(80, 'm')), 84);
    p = Cleared();
    EXPECT_EQ(BuildFindUserWithMessage(p, "nick", ""), 34);
    EXPECT_EQ(BuildInvite(p, {}), 32);
    EXPECT_EQ(BuildLeaveChat(p, {}), 32);
    EXPECT_EQ(BuildLanguageFilter(p, 1), 20);
    EXPECT_EQ(BuildFriendChange(p, 5, FRIEND_REMOVE), 32);
    EXPECT_EQ(BuildUpdateRequest(p, 0, 0), 28);
    p = Cleared();
    EXPECT_EQ(BuildReport(p, 5, REPORT_ILLEGAL, std::string(150, 'r')), 133);
    EXPECT_EQ(p.bytes[32 + 100], 0);
    p.PutU16(OFF_LENGTH, 133);
    EXPECT_EQ(ReadReport(p).text, std::string(100, 'r'));
    EXPECT_EQ(ReadReport(p).reason, REPORT_ILLEGAL);
    p = Cleared();
    EXPECT_EQ(BuildPrivacy(p, PRIVACY_INVISIBLE | PRIVACY_TELL_FRIENDS), 20);
    EXPECT_EQ(ReadPrivacy(p), PRIVACY_INVISIBLE | PRIVACY_TELL_FRIENDS);
}

TEST(Requests, ChatAddressSeqWorkedExamples) {
    ChatAddress a = MakeChatAddressSeq(1, 2, /*keyLo=*/4, /*keyHi=*/0, /*seq=*/0);
    EXPECT_EQ(a.chatLo, 0x00000400u);
    EXPECT_EQ(a.chatHi, 0u);
    EXPECT_EQ(a.userLo, 1u);
    EXPECT_EQ(a.userHi, 2u);

    ChatAddress b = MakeChatAddressSeq(0, 0, /*keyLo=*/0x12000000, /*keyHi=*/0, /*seq=*/7);
    EXPECT_EQ(b.chatHi & 0xFF, 0x12u);
    EXPECT_EQ(b.chatLo, 0x00000007u);

    uint64_t key = 0x00ABCDEF01234567ULL;
    ChatAddress c = MakeChatAddressSeq(0, 0, uint32_t(key), uint32_t(key >> 32), 9);
    EXPECT_EQ(c.Chat(), key << 8 | 9);
    EXPECT_TRUE(IsPrivateChat(c.Chat()));
    EXPECT_FALSE(IsPrivateChat(0xFF));
}

TEST(Requests, EveryRequestSurvivesTheWireWithAnyKeyOffset) {
    for (uint16_t k : kKeyOffsets) {
        SCOPED_TRACE(k);
        TPacket p = Cleared();
        int n = BuildLogin(p, "Alice", "pw", "1.4.0.0", "example.com/a", 0x1234, 77);
        TLoginRequest login = ReadLogin(OverTheWire(p, n, REQ_LOGIN, k));
        EXPECT_EQ(login.nick, "Alice");
        EXPECT_EQ(login.password, "pw");
        EXPECT_EQ(login.version, "1.4.0.0");
        EXPECT_EQ(login.site, "example.com/a");
        EXPECT_EQ(login.languageMask, 0x1234u);
        EXPECT_EQ(login.stamp, 77);

        p = Cleared();
        n = BuildSiteReport(p, "example.org");
        EXPECT_EQ(ReadSiteReport(OverTheWire(p, n, REQ_SITE_REPORT, k)), "example.org");

        ChatAddress address = MakeChatAddress(0x11111111, 0x22222222, 0x33333333, 0x44444444);
        p = Cleared();
        n = BuildChatText(p, address, "hello there");
        TChatTextRequest chat = ReadChatText(OverTheWire(p, n, REQ_CHAT_TEXT, k));
        EXPECT_EQ(chat.address, address);
        EXPECT_EQ(chat.text, "hello there");

        p = Cleared();
        n = BuildInvite(p, address);
        EXPECT_EQ(ReadChatAddressRequest(OverTheWire(p, n, REQ_INVITE, k)), address);
        p = Cleared();
        n = BuildLeaveChat(p, address);
        EXPECT_EQ(ReadChatAddressRequest(OverTheWire(p, n, REQ_LEAVE_CHAT, k)), address);

        p = Cleared();
        n = BuildLanguageFilter(p, 0x80000004);
        EXPECT_EQ(ReadLanguageFilter(OverTheWire(p, n, REQ_LANGUAGE_FILTER, k)), 0x80000004u);

        p = Cleared();
        n = BuildFindUser(p, "bob");
        TFindUserRequest find = ReadFindUser(OverTheWire(p, n, REQ_FIND_USER, k));
        EXPECT_EQ(find.nick, "bob");
        EXPECT_EQ(find.message, "");

        p = Cleared();
        n = BuildFindUserWithMessage(p, "bob", "where are you?");
        find = ReadFindUser(OverTheWire(p, n, REQ_FIND_USER_WITH_MESSAGE, k));
        EXPECT_EQ(find.nick, "bob");
        EXPECT_EQ(find.message, "where are you?");

        p = Cleared();
        n = BuildFriendChange(p, 0xFEDCBA9876543210ULL, FRIEND_REMOVE);
        TFriendChangeRequest change = ReadFriendChange(OverTheWire(p, n, REQ_FRIEND_CHANGE, k));
        EXPECT_EQ(change.friendId, 0xFEDCBA9876543210ULL);
        EXPECT_EQ(change.operation, FRIEND_REMOVE);

        p = Cleared();
        n = BuildUpdateRequest(p, 632, 0x01050000);
        TUpdateRequest update = ReadUpdateRequest(OverTheWire(p, n, REQ_UPDATE, k));
        EXPECT_EQ(update.offset, 632);
        EXPECT_EQ(update.version, 0x01050000);
    }
}

TEST(Requests, SendBuildsEncodesAndWritesOnce) {
    test::TLoopbackStream stream;
    TPacket p = Cleared();
    EXPECT_EQ(SendChatText(p, stream, {}, "hi"), 35);
    EXPECT_EQ(stream.sends, 1);
    TPacket got = Cleared();
    ASSERT_EQ(ReceivePacket(got, stream), REQ_CHAT_TEXT);
    EXPECT_EQ(ReadChatText(got).text, "hi");
    EXPECT_EQ(got.Subtype(), 0);
    EXPECT_EQ(got.U32(OFF_ARG), 0u);
    EXPECT_EQ(got.U32(OFF_STAMP), 0u);
}

TEST(Requests, ReadersStopAtThePacketsLength) {
    // A hostile login whose fields carry no zero bytes at all.
    TPacket p;
    std::memset(p.bytes, 'z', sizeof p.bytes);
    p.PutU16(OFF_LENGTH, 40);
    TLoginRequest login = ReadLogin(p);
    EXPECT_EQ(login.nick.size(), 16u) << "a full-width field without its zero ends at the width";
    EXPECT_EQ(login.password.size(), 8u) << "and never past the packet";
    EXPECT_EQ(login.version, "");
    EXPECT_EQ(login.site, "");
}

} // namespace
} // namespace navlet
