// Reading the server's messages: whole packets out of the byte stream, the
// dispatch by type, the end of the session, the chat line's sub-commands and
// the sorting of update chunks.
#include "client/core/connection.h"
#include "client/core/navlet.h"
#include "client/core/peer_text.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// Bytes read per Receive call, and at most per notification: the socket
// notifies again while more wait, so a flooding peer cannot hold the thread.
constexpr int READ_CHUNK = 4096;
constexpr int READ_BUDGET = 64 * 1024;
// An error code for a stream that cannot be resynchronised.
constexpr int BROKEN_STREAM_CODE = -1;

constexpr int32_t FORCED_VERSION = 0x01000000; // 1.0.0.0
constexpr ChatId CONSOLE_CHAT = 0x400;
constexpr uint32_t NOTHING_NEWER_MS = 18000000; // five hours

} // namespace

void TNavlet::ClientSocketRead(TClientSocket& socket) {
    // A message may end the connection (type 0, or a reconnect from a later
    // issue); the rest of the bytes then belong to a stream that is gone.
    const uint32_t serial = connectionSerial;
    uint8_t buffer[READ_CHUNK];
    for (int budget = READ_BUDGET; budget > 0; budget -= READ_CHUNK) {
        const int got = socket.Receive(buffer, READ_CHUNK);
        if (got <= 0)
            return;
        size_t at = 0;
        while (at < size_t(got)) {
            TPacket packet;
            size_t used = 0;
            const TAssembleResult r =
                receiveAssembler.Next(buffer + at, size_t(got) - at, used, packet);
            at += used;
            if (used == 0 && r != TAssembleResult::Broken)
                break; // nothing taken: wait for more bytes
            if (r == TAssembleResult::Broken) {
                int code = BROKEN_STREAM_CODE;
                ClientSocketError(socket, TErrorEvent::eeReceive, code);
                return;
            }
            if (r == TAssembleResult::NeedMore)
                break;
            if (r == TAssembleResult::Packet)
                DispatchPacket(packet);
            if (serial != connectionSerial || !socket.Connected())
                return;
        }
    }
}

template <class TMsg, class... TFields>
TMsg TNavlet::Heard(TMsg m, TFields TMsg::*... fields) const {
    const bool utf8 = kit.textMetrics.TextCode() == TTextCode::Utf8;
    ((m.*fields = utf8 ? BlankedUtf8(TextFromServer(std::move(m.*fields)))
                       : Blanked(TextFromServer(std::move(m.*fields)))),
     ...);
    return m;
}

std::string TNavlet::TextFromServer(std::string text) const {
    if (kit.textMetrics.TextCode() == TTextCode::Cp1252 || IsAscii(text))
        return text;
    return wireCode == TTextCode::Cp1252 ? Utf8FromCp1252(text) : WholeUtf8(text);
}

std::string TNavlet::TextForServer(std::string_view text, size_t maxBytes) const {
    if (kit.textMetrics.TextCode() == TTextCode::Cp1252)
        return std::string(text);
    if (wireCode == TTextCode::Cp1252)
        return Cp1252FromUtf8(text);
    return std::string(text.substr(0, Utf8Prefix(text, maxBytes)));
}

void TNavlet::DispatchPacket(const TPacket& packet) {
    // Only a notice that is the session's last word is its reason.
    if (packet.Type() != MSG_END_SESSION)
        endReason.clear();
    // Every text a peer or the server sends is Blanked before the bar shows
    // it anywhere: the conversation, the ticker, the lists.
    switch (packet.Type()) {
    case MSG_END_SESSION:
        EndSession();
        return;
    case MSG_CHAT_LINE:
        ChatLineReceived(Heard(ReadChatLine(packet), &TChatLineMsg::text));
        ChatCommand(packet.Subtype());
        return;
    case MSG_MEMBER_JOINED:
        MemberJoined(ReadMember(packet));
        return;
    case MSG_MEMBER_LEFT:
        MemberLeft(ReadMember(packet));
        return;
    case MSG_PRESENCE: {
        const TPresenceMsg record = ReadPresence(packet);
        // The own record says whether the server speaks UTF-8 with us.
        if (record.chatKey != 0 && record.listFlag == 0)
            wireCode =
                packet.Subtype() == TEXT_UTF8 ? kit.textMetrics.TextCode() : TTextCode::Cp1252;
        PresenceRecord(Heard(record, &TPresenceMsg::nick));
        return;
    }
    case MSG_USER_LEFT:
        UserLeftSite(ReadUserLeft(packet));
        return;
    case MSG_BANNER:
        ShowBanner(ReadBanner(packet).bannerId);
        return;
    case MSG_SEARCH_ANSWER:
        SearchAnswerReceived(Heard(ReadSearchAnswer(packet), &TSearchAnswerMsg::nick));
        return;
    case MSG_DATED_LINE:
        DatedLineReceived(Heard(ReadDatedLine(packet), &TDatedLineMsg::nick, &TDatedLineMsg::text));
        return;
    case MSG_LOOKING_FOR_YOU:
        LookingForYouReceived(Heard(ReadLookingForYou(packet), &TLookingForYouMsg::nick,
                                    &TLookingForYouMsg::message));
        return;
    case MSG_MARK:
        MarkReceived(Heard(ReadMark(packet), &TMarkMsg::nick));
        return;
    case MSG_FRIEND_HERE:
        FriendHereReceived(Blanked(ReadFriendHere(packet), &TFriendHereMsg::nick));
        return;
    case MSG_UPDATE_CHUNK:
        UpdateChunkReceived(ReadUpdateChunk(packet));
        return;
    default:
        return; // types the bar does not know are read and dropped
    }
}

void TNavlet::EndSession() {
    // As if the user had switched the session off: "Disconnected", and no
    // reconnection. Nothing happens when the socket is not connected.
    SwitchSession(false);
}

void TNavlet::ChatCommand(uint8_t command) {
    switch (command) {
    case CHAT_RECONNECT:
        reconnect_timer.SetEnabled(true);
        return;
    case CHAT_FORCE_UPDATE:
        moduleVersion = FORCED_VERSION;
        updateVersion = FORCED_VERSION;
        SyncSettings(0, 0, 0, 0, 0, 1, 0);
        AppendLine(/*eventLine=*/false, /*sender=*/0, CONSOLE_CHAT,
                   "client> forzo la versione alla 1.0.0.0", /*stamp=*/0, "");
        upd_timerTimer();
        return;
    case CHAT_REPLY_TIME:
        AppendLine(/*eventLine=*/false, /*sender=*/0, CONSOLE_CHAT,
                   ReplyTimeLine(kit.clock.LocalNow(), lastSendTime), /*stamp=*/0, "");
        return;
    default:
        return;
    }
}

void TNavlet::UpdateChunkReceived(const TUpdateChunkMsg& chunk) {
    const TChunkClass what = ClassifyUpdateChunk(moduleVersion, chunk, updateHandle >= 0);
    if (what == TChunkClass::Wanted) {
        WriteUpdateChunk(chunk);
        return;
    }
    upd_timer.SetInterval(NOTHING_NEWER_MS);
    upd_timer.SetEnabled(true);
    if (what == TChunkClass::InstallReady)
        InstallUpdate(chunk.offset);
}

void TNavlet::upd_timerTimer() {
    TPacket packet;
    ClearPacket(packet);
    upd_timer.SetEnabled(false);
    SendUpdateRequest(packet, *ClientSocket, updateBytes, updateVersion);
}

} // namespace navlet
