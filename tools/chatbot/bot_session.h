// One user of the session server as a bot sees it: who is on its site, the
// lines it received, the private chats it was brought into. Socket-free:
// plain packets go in, the bytes of requests come out, ready for the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/chat_address.h"
#include "protocol/packet.h"

namespace navlet::chatbot {

struct TReceivedLine {
    UserId sender = 0; // 0 for a dated line, which names its sender by nick only
    ChatId chat = 0;
    std::string nick; // the sender's nick when known
    std::string text;
};

// A private chat that another user invited this one into.
struct TInvitation {
    UserId inviter = 0;
    ChatId chat = 0;
};

struct TSearchAnswer {
    uint64_t serial = 0; // 1 for the session's first answer, and so on
    std::string nick;
    int32_t result = 0;
};

class TBotSession {
  public:
    // Bounds on what a session keeps of what the server sends.
    static constexpr size_t MAX_LINES = 1000;
    static constexpr size_t MAX_KNOWN_USERS = 10000;

    TBotSession(std::string nick, std::string password, std::string site);

    // `msSinceMidnight` is the local time of day the login carries.
    std::string LoginBytes(uint32_t msSinceMidnight) const;
    std::string PublicLineBytes(std::string_view text) const;
    // Makes a new private chat of this user's own and invites `user` into it;
    // `chat` receives its id. Empty when this user has made its 255 chats.
    std::string NewPrivateChatBytes(UserId user, ChatId& chat);
    std::string PrivateLineBytes(ChatId chat, std::string_view text) const;
    std::string CallBytes(std::string_view nick, std::string_view message) const;

    // Takes one verified plain packet from the server.
    void Take(const TPacket& packet);

    // The server sent this user's own presence record, with its chat key.
    bool SignedIn() const { return chatKey != 0; }
    // The server ended the session.
    bool Ended() const { return ended; }
    // A user of this nick on the bot's site now (exact spelling); 0 when none.
    UserId UserOnSite(std::string_view nick) const;
    // The id the server gave `nick` in any presence record so far; 0 when none.
    UserId KnownUser(std::string_view nick) const;
    const std::vector<TReceivedLine>& Lines() const { return lines; }
    const std::vector<TInvitation>& Invitations() const { return invitations; }
    // The latest answers to this user's searches, oldest first.
    const std::vector<TSearchAnswer>& SearchAnswers() const { return searchAnswers; }
    uint64_t AnswersReceived() const { return answersReceived; }
    // Ticker and console notices from the server (user 0), for reports.
    const std::vector<std::string>& Notices() const { return notices; }

  private:
    void TakePresence(const TPacket& packet);
    void TakeChatLine(const TPacket& packet);
    void TakeMember(const TPacket& packet);
    void Keep(TReceivedLine line);
    std::string NickOf(UserId user) const;

    std::string nick, password, site;
    UserId myId = 0;
    uint64_t chatKey = 0;
    uint8_t chatsMade = 0;
    bool ended = false;
    std::map<UserId, std::string> onSite;
    std::map<std::string, UserId, std::less<>> known;
    std::vector<TReceivedLine> lines;
    std::vector<TInvitation> invitations;
    std::vector<TSearchAnswer> searchAnswers;
    uint64_t answersReceived = 0;
    std::vector<std::string> notices;
};

} // namespace navlet::chatbot
