#include "protocol/chat_address.h"

namespace navlet {

ChatAddress MakeChatAddress(uint32_t userLo, uint32_t userHi, uint32_t chatLo, uint32_t chatHi) {
    return ChatAddress{userLo, userHi, chatLo, chatHi};
}

ChatAddress MakeChatAddressSeq(uint32_t userLo, uint32_t userHi, uint32_t keyLo, uint32_t keyHi,
                               uint8_t seq) {
    return ChatAddress{userLo, userHi, keyLo << 8 | seq, keyHi << 8 | keyLo >> 24};
}

void PutChatAddress(TPacket& packet, int off, const ChatAddress& address) {
    packet.PutU32(off, address.userLo);
    packet.PutU32(off + 4, address.userHi);
    packet.PutU32(off + 8, address.chatLo);
    packet.PutU32(off + 12, address.chatHi);
}

ChatAddress GetChatAddress(const TPacket& packet, int off) {
    return ChatAddress{packet.U32(off), packet.U32(off + 4), packet.U32(off + 8),
                       packet.U32(off + 12)};
}

} // namespace navlet
