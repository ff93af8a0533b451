#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "protocol/assembler.h"
#include "protocol/messages.h"

namespace navlet {
namespace {

// A stream of chat lines with their texts, as the server would send them.
std::vector<uint8_t> Stream(const std::vector<std::string>& texts, std::vector<int>* lengths) {
    std::vector<uint8_t> wire;
    uint16_t keyOffset = 1;
    for (const std::string& text : texts) {
        TPacket p;
        ClearPacket(p);
        int length = WriteChatLine(p, TChatLineMsg{MakeChatAddress(1, 0), CHAT_PLAIN, text});
        EncodePacket(p, length, MSG_CHAT_LINE, keyOffset += 977);
        wire.insert(wire.end(), p.bytes, p.bytes + length);
        if (lengths)
            lengths->push_back(length);
    }
    return wire;
}

std::vector<std::string> Texts(int n) {
    std::vector<std::string> texts;
    for (int i = 0; i < n; ++i)
        texts.push_back(std::string(size_t(i * 37 % 300), char('a' + i % 26)));
    return texts;
}

// Feeds the wire in the given pieces; returns the texts of the packets that came out.
std::vector<std::string> Assemble(const std::vector<uint8_t>& wire,
                                  const std::vector<size_t>& pieces, int* badChecksums = nullptr,
                                  bool* broken = nullptr) {
    TPacketAssembler assembler;
    std::vector<std::string> out;
    size_t at = 0;
    for (size_t piece : pieces) {
        size_t end = std::min(wire.size(), at + piece);
        while (at < end) {
            TPacket p;
            size_t used = 0;
            TAssembleResult r = assembler.Next(wire.data() + at, end - at, used, p);
            at += used;
            if (r == TAssembleResult::Packet)
                out.push_back(ReadChatLine(p).text);
            if (r == TAssembleResult::BadChecksum && badChecksums)
                ++*badChecksums;
            if (r == TAssembleResult::Broken) {
                if (broken)
                    *broken = true;
                return out;
            }
            if (r == TAssembleResult::NeedMore)
                break;
        }
        at = end;
    }
    return out;
}

TEST(Assembler, OneByteAtATime) {
    std::vector<std::string> texts = Texts(20);
    std::vector<uint8_t> wire = Stream(texts, nullptr);
    EXPECT_EQ(Assemble(wire, std::vector<size_t>(wire.size(), 1)), texts);
}

TEST(Assembler, RandomSplitsAndManyPacketsPerRead) {
    std::vector<std::string> texts = Texts(60);
    std::vector<uint8_t> wire = Stream(texts, nullptr);
    std::mt19937 rng(1234);
    for (int round = 0; round < 200; ++round) {
        std::vector<size_t> pieces;
        for (size_t total = 0; total < wire.size();) {
            size_t piece = std::uniform_int_distribution<size_t>(1, 1200)(rng);
            pieces.push_back(piece);
            total += piece;
        }
        ASSERT_EQ(Assemble(wire, pieces), texts) << "round " << round;
    }
}

TEST(Assembler, HandsOutZeroedTails) {
    std::vector<uint8_t> wire = Stream({"x"}, nullptr);
    TPacketAssembler assembler;
    TPacket p;
    std::memset(p.bytes, 0xEE, sizeof p.bytes);
    size_t used = 0;
    ASSERT_EQ(assembler.Next(wire.data(), wire.size(), used, p), TAssembleResult::Packet);
    for (int i = p.Length(); i < MAX_PACKET; ++i)
        ASSERT_EQ(p.bytes[i], 0) << i;
}

TEST(Assembler, ChecksumMismatchDropsOnlyThatPacket) {
    std::vector<int> lengths;
    std::vector<std::string> texts = {"one", "two", "three"};
    std::vector<uint8_t> wire = Stream(texts, &lengths);
    wire[size_t(lengths[0]) + 22] ^= 0x40; // a change the checksum sees, in the second packet
    int bad = 0;
    EXPECT_EQ(Assemble(wire, {wire.size()}, &bad), (std::vector<std::string>{"one", "three"}));
    EXPECT_EQ(bad, 1);
}

TEST(Assembler, DeclaredLengthsOutsideTheFrameBreakTheStream) {
    for (uint16_t declared : {0, 15, 345, 65535}) {
        std::vector<int> lengths;
        std::vector<uint8_t> wire = Stream({"first", "second"}, &lengths);
        wire[size_t(lengths[0]) + OFF_LENGTH] = uint8_t(declared);
        wire[size_t(lengths[0]) + OFF_LENGTH + 1] = uint8_t(declared >> 8);
        bool broken = false;
        EXPECT_EQ(Assemble(wire, {7, 100, 1000}, nullptr, &broken),
                  std::vector<std::string>{"first"});
        EXPECT_TRUE(broken) << declared;
    }
    TPacketAssembler assembler;
    uint8_t header[16] = {};
    header[OFF_LENGTH] = 3;
    TPacket p;
    size_t used = 0;
    EXPECT_EQ(assembler.Next(header, 16, used, p), TAssembleResult::Broken);
    EXPECT_EQ(assembler.Next(header, 16, used, p), TAssembleResult::Broken) << "sticky";
    EXPECT_EQ(used, 0u);
}

TEST(Assembler, HeaderOnlyPacketsPassUnverified) {
    uint8_t header[16] = {};
    header[OFF_TYPE] = MSG_END_SESSION;
    header[OFF_LENGTH] = 16;
    header[OFF_CHECKSUM] = 0x99;
    TPacketAssembler assembler;
    TPacket p;
    size_t used = 0;
    EXPECT_EQ(assembler.Next(header, 10, used, p), TAssembleResult::NeedMore);
    EXPECT_EQ(assembler.Pending(), 10);
    EXPECT_EQ(assembler.Next(header + 10, 6, used, p), TAssembleResult::Packet);
    EXPECT_EQ(p.Type(), MSG_END_SESSION);
    EXPECT_EQ(assembler.Pending(), 0);
}

} // namespace
} // namespace navlet
