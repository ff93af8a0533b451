// Send-side and receive-side work on a full 344-byte packet, against a plain
// copy of the same bytes as the baseline.
#include <benchmark/benchmark.h>

#include <cstring>

#include "protocol/assembler.h"
#include "protocol/messages.h"

namespace navlet {
namespace {

TPacket FullChatLine() {
    TPacket p;
    ClearPacket(p);
    WriteChatLine(
        p, TChatLineMsg{MakeChatAddress(1, 0), CHAT_PLAIN, std::string(MAX_PACKET - 33, 'x')});
    return p;
}

void BM_PlainCopy(benchmark::State& state) {
    TPacket src = FullChatLine();
    TPacket dst;
    for (auto _ : state) {
        std::memcpy(dst.bytes, src.bytes, MAX_PACKET);
        benchmark::DoNotOptimize(dst);
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MAX_PACKET);
}
BENCHMARK(BM_PlainCopy);

void BM_Encode(benchmark::State& state) {
    TPacket plain = FullChatLine();
    TPacket p;
    uint16_t keyOffset = 0;
    for (auto _ : state) {
        std::memcpy(p.bytes, plain.bytes, MAX_PACKET);
        EncodePacket(p, MAX_PACKET, MSG_CHAT_LINE, keyOffset++);
        benchmark::DoNotOptimize(p);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MAX_PACKET);
}
BENCHMARK(BM_Encode);

void BM_Assemble(benchmark::State& state) {
    TPacket wire = FullChatLine();
    EncodePacket(wire, MAX_PACKET, MSG_CHAT_LINE, 1234);
    TPacketAssembler assembler;
    TPacket out;
    for (auto _ : state) {
        size_t used = 0;
        TAssembleResult r = assembler.Next(wire.bytes, MAX_PACKET, used, out);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * MAX_PACKET);
}
BENCHMARK(BM_Assemble);

void BM_ChecksumTable(benchmark::State& state) {
    TPacket p = FullChatLine();
    for (auto _ : state)
        benchmark::DoNotOptimize(PacketChecksum(p, MAX_PACKET));
}
BENCHMARK(BM_ChecksumTable);

void BM_ChecksumSqrt(benchmark::State& state) {
    TPacket p = FullChatLine();
    for (auto _ : state)
        benchmark::DoNotOptimize(PacketChecksumBySqrt(p, MAX_PACKET));
}
BENCHMARK(BM_ChecksumSqrt);

} // namespace
} // namespace navlet
