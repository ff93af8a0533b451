#include "server/core/operator.h"

#include <algorithm>

#include "protocol/messages.h"
#include "server/core/wire.h"

namespace navlet::server {

namespace {

constexpr ChatId CONSOLE_CHAT = 0x400;
constexpr ChatId SILENT_CHAT = 0x500; // dropped by the bar's line routing

ChatId NoticeChat(TNoticeKind kind, uint8_t buttons) {
    switch (kind) {
    case TNoticeKind::Status:
        return 0x100;
    case TNoticeKind::Ticker:
        return 0x200;
    case TNoticeKind::Buttons:
        return 0x300 | buttons;
    case TNoticeKind::Console:
        return CONSOLE_CHAT;
    }
    return SILENT_CHAT;
}

} // namespace

int TOperatorDesk::Notice(const TTarget& target, TNoticeKind kind, uint8_t buttons,
                          std::string_view text, TTotalFn total) {
    return SendLine(target, NoticeChat(kind, buttons), CHAT_PLAIN, text, std::move(total));
}

int TOperatorDesk::Command(const TTarget& target, uint8_t command, std::string_view text,
                           TTotalFn total) {
    return SendLine(target, text.empty() ? SILENT_CHAT : CONSOLE_CHAT, command, text,
                    std::move(total));
}

namespace {

// This node's count with the other nodes'; -1 when nobody knew the user.
TClusterLink::TReachedFn AddHere(int here, TOperatorDesk::TTotalFn total) {
    if (!total)
        return nullptr;
    return [here, total = std::move(total)](int there) {
        total(here < 0 && there < 0 ? -1 : std::max(0, here) + std::max(0, there));
    };
}

} // namespace

// In a cluster the other nodes deliver the line to their own users too; the
// count is this node's, and a user unknown here may be there (0, not -1).
int TOperatorDesk::SendLine(const TTarget& target, ChatId chat, uint8_t command,
                            std::string_view given, TTotalFn total) {
    // The operator types on a terminal (UTF-8); older tools sent the bars'
    // Windows-1252, which never reads as UTF-8.
    std::string text = Utf8FromEither(given);
    BlankControlsIn(text);
    int here = DeliverLine(target, chat, command, text);
    link->OperatorLine(int(target.kind), target.name, chat, command, text,
                       AddHere(here, std::move(total)));
    return link->CountBeforeOthers(here);
}

int TOperatorDesk::DeliverLine(const TTarget& target, ChatId chat, uint8_t command,
                               std::string_view text) {
    bool unknown = false;
    std::vector<TClient*> receivers = resolve(target, unknown);
    if (unknown)
        return -1;
    // Other nodes pass on what their operator typed; an older node, as it came.
    const std::string utf8 = Utf8FromEither(text);
    TCodedLine line(MakeChatAddress(0, chat), utf8, command);
    for (TClient* c : receivers)
        c->sink.Deliver(line.For(c->textCode));
    return int(receivers.size());
}

// As with notices, a user unknown here may be signed in on another node.
int TOperatorDesk::Kick(const TTarget& target, TTotalFn total) {
    int here = KickHere(target);
    link->KickElsewhere(int(target.kind), target.name, AddHere(here, std::move(total)));
    return link->CountBeforeOthers(here);
}

int TOperatorDesk::KickHere(const TTarget& target) {
    bool unknown = false;
    std::vector<TClient*> receivers = resolve(target, unknown);
    if (unknown)
        return -1;
    for (TClient* c : receivers)
        kick(*c);
    return int(receivers.size());
}

} // namespace navlet::server
