// The requests the bar sends. Each Build* fills a cleared packet's payload
// (and, for the login, arg and stamp) and returns the packet's length; each
// Send* builds and hands the packet to SendPacket, returning what it returned.
// Each Read* is the server's view of the same layout, bounded by the packet.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "protocol/chat_address.h"
#include "protocol/code_page.h"
#include "protocol/packet.h"

namespace navlet {

enum RequestType : uint8_t {
    REQ_LOGIN = 0,
    REQ_SITE_REPORT = 1,
    REQ_CHAT_TEXT = 2,
    REQ_INVITE = 3,
    REQ_LEAVE_CHAT = 4,
    REQ_LANGUAGE_FILTER = 8,
    REQ_FIND_USER = 10,
    REQ_FIND_USER_WITH_MESSAGE = 13,
    REQ_FRIEND_CHANGE = 14,
    REQ_UPDATE = 15,
    REQ_IGNORE_CHANGE = 16,
    REQ_BLOCK_CHANGE = 17,
    REQ_REPORT = 18,
    REQ_PRIVACY = 19,
};

// Field widths, terminating zero included.
inline constexpr int NICK_FIELD = 16;
inline constexpr int PASSWORD_FIELD = 16;
inline constexpr int VERSION_FIELD = 12;
inline constexpr int SITE_FIELD = 256;
inline constexpr int CHAT_TEXT_FIELD = 231;
inline constexpr int SEARCH_MESSAGE_FIELD = 51;
inline constexpr int REPORT_TEXT_FIELD = 101;

inline constexpr uint8_t FRIEND_ADD = 0;
inline constexpr uint8_t FRIEND_REMOVE = 1;
// The operation of an ignore or block change.
inline constexpr uint8_t MARK_SET = 0;
inline constexpr uint8_t MARK_CLEAR = 1;
// Why a user is reported.
enum TReportReason : uint8_t {
    REPORT_SPAM = 0,
    REPORT_HARASSMENT = 1,
    REPORT_ILLEGAL = 2,
    REPORT_OTHER = 3,
};
inline constexpr uint8_t REPORT_REASON_COUNT = 4;
// The bits of a privacy request: invisible; while invisible, friends still
// see the user online; friends on the same site are told it is there.
inline constexpr uint8_t PRIVACY_INVISIBLE = 1;
inline constexpr uint8_t PRIVACY_VISIBLE_TO_FRIENDS = 2;
inline constexpr uint8_t PRIVACY_TELL_FRIENDS = 4;
inline constexpr uint8_t PRIVACY_DEFAULT = PRIVACY_TELL_FRIENDS;

// The login's subtype: the bar reads and writes UTF-8. An older server
// ignores it and the session stays on Windows-1252; ours answers with the
// same subtype on the user's own presence record (TEXT_UTF8 there too).
inline constexpr uint8_t TEXT_UTF8 = 1;

// The login's time-of-day stamp: milliseconds since local midnight as a
// fraction of a day, times 1e9, truncated.
int32_t LoginStamp(uint32_t msSinceMidnight);

int BuildLogin(TPacket& p, std::string_view nick, std::string_view password,
               std::string_view version, std::string_view site, uint32_t languageMask,
               int32_t stamp, TTextCode code = TTextCode::Cp1252);
int BuildSiteReport(TPacket& p, std::string_view site);
int BuildChatText(TPacket& p, const ChatAddress& address, std::string_view text);
int BuildInvite(TPacket& p, const ChatAddress& address);
int BuildLeaveChat(TPacket& p, const ChatAddress& address);
int BuildLanguageFilter(TPacket& p, uint32_t languageMask);
int BuildFindUser(TPacket& p, std::string_view nick);
int BuildFindUserWithMessage(TPacket& p, std::string_view nick, std::string_view message);
int BuildFriendChange(TPacket& p, UserId friendId, uint8_t operation);
int BuildUpdateRequest(TPacket& p, int32_t offset, int32_t version);
// Type 16 (ignore) or 17 (block): the user and MARK_SET or MARK_CLEAR.
int BuildMarkChange(TPacket& p, UserId user, uint8_t operation);
// Type 18: the reported user, the reason and a line of the reporter's words.
int BuildReport(TPacket& p, UserId user, uint8_t reason, std::string_view text);
// Type 19: the PRIVACY_* bits.
int BuildPrivacy(TPacket& p, uint8_t flags);

int SendLogin(TPacket& p, TByteStream& s, std::string_view nick, std::string_view password,
              std::string_view version, std::string_view site, uint32_t languageMask, int32_t stamp,
              TTextCode code = TTextCode::Cp1252);
int SendSiteReport(TPacket& p, TByteStream& s, std::string_view site);
int SendChatText(TPacket& p, TByteStream& s, const ChatAddress& address, std::string_view text);
int SendInvite(TPacket& p, TByteStream& s, const ChatAddress& address);
int SendLeaveChat(TPacket& p, TByteStream& s, const ChatAddress& address);
int SendLanguageFilter(TPacket& p, TByteStream& s, uint32_t languageMask);
int SendFindUser(TPacket& p, TByteStream& s, std::string_view nick);
int SendFindUserWithMessage(TPacket& p, TByteStream& s, std::string_view nick,
                            std::string_view message);
int SendFriendChange(TPacket& p, TByteStream& s, UserId friendId, uint8_t operation);
int SendUpdateRequest(TPacket& p, TByteStream& s, int32_t offset, int32_t version);
int SendIgnoreChange(TPacket& p, TByteStream& s, UserId user, uint8_t operation);
int SendBlockChange(TPacket& p, TByteStream& s, UserId user, uint8_t operation);
int SendReport(TPacket& p, TByteStream& s, UserId user, uint8_t reason, std::string_view text);
int SendPrivacy(TPacket& p, TByteStream& s, uint8_t flags);

// The server's readers. `p` is a verified plain packet whose bytes past its
// length are zero (as TPacketAssembler leaves it).
struct TLoginRequest {
    std::string nick, password, version, site;
    uint32_t languageMask = 0;
    int32_t stamp = 0;
    TTextCode code = TTextCode::Cp1252; // what the bar asks for
};
struct TFindUserRequest {
    std::string nick;
    std::string message; // empty for type 10
};
struct TFriendChangeRequest {
    UserId friendId = 0;
    uint8_t operation = FRIEND_ADD;
};
struct TMarkChangeRequest { // types 16 and 17
    UserId user = 0;
    uint8_t operation = MARK_SET;
};
struct TReportRequest { // type 18
    UserId user = 0;
    uint8_t reason = REPORT_OTHER;
    std::string text;
};
struct TUpdateRequest {
    int32_t offset = 0;
    int32_t version = 0;
};
struct TChatTextRequest {
    ChatAddress address;
    std::string text;
};

TLoginRequest ReadLogin(const TPacket& p);
std::string ReadSiteReport(const TPacket& p);
TChatTextRequest ReadChatText(const TPacket& p);
ChatAddress ReadChatAddressRequest(const TPacket& p); // invite and leave
uint32_t ReadLanguageFilter(const TPacket& p);
TFindUserRequest ReadFindUser(const TPacket& p); // type 10 or 13 by the header
TFriendChangeRequest ReadFriendChange(const TPacket& p);
TUpdateRequest ReadUpdateRequest(const TPacket& p);
TMarkChangeRequest ReadMarkChange(const TPacket& p);
TReportRequest ReadReport(const TPacket& p);
uint8_t ReadPrivacy(const TPacket& p);

} // namespace navlet
