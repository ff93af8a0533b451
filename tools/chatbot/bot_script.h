// The steps of a scripted bot and their order. Each step either sends one
// request or waits, up to the step's time limit, for what the server tells
// the session; the script stops at the first step that fails.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/chatbot/bot_session.h"

namespace navlet::chatbot {

enum class TStepKind {
    WaitUser,      // NICK: until NICK is on the bot's site
    Say,           // TEXT: a public line
    ExpectPublic,  // NICK TEXT: until a public line of NICK's holds TEXT
    Invite,        // NICK: a new private chat with NICK, which becomes the current one
    ExpectInvite,  // NICK: until NICK invites the bot; that chat becomes the current one
    SayPrivate,    // TEXT: a line in the current private chat
    ExpectPrivate, // NICK TEXT: until a line of NICK's in the current private chat holds TEXT
    Call,          // NICK MESSAGE: search for NICK with a message; until the answer says called
    WaitGone,      // NICK: until NICK has left the bot's site
};

struct TStep {
    TStepKind kind;
    std::string nick;
    std::string text;
};

// "--wait-user NICK", "--say TEXT", ... as the command line gives them, from
// `args[first]` on. Nullopt with `error` set for an unknown step or a missing
// argument.
std::optional<std::vector<TStep>> ParseSteps(const std::vector<std::string>& args, size_t first,
                                             std::string& error);

// What the script needs of the connection.
class TBotLink {
  public:
    virtual ~TBotLink() = default;
    // Sends the bytes whole; false when the connection failed.
    virtual bool Send(const std::string& bytes) = 0;
    // Hands the session what arrived within `timeoutMs`; false when the
    // connection is gone.
    virtual bool Receive(TBotSession& session, int timeoutMs) = 0;
    // Milliseconds of a steady clock.
    virtual int64_t NowMs() const = 0;
};

class TBotScript {
  public:
    TBotScript(TBotSession& session, TBotLink& link, int stepTimeoutMs)
        : session(session), link(link), stepTimeoutMs(stepTimeoutMs) {}

    // Runs the steps in order, one report line each ("step 3 say ok"); true
    // when every step succeeded.
    bool Run(const std::vector<TStep>& steps, std::ostream& report);

  private:
    // Empty when the step succeeded, else why not.
    std::string RunStep(const TStep& step);
    // Receives until `done` holds; false at the time limit or the session's end.
    template <typename Done> bool WaitUntil(Done done);
    bool HasLine(const std::string& nick, ChatId chat, const std::string& text) const;

    TBotSession& session;
    TBotLink& link;
    int stepTimeoutMs;
    ChatId currentChat = 0;
};

} // namespace navlet::chatbot
