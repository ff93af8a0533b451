// Identifiers of users and chats, and the 16-byte address that chat requests
// and messages carry: a UserId and a ChatId, each as two 32-bit words, low first.
#pragma once

#include <cstdint>

#include "protocol/packet.h"

namespace navlet {

using UserId = uint64_t; // 0 is the server itself
using ChatId = uint64_t; // 0 is the site's public chat

inline constexpr int CHAT_ADDRESS_SIZE = 16;

struct ChatAddress {
    uint32_t userLo = 0;
    uint32_t userHi = 0;
    uint32_t chatLo = 0;
    uint32_t chatHi = 0;

    UserId User() const { return UserId(userHi) << 32 | userLo; }
    ChatId Chat() const { return ChatId(chatHi) << 32 | chatLo; }
    bool operator==(const ChatAddress&) const = default;
};

ChatAddress MakeChatAddress(uint32_t userLo, uint32_t userHi, uint32_t chatLo, uint32_t chatHi);

// The address of a private chat made by the holder of a 56-bit key: the chat
// words are (key << 8) | seq.
ChatAddress MakeChatAddressSeq(uint32_t userLo, uint32_t userHi, uint32_t keyLo, uint32_t keyHi,
                               uint8_t seq);

// Convenience over whole 64-bit values.
inline ChatAddress MakeChatAddress(UserId user, ChatId chat) {
    return MakeChatAddress(uint32_t(user), uint32_t(user >> 32), uint32_t(chat),
                           uint32_t(chat >> 32));
}

// A chat is private when anything is set above its low byte.
inline bool IsPrivateChat(ChatId chat) {
    return (chat >> 8) != 0;
}

void PutChatAddress(TPacket& packet, int off, const ChatAddress& address);
ChatAddress GetChatAddress(const TPacket& packet, int off);

} // namespace navlet
