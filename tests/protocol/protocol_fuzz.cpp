// Arbitrary bytes through the assembler in arbitrary pieces, and every whole
// packet through every reader, as the bar and the server would.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "protocol/assembler.h"
#include "protocol/messages.h"
#include "protocol/requests.h"

namespace {

void ReadEverything(const navlet::TPacket& p) {
    using namespace navlet;
    size_t sink = 0;
    sink += ReadChatLine(p).text.size();
    sink += ReadMember(p).address.userLo;
    sink += ReadPresence(p).nick.size();
    sink += ReadUserLeft(p).user;
    sink += size_t(ReadBanner(p).bannerId);
    TSearchAnswerMsg answer = ReadSearchAnswer(p);
    sink += answer.nick.size() + answer.link.size();
    TDatedLineMsg dated = ReadDatedLine(p);
    sink += dated.nick.size() + dated.text.size();
    TLookingForYouMsg call = ReadLookingForYou(p);
    sink += call.nick.size() + call.message.size() + call.link.size();
    TUpdateChunkMsg chunk = ReadUpdateChunk(p);
    if (chunk.IsWellFormed()) {
        for (int i = 0; i < chunk.count; ++i) // must stay inside the packet
            sink += chunk.data[i];
    }
    TLoginRequest login = ReadLogin(p);
    sink += login.nick.size() + login.site.size();
    sink += ReadSiteReport(p).size() + ReadChatText(p).text.size();
    sink += ReadFindUser(p).message.size() + ReadFriendChange(p).operation;
    sink += size_t(ReadUpdateRequest(p).offset) + ReadLanguageFilter(p);
    volatile size_t keep = sink;
    (void)keep;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    // The readers also see the raw bytes as a packet that passed its checksum,
    // which random input seldom does: length from the header, tail zeroed.
    if (size > navlet::HEADER_SIZE) {
        navlet::TPacket raw;
        navlet::ClearPacket(raw);
        size_t n = size - 1 < size_t(navlet::MAX_PACKET) ? size - 1 : size_t(navlet::MAX_PACKET);
        std::memcpy(raw.bytes, data + 1, n);
        if (raw.Length() > n)
            raw.PutU16(navlet::OFF_LENGTH, uint16_t(n));
        ReadEverything(raw);
    }
    // The first byte chooses how the transport splits the rest.
    size_t piece = size_t(data[0] % 64) + 1;
    data += 1;
    size -= 1;
    navlet::TPacketAssembler assembler;
    size_t at = 0;
    while (at < size) {
        size_t end = at + piece < size ? at + piece : size;
        while (at < end) {
            navlet::TPacket p;
            size_t used = 0;
            navlet::TAssembleResult r = assembler.Next(data + at, end - at, used, p);
            at += used;
            if (r == navlet::TAssembleResult::Packet)
                ReadEverything(p);
            if (r == navlet::TAssembleResult::Broken)
                return 0;
            if (r == navlet::TAssembleResult::NeedMore)
                break;
        }
        at = end;
    }
    return 0;
}
