#include <gtest/gtest.h>

#include <string>

#include "protocol/assembler.h"
#include "protocol/messages.h"

namespace navlet {
namespace {

TPacket Cleared() {
    TPacket p;
    return ClearPacket(p);
}

// Writes, encodes and reassembles a message the way the bar will see it.
template <typename Writer> TPacket Delivered(uint8_t type, uint16_t keyOffset, Writer write) {
    TPacket p = Cleared();
    int length = write(p);
    EncodePacket(p, length, type, keyOffset);
    TPacketAssembler assembler;
    TPacket out;
    size_t used = 0;
    EXPECT_EQ(assembler.Next(p.bytes, size_t(length), used, out), TAssembleResult::Packet);
    return out;
}

TEST(Messages, EveryLayoutRoundTrips) {
    for (uint16_t k : {0, 7, 40000}) {
        SCOPED_TRACE(k);
        TChatLineMsg line{MakeChatAddress(5, 0x0102030405060708ULL), CHAT_REPLY_TIME, "hi all"};
        TChatLineMsg gotLine = ReadChatLine(
            Delivered(MSG_CHAT_LINE, k, [&](TPacket& p) { return WriteChatLine(p, line); }));
        EXPECT_EQ(gotLine.address, line.address);
        EXPECT_EQ(gotLine.command, CHAT_REPLY_TIME);
        EXPECT_EQ(gotLine.text, "hi all");

        TMemberMsg member{MakeChatAddress(9, 0xAB07)};
        EXPECT_EQ(ReadMember(Delivered(MSG_MEMBER_JOINED, k,
                                       [&](TPacket& p) { return WriteMember(p, member); }))
                      .address,
                  member.address);

        TPresenceMsg presence{0x8000000000000001ULL, 0, 0x00FFEEDDCCBBAA99ULL, 'f', "Carla"};
        TPresenceMsg gotPresence = ReadPresence(
            Delivered(MSG_PRESENCE, k, [&](TPacket& p) { return WritePresence(p, presence); }));
        EXPECT_EQ(gotPresence.user, presence.user);
        EXPECT_EQ(gotPresence.listFlag, 0);
        EXPECT_EQ(gotPresence.chatKey, presence.chatKey);
        EXPECT_EQ(gotPresence.gender, 'f');
        EXPECT_EQ(gotPresence.nick, "Carla");

        EXPECT_EQ(ReadUserLeft(Delivered(MSG_USER_LEFT, k,
                                         [](TPacket& p) { return WriteUserLeft(p, {42}); }))
                      .user,
                  42u);
        EXPECT_EQ(
            ReadBanner(Delivered(MSG_BANNER, k, [](TPacket& p) { return WriteBanner(p, {-7}); }))
                .bannerId,
            -7);

        TSearchAnswerMsg answer{SEARCH_LOOKING_FOR_YOU, "dave", "example.com/page"};
        TSearchAnswerMsg gotAnswer = ReadSearchAnswer(Delivered(
            MSG_SEARCH_ANSWER, k, [&](TPacket& p) { return WriteSearchAnswer(p, answer); }));
        EXPECT_EQ(gotAnswer.result, -1);
        EXPECT_EQ(gotAnswer.nick, "dave");
        EXPECT_EQ(gotAnswer.link, "example.com/page");

        TDatedLineMsg dated{46000.25, "eve", "old news"};
        TDatedLineMsg gotDated = ReadDatedLine(
            Delivered(MSG_DATED_LINE, k, [&](TPacket& p) { return WriteDatedLine(p, dated); }));
        EXPECT_EQ(gotDated.stamp, 46000.25);
        EXPECT_EQ(gotDated.nick, "eve");
        EXPECT_EQ(gotDated.text, "old news");

        TLookingForYouMsg call{false, "frank", "call me", "example.net/x"};
        TLookingForYouMsg gotCall = ReadLookingForYou(Delivered(
            MSG_LOOKING_FOR_YOU, k, [&](TPacket& p) { return WriteLookingForYou(p, call); }));
        EXPECT_FALSE(gotCall.callerOnline);
        EXPECT_EQ(gotCall.nick, "frank");
        EXPECT_EQ(gotCall.message, "call me");
        EXPECT_EQ(gotCall.link, "example.net/x");

        // A nick is cut to its field, and the length counts what was written.
        TMarkMsg mark{0x0102030405060708ULL, MARK_BLOCKED, "a_nick_too_long_"};
        TPacket markWire = Delivered(MSG_MARK, k, [&](TPacket& p) { return WriteMark(p, mark); });
        EXPECT_EQ(markWire.Length(), 26 + 15);
        TMarkMsg gotMark = ReadMark(markWire);
        EXPECT_EQ(gotMark.user, mark.user);
        EXPECT_EQ(gotMark.mark, MARK_BLOCKED);
        EXPECT_EQ(gotMark.nick, "a_nick_too_long");

        uint8_t bytes[MAX_UPDATE_CHUNK];
        for (int i = 0; i < MAX_UPDATE_CHUNK; ++i)
            bytes[i] = uint8_t(i * 7);
        TUpdateChunkMsg chunk{632, MAX_UPDATE_CHUNK, 0x01050000, bytes, 0};
        TPacket wire =
            Delivered(MSG_UPDATE_CHUNK, k, [&](TPacket& p) { return WriteUpdateChunk(p, chunk); });
        EXPECT_EQ(wire.Length(), MAX_PACKET);
        TUpdateChunkMsg gotChunk = ReadUpdateChunk(wire);
        EXPECT_EQ(gotChunk.offset, 632);
        EXPECT_EQ(gotChunk.count, MAX_UPDATE_CHUNK);
        EXPECT_EQ(gotChunk.version, 0x01050000);
        EXPECT_EQ(gotChunk.available, MAX_UPDATE_CHUNK);
        EXPECT_TRUE(gotChunk.IsWellFormed());
        EXPECT_EQ(0, std::memcmp(gotChunk.data, bytes, MAX_UPDATE_CHUNK));
    }
}

TEST(Messages, UnterminatedStringsEndAtTheirWidthOrThePacket) {
    TPacket p;
    std::memset(p.bytes, 'q', sizeof p.bytes);
    p.PutU16(OFF_LENGTH, 60);
    TLookingForYouMsg call = ReadLookingForYou(p);
    EXPECT_EQ(call.nick.size(), 16u);
    EXPECT_EQ(call.message.size(), 60u - 33u) << "the message is cut by the packet's end";
    EXPECT_EQ(call.link, "");

    p.PutU16(OFF_LENGTH, MAX_PACKET);
    TPresenceMsg presence = ReadPresence(p);
    EXPECT_EQ(presence.nick.size(), size_t(MAX_PACKET - 33));
}

TEST(Messages, UpdateChunkCountsThePacketCannotHold) {
    TPacket p = Cleared();
    p.PutU16(OFF_LENGTH, 40);
    p.PutU32(16, 0);
    p.PutU32(20, 100); // claims 100 bytes, holds 12
    TUpdateChunkMsg m = ReadUpdateChunk(p);
    EXPECT_EQ(m.available, 12);
    EXPECT_FALSE(m.IsWellFormed());

    p.PutU32(20, uint32_t(-5));
    EXPECT_FALSE(ReadUpdateChunk(p).IsWellFormed());
    p.PutU32(16, uint32_t(-1));
    p.PutU32(20, 0);
    EXPECT_FALSE(ReadUpdateChunk(p).IsWellFormed());

    p.PutU32(16, 0);
    p.PutU32(20, 0);
    EXPECT_FALSE(ReadUpdateChunk(p).IsEndMark()) << "offset 0, count 0 is a chunk of no bytes";
    p.PutU32(16, 5000);
    EXPECT_TRUE(ReadUpdateChunk(p).IsEndMark());
}

TEST(Messages, PresenceKeyFieldSplitsFlagAndKey) {
    TPacket p = Cleared();
    p.PutU16(OFF_LENGTH, 40);
    p.PutU64(24, 0x1122334455667702ULL);
    TPresenceMsg m = ReadPresence(p);
    EXPECT_EQ(m.listFlag, 0x02);
    EXPECT_EQ(m.chatKey, 0x11223344556677ULL);
}

} // namespace
} // namespace navlet
