#include "protocol/messages.h"

#include <algorithm>

#include "protocol/fields.h"

namespace navlet {

namespace {
// A string that runs to the end of a message may use the rest of the buffer.
int TailWidth(int off) {
    return MAX_PACKET - off;
}
} // namespace

TChatLineMsg ReadChatLine(const TPacket& p) {
    return TChatLineMsg{GetChatAddress(p, 16), p.Subtype(), GetTail(p, 32, p.Length())};
}

TMemberMsg ReadMember(const TPacket& p) {
    return TMemberMsg{GetChatAddress(p, 16)};
}

TPresenceMsg ReadPresence(const TPacket& p) {
    uint64_t key = p.U64(24);
    return TPresenceMsg{p.U64(16), uint8_t(key), key >> 8, char(p.bytes[32]),
                        GetTail(p, 33, p.Length())};
}

TUserLeftMsg ReadUserLeft(const TPacket& p) {
    return TUserLeftMsg{p.U64(16)};
}

TMarkMsg ReadMark(const TPacket& p) {
    return TMarkMsg{p.U64(16), p.bytes[24], GetField(p, 25, SEARCH_NICK_FIELD, p.Length())};
}

TFriendHereMsg ReadFriendHere(const TPacket& p) {
    return TFriendHereMsg{p.U64(16), GetField(p, 24, SEARCH_NICK_FIELD, p.Length())};
}

TBannerMsg ReadBanner(const TPacket& p) {
    return TBannerMsg{int32_t(p.U32(16))};
}

TSearchAnswerMsg ReadSearchAnswer(const TPacket& p) {
    int length = p.Length();
    return TSearchAnswerMsg{int32_t(p.U32(16)), GetField(p, 20, SEARCH_NICK_FIELD, length),
                            GetTail(p, 36, length)};
}

TDatedLineMsg ReadDatedLine(const TPacket& p) {
    int length = p.Length();
    return TDatedLineMsg{p.F64(16), GetField(p, 24, SEARCH_NICK_FIELD, length),
                         GetTail(p, 40, length)};
}

TLookingForYouMsg ReadLookingForYou(const TPacket& p) {
    int length = p.Length();
    return TLookingForYouMsg{p.bytes[16] != 0, GetField(p, 17, SEARCH_NICK_FIELD, length),
                             GetField(p, 33, CALL_MESSAGE_FIELD, length), GetTail(p, 84, length)};
}

TUpdateChunkMsg ReadUpdateChunk(const TPacket& p) {
    TUpdateChunkMsg m;
    m.offset = int32_t(p.U32(16));
    m.count = int32_t(p.U32(20));
    m.version = int32_t(p.U32(24));
    m.data = p.bytes + UPDATE_CHUNK_DATA;
    m.available = std::clamp(int(p.Length()) - UPDATE_CHUNK_DATA, 0, MAX_UPDATE_CHUNK);
    return m;
}

int WriteEndSession(TPacket&) {
    return HEADER_SIZE;
}

int WriteChatLine(TPacket& p, const TChatLineMsg& m) {
    return WriteChatLine(p, m.address, m.command, m.text);
}

int WriteChatLine(TPacket& p, const ChatAddress& address, uint8_t command, std::string_view text) {
    p.bytes[OFF_SUBTYPE] = command;
    PutChatAddress(p, 16, address);
    return 33 + PutField(p, 32, TailWidth(32), text);
}

int WriteMember(TPacket& p, const TMemberMsg& m) {
    PutChatAddress(p, 16, m.address);
    return 32;
}

int WritePresence(TPacket& p, const TPresenceMsg& m) {
    p.PutU64(16, m.user);
    p.PutU64(24, m.chatKey << 8 | m.listFlag);
    p.bytes[32] = uint8_t(m.gender);
    return 34 + PutField(p, 33, TailWidth(33), m.nick);
}

int WriteUserLeft(TPacket& p, const TUserLeftMsg& m) {
    p.PutU64(16, m.user);
    return 24;
}

int WriteMark(TPacket& p, const TMarkMsg& m) {
    p.PutU64(16, m.user);
    p.bytes[24] = m.mark;
    return 26 + PutField(p, 25, SEARCH_NICK_FIELD, m.nick);
}

int WriteFriendHere(TPacket& p, const TFriendHereMsg& m) {
    p.PutU64(16, m.user);
    return 25 + PutField(p, 24, SEARCH_NICK_FIELD, m.nick);
}

int WriteBanner(TPacket& p, const TBannerMsg& m) {
    p.PutU32(16, uint32_t(m.bannerId));
    return 20;
}

int WriteSearchAnswer(TPacket& p, const TSearchAnswerMsg& m) {
    p.PutU32(16, uint32_t(m.result));
    PutField(p, 20, SEARCH_NICK_FIELD, m.nick);
    return 37 + PutField(p, 36, TailWidth(36), m.link);
}

int WriteDatedLine(TPacket& p, const TDatedLineMsg& m) {
    p.PutF64(16, m.stamp);
    PutField(p, 24, SEARCH_NICK_FIELD, m.nick);
    return 41 + PutField(p, 40, TailWidth(40), m.text);
}

int WriteLookingForYou(TPacket& p, const TLookingForYouMsg& m) {
    p.bytes[16] = m.callerOnline ? 1 : 0;
    PutField(p, 17, SEARCH_NICK_FIELD, m.nick);
    PutField(p, 33, CALL_MESSAGE_FIELD, m.message);
    return 85 + PutField(p, 84, TailWidth(84), m.link);
}

int WriteUpdateChunk(TPacket& p, const TUpdateChunkMsg& m) {
    p.PutU32(16, uint32_t(m.offset));
    p.PutU32(20, uint32_t(m.count));
    p.PutU32(24, uint32_t(m.version));
    int n = std::clamp(int(m.count), 0, MAX_UPDATE_CHUNK);
    if (n > 0 && m.data)
        std::memcpy(p.bytes + UPDATE_CHUNK_DATA, m.data, size_t(n));
    return UPDATE_CHUNK_DATA + n;
}

} // namespace navlet
