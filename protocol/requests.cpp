#include "protocol/requests.h"

#include "protocol/fields.h"

namespace navlet {

int32_t LoginStamp(uint32_t msSinceMidnight) {
    double dayFraction = double(msSinceMidnight) / 86400000.0;
    return int32_t(dayFraction * 1000000000.0);
}

int BuildLogin(TPacket& p, std::string_view nick, std::string_view password,
               std::string_view version, std::string_view site, uint32_t languageMask,
               int32_t stamp, TTextCode code) {
    p.bytes[OFF_SUBTYPE] = code == TTextCode::Utf8 ? TEXT_UTF8 : 0;
    PutField(p, 16, NICK_FIELD, nick);
    PutField(p, 32, PASSWORD_FIELD, password);
    PutField(p, 48, VERSION_FIELD, version);
    int siteLength = PutField(p, 60, SITE_FIELD, site);
    p.PutU32(OFF_ARG, languageMask);
    p.PutU32(OFF_STAMP, uint32_t(stamp));
    return 61 + siteLength;
}

int BuildSiteReport(TPacket& p, std::string_view site) {
    return 17 + PutField(p, 16, SITE_FIELD, site);
}

int BuildChatText(TPacket& p, const ChatAddress& address, std::string_view text) {
    PutChatAddress(p, 16, address);
    return 33 + PutField(p, 32, CHAT_TEXT_FIELD, text);
}

int BuildInvite(TPacket& p, const ChatAddress& address) {
    PutChatAddress(p, 16, address);
    return 32;
}

int BuildLeaveChat(TPacket& p, const ChatAddress& address) {
    PutChatAddress(p, 16, address);
    return 32;
}

int BuildLanguageFilter(TPacket& p, uint32_t languageMask) {
    p.PutU32(16, languageMask);
    return 20;
}

int BuildFindUser(TPacket& p, std::string_view nick) {
    p.PutU32(16, 0);
    return 21 + PutField(p, 20, NICK_FIELD, nick);
}

int BuildFindUserWithMessage(TPacket& p, std::string_view nick, std::string_view message) {
    p.bytes[16] = 0;
    PutField(p, 17, NICK_FIELD, nick);
    return 34 + PutField(p, 33, SEARCH_MESSAGE_FIELD, message);
}

int BuildFriendChange(TPacket& p, UserId friendId, uint8_t operation) {
    p.PutU64(16, friendId);
    p.bytes[24] = operation;
    return 32;
}

int BuildMarkChange(TPacket& p, UserId user, uint8_t operation) {
    p.PutU64(16, user);
    p.bytes[24] = operation;
    return 32;
}

int BuildReport(TPacket& p, UserId user, uint8_t reason, std::string_view text) {
    p.PutU64(16, user);
    p.bytes[24] = reason;
    return 33 + PutField(p, 32, REPORT_TEXT_FIELD, text);
}

int BuildPrivacy(TPacket& p, uint8_t flags) {
    p.bytes[16] = flags;
    return 20;
}

int BuildUpdateRequest(TPacket& p, int32_t offset, int32_t version) {
    p.PutU32(16, uint32_t(offset));
    p.PutU32(20, 0);
    p.PutU32(24, uint32_t(version));
    return 28;
}

int SendLogin(TPacket& p, TByteStream& s, std::string_view nick, std::string_view password,
              std::string_view version, std::string_view site, uint32_t languageMask, int32_t stamp,
              TTextCode code) {
    return SendPacket(p, s, BuildLogin(p, nick, password, version, site, languageMask, stamp, code),
                      REQ_LOGIN);
}

int SendSiteReport(TPacket& p, TByteStream& s, std::string_view site) {
    return SendPacket(p, s, BuildSiteReport(p, site), REQ_SITE_REPORT);
}

int SendChatText(TPacket& p, TByteStream& s, const ChatAddress& address, std::string_view text) {
    return SendPacket(p, s, BuildChatText(p, address, text), REQ_CHAT_TEXT);
}

int SendInvite(TPacket& p, TByteStream& s, const ChatAddress& address) {
    return SendPacket(p, s, BuildInvite(p, address), REQ_INVITE);
}

int SendLeaveChat(TPacket& p, TByteStream& s, const ChatAddress& address) {
    return SendPacket(p, s, BuildLeaveChat(p, address), REQ_LEAVE_CHAT);
}

int SendLanguageFilter(TPacket& p, TByteStream& s, uint32_t languageMask) {
    return SendPacket(p, s, BuildLanguageFilter(p, languageMask), REQ_LANGUAGE_FILTER);
}

int SendFindUser(TPacket& p, TByteStream& s, std::string_view nick) {
    return SendPacket(p, s, BuildFindUser(p, nick), REQ_FIND_USER);
}

int SendFindUserWithMessage(TPacket& p, TByteStream& s, std::string_view nick,
                            std::string_view message) {
    return SendPacket(p, s, BuildFindUserWithMessage(p, nick, message), REQ_FIND_USER_WITH_MESSAGE);
}

int SendFriendChange(TPacket& p, TByteStream& s, UserId friendId, uint8_t operation) {
    return SendPacket(p, s, BuildFriendChange(p, friendId, operation), REQ_FRIEND_CHANGE);
}

int SendIgnoreChange(TPacket& p, TByteStream& s, UserId user, uint8_t operation) {
    return SendPacket(p, s, BuildMarkChange(p, user, operation), REQ_IGNORE_CHANGE);
}

int SendBlockChange(TPacket& p, TByteStream& s, UserId user, uint8_t operation) {
    return SendPacket(p, s, BuildMarkChange(p, user, operation), REQ_BLOCK_CHANGE);
}

int SendReport(TPacket& p, TByteStream& s, UserId user, uint8_t reason, std::string_view text) {
    return SendPacket(p, s, BuildReport(p, user, reason, text), REQ_REPORT);
}

int SendPrivacy(TPacket& p, TByteStream& s, uint8_t flags) {
    return SendPacket(p, s, BuildPrivacy(p, flags), REQ_PRIVACY);
}

int SendUpdateRequest(TPacket& p, TByteStream& s, int32_t offset, int32_t version) {
    return SendPacket(p, s, BuildUpdateRequest(p, offset, version), REQ_UPDATE);
}

TLoginRequest ReadLogin(const TPacket& p) {
    int length = p.Length();
    TLoginRequest r;
    r.nick = GetField(p, 16, NICK_FIELD, length);
    r.password = GetField(p, 32, PASSWORD_FIELD, length);
    r.version = GetField(p, 48, VERSION_FIELD, length);
    r.site = GetField(p, 60, SITE_FIELD, length);
    r.languageMask = p.U32(OFF_ARG);
    r.stamp = int32_t(p.U32(OFF_STAMP));
    r.code = p.Subtype() == TEXT_UTF8 ? TTextCode::Utf8 : TTextCode::Cp1252;
    return r;
}

std::string ReadSiteReport(const TPacket& p) {
    return GetField(p, 16, SITE_FIELD, p.Length());
}

TChatTextRequest ReadChatText(const TPacket& p) {
    return TChatTextRequest{GetChatAddress(p, 16), GetField(p, 32, CHAT_TEXT_FIELD, p.Length())};
}

ChatAddress ReadChatAddressRequest(const TPacket& p) {
    return GetChatAddress(p, 16);
}

uint32_t ReadLanguageFilter(const TPacket& p) {
    return p.U32(16);
}

TFindUserRequest ReadFindUser(const TPacket& p) {
    int length = p.Length();
    if (p.Type() == REQ_FIND_USER_WITH_MESSAGE)
        return TFindUserRequest{GetField(p, 17, NICK_FIELD, length),
                                GetField(p, 33, SEARCH_MESSAGE_FIELD, length)};
    return TFindUserRequest{GetField(p, 20, NICK_FIELD, length), {}};
}

TFriendChangeRequest ReadFriendChange(const TPacket& p) {
    return TFriendChangeRequest{p.U64(16), p.bytes[24]};
}

TMarkChangeRequest ReadMarkChange(const TPacket& p) {
    return TMarkChangeRequest{p.U64(16), p.bytes[24]};
}

TReportRequest ReadReport(const TPacket& p) {
    return TReportRequest{p.U64(16), p.bytes[24], GetField(p, 32, REPORT_TEXT_FIELD, p.Length())};
}

uint8_t ReadPrivacy(const TPacket& p) {
    return p.bytes[16];
}

TUpdateRequest ReadUpdateRequest(const TPacket& p) {
    return TUpdateRequest{int32_t(p.U32(16)), int32_t(p.U32(24))};
}

} // namespace navlet
