// The messages the server sends and the bar understands, as plain values.
// Read* takes a verified plain packet whose bytes past its length are zero
// (TPacketAssembler and ReceivePacket after ClearPacket leave it so) and never
// reads past the packet's length or a field's width. Write* fills a cleared
// packet and returns its length; the caller then encodes or sends it with the
// message's type.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/chat_address.h"
#include "protocol/packet.h"

namespace navlet {

enum MessageType : uint8_t {
    MSG_END_SESSION = 0,
    MSG_CHAT_LINE = 2,
    MSG_MEMBER_JOINED = 3,
    MSG_MEMBER_LEFT = 4,
    MSG_PRESENCE = 5,
    MSG_USER_LEFT = 6,
    MSG_BANNER = 9,
    MSG_SEARCH_ANSWER = 10,
    MSG_DATED_LINE = 12,
    MSG_LOOKING_FOR_YOU = 13,
    MSG_UPDATE_CHUNK = 15,
    MSG_MARK = 16,
    MSG_FRIEND_HERE = 17,
};

// Sub-commands of a chat line (header subtype).
enum ChatLineCommand : uint8_t {
    CHAT_PLAIN = 0,
    CHAT_RECONNECT = 1,
    CHAT_FORCE_UPDATE = 2,
    CHAT_REPLY_TIME = 3,
};

// Search answer results other than "online and invited".
inline constexpr int32_t SEARCH_LOOKING_FOR_YOU = -1;
inline constexpr int32_t SEARCH_NOT_ONLINE = 0;

inline constexpr int UPDATE_CHUNK_DATA = 28;                            // offset of the bytes
inline constexpr int MAX_UPDATE_CHUNK = MAX_PACKET - UPDATE_CHUNK_DATA; // 316
inline constexpr int SEARCH_NICK_FIELD = 16;
inline constexpr int CALL_MESSAGE_FIELD = 51;

struct TChatLineMsg { // type 2
    ChatAddress address;
    uint8_t command = CHAT_PLAIN;
    std::string text;
};
struct TMemberMsg { // types 3 and 4
    ChatAddress address;
};
// The list flag of a friend's presence record: whether the friend is online.
// The server sends the record again when that changes; any other value that
// is not 0 is a friend as well, shown online.
inline constexpr uint8_t LIST_FRIEND_OFFLINE = 1;
inline constexpr uint8_t LIST_FRIEND_ONLINE = 2;

struct TPresenceMsg { // type 5
    UserId user = 0;
    uint8_t listFlag = 0; // 0 = on the current site, else a friends-list entry
    uint64_t chatKey = 0; // 56 bits; 0 except in the signed-in user's own record
    char gender = 0;      // 'm', 'f' or anything else
    std::string nick;
};
struct TUserLeftMsg { // type 6
    UserId user = 0;
};
struct TBannerMsg { // type 9
    int32_t bannerId = 0;
};
struct TSearchAnswerMsg { // type 10
    int32_t result = 0;
    std::string nick;
    std::string link; // with SEARCH_LOOKING_FOR_YOU
};
struct TDatedLineMsg { // type 12
    double stamp = 0;  // UTC, days since 30 December 1899
    std::string nick;
    std::string text;
};
struct TLookingForYouMsg { // type 13
    bool callerOnline = false;
    std::string nick;
    std::string message;
    std::string link;
};
// How the signed-in user marked another user (ignore and block).
inline constexpr uint8_t MARK_NONE = 0;
inline constexpr uint8_t MARK_IGNORED = 1;
inline constexpr uint8_t MARK_BLOCKED = 2; // ignored, and neither sees the other
struct TMarkMsg {                          // type 16
    UserId user = 0;
    uint8_t mark = MARK_NONE;
    std::string nick;
};
// A friend who lets its friends know is on the receiver's site.
struct TFriendHereMsg { // type 17
    UserId user = 0;
    std::string nick;
};
struct TUpdateChunkMsg { // type 15
    int32_t offset = 0;
    int32_t count = 0;
    int32_t version = -1;
    const uint8_t* data = nullptr; // points into the packet it was read from
    int available = 0;             // data bytes the packet really holds (length - 28)

    bool IsEndMark() const { return offset != 0 && count == 0; }
    // A count that the packet holds and a sane offset: only such chunks are written.
    bool IsWellFormed() const { return count >= 0 && count <= available && offset >= 0; }
};

TChatLineMsg ReadChatLine(const TPacket& p);
TMemberMsg ReadMember(const TPacket& p);
TPresenceMsg ReadPresence(const TPacket& p);
TUserLeftMsg ReadUserLeft(const TPacket& p);
TBannerMsg ReadBanner(const TPacket& p);
TSearchAnswerMsg ReadSearchAnswer(const TPacket& p);
TDatedLineMsg ReadDatedLine(const TPacket& p);
TLookingForYouMsg ReadLookingForYou(const TPacket& p);
TUpdateChunkMsg ReadUpdateChunk(const TPacket& p);
TMarkMsg ReadMark(const TPacket& p);
TFriendHereMsg ReadFriendHere(const TPacket& p);

int WriteEndSession(TPacket& p);
// The command goes into the header's subtype; the encoder leaves it alone.
int WriteChatLine(TPacket& p, const TChatLineMsg& m);
// The same from a text held elsewhere (a fanned-out line is not copied).
int WriteChatLine(TPacket& p, const ChatAddress& address, uint8_t command, std::string_view text);
int WriteMember(TPacket& p, const TMemberMsg& m);
int WritePresence(TPacket& p, const TPresenceMsg& m);
int WriteUserLeft(TPacket& p, const TUserLeftMsg& m);
int WriteBanner(TPacket& p, const TBannerMsg& m);
int WriteSearchAnswer(TPacket& p, const TSearchAnswerMsg& m);
int WriteDatedLine(TPacket& p, const TDatedLineMsg& m);
int WriteLookingForYou(TPacket& p, const TLookingForYouMsg& m);
int WriteMark(TPacket& p, const TMarkMsg& m);
int WriteFriendHere(TPacket& p, const TFriendHereMsg& m);
// Copies min(count, 316) bytes from m.data; count itself goes out as given.
int WriteUpdateChunk(TPacket& p, const TUpdateChunkMsg& m);

} // namespace navlet
