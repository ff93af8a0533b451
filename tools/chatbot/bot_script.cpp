#include "tools/chatbot/bot_script.h"

#include <algorithm>
#include <array>

namespace navlet::chatbot {

namespace {

struct TStepSpelling {
    const char* option;
    TStepKind kind;
    bool takesNick;
    bool takesText;
};

constexpr std::array<TStepSpelling, 9> STEPS{{
    {"--wait-user", TStepKind::WaitUser, true, false},
    {"--say", TStepKind::Say, false, true},
    {"--expect-public", TStepKind::ExpectPublic, true, true},
    {"--invite", TStepKind::Invite, true, false},
    {"--expect-invite", TStepKind::ExpectInvite, true, false},
    {"--say-private", TStepKind::SayPrivate, false, true},
    {"--expect-private", TStepKind::ExpectPrivate, true, true},
    {"--call", TStepKind::Call, true, true},
    {"--wait-gone", TStepKind::WaitGone, true, false},
}};

const TStepSpelling& SpellingOf(TStepKind kind) {
    return *std::find_if(STEPS.begin(), STEPS.end(),
                         [kind](const TStepSpelling& s) { return s.kind == kind; });
}

// How a step reads in the report: "say", "wait-user"...
std::string NameOf(TStepKind kind) {
    return SpellingOf(kind).option + 2;
}

} // namespace

std::optional<std::vector<TStep>> ParseSteps(const std::vector<std::string>& args, size_t first,
                                             std::string& error) {
    std::vector<TStep> steps;
    for (size_t i = first; i < args.size(); ++i) {
        auto spelling = std::find_if(STEPS.begin(), STEPS.end(),
                                     [&](const TStepSpelling& s) { return args[i] == s.option; });
        if (spelling == STEPS.end()) {
            error = "unknown step " + args[i];
            return std::nullopt;
        }
        const size_t wanted = size_t(spelling->takesNick) + size_t(spelling->takesText);
        if (args.size() - i - 1 < wanted) {
            error = args[i] + " needs " + (wanted == 2 ? "two arguments" : "an argument");
            return std::nullopt;
        }
        TStep step{spelling->kind, {}, {}};
        if (spelling->takesNick)
            step.nick = args[++i];
        if (spelling->takesText)
            step.text = args[++i];
        if ((spelling->takesNick && step.nick.empty()) ||
            (spelling->takesText && step.text.empty())) {
            error = args[i] + ": empty argument";
            return std::nullopt;
        }
        steps.push_back(std::move(step));
    }
    return steps;
}

bool TBotScript::Run(const std::vector<TStep>& steps, std::ostream& report) {
    for (size_t i = 0; i < steps.size(); ++i) {
        const int64_t start = link.NowMs();
        const std::string failure = RunStep(steps[i]);
        report << "step " << i + 1 << " " << NameOf(steps[i].kind);
        if (!failure.empty()) {
            report << " failed: " << failure << std::endl;
            return false;
        }
        report << " ok " << link.NowMs() - start << " ms" << std::endl;
    }
    return true;
}

template <typename Done> bool TBotScript::WaitUntil(Done done) {
    const int64_t end = link.NowMs() + stepTimeoutMs;
    while (!done()) {
        const int64_t left = end - link.NowMs();
        if (left <= 0 || session.Ended())
            return false;
        if (!link.Receive(session, int(std::min<int64_t>(left, 200))))
            return done();
    }
    return true;
}

bool TBotScript::HasLine(const std::string& nick, ChatId chat, const std::string& text) const {
    const UserId sender = session.KnownUser(nick);
    return std::any_of(
        session.Lines().begin(), session.Lines().end(), [&](const TReceivedLine& line) {
            // A dated line names its sender by nick only.
            const bool fromSender =
                line.sender == 0 ? line.nick == nick : sender != 0 && line.sender == sender;
            return fromSender && line.chat == chat && line.text.find(text) != std::string::npos;
        });
}

std::string TBotScript::RunStep(const TStep& step) {
    const std::string& nick = step.nick;
    switch (step.kind) {
    case TStepKind::WaitUser:
        return WaitUntil([&] { return session.UserOnSite(nick) != 0; })
                   ? ""
                   : nick + " did not come to the site";
    case TStepKind::Say:
        return link.Send(session.PublicLineBytes(step.text)) ? "" : "connection lost";
    case TStepKind::ExpectPublic:
        return WaitUntil([&] { return HasLine(nick, /*chat=*/0, step.text); })
                   ? ""
                   : "no public line of " + nick + " with \"" + step.text + "\"";
    case TStepKind::Invite: {
        const UserId user = session.UserOnSite(nick);
        if (user == 0)
            return nick + " is not on the site";
        const std::string bytes = session.NewPrivateChatBytes(user, currentChat);
        if (bytes.empty())
            return "no private chat left to make";
        return link.Send(bytes) ? "" : "connection lost";
    }
    case TStepKind::ExpectInvite: {
        const TInvitation* found = nullptr;
        const bool invited = WaitUntil([&] {
            const UserId inviter = session.KnownUser(nick);
            for (const TInvitation& invitation : session.Invitations())
                if (inviter != 0 && invitation.inviter == inviter)
                    found = &invitation;
            return found != nullptr;
        });
        if (!invited)
            return nick + " did not invite the bot";
        currentChat = found->chat;
        return "";
    }
    case TStepKind::SayPrivate:
        if (currentChat == 0)
            return "no private chat yet";
        return link.Send(session.PrivateLineBytes(currentChat, step.text)) ? "" : "connection lost";
    case TStepKind::ExpectPrivate:
        if (currentChat == 0)
            return "no private chat yet";
        return WaitUntil([&] { return HasLine(nick, currentChat, step.text); })
                   ? ""
                   : "no private line of " + nick + " with \"" + step.text + "\"";
    case TStepKind::Call: {
        const uint64_t answersBefore = session.AnswersReceived();
        if (!link.Send(session.CallBytes(nick, step.text)))
            return "connection lost";
        const TSearchAnswer* answer = nullptr;
        const bool answered = WaitUntil([&] {
            for (const TSearchAnswer& a : session.SearchAnswers())
                if (a.serial > answersBefore && a.nick == nick)
                    answer = &a;
            return answer != nullptr;
        });
        if (!answered)
            return "no answer to the call";
        return answer->result > 0 ? "" : nick + " is not online";
    }
    case TStepKind::WaitGone:
        return WaitUntil([&] { return session.UserOnSite(nick) == 0; })
                   ? ""
                   : nick + " did not leave the site";
    }
    return "unknown step";
}

} // namespace navlet::chatbot
