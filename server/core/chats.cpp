// Chat lines as the bar sends them: a site's public lines to the sites,
// private chats' lines to the chat desk.
#include "server/core/service.h"

#include <algorithm>

namespace navlet::server {

namespace {

bool IsBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) <= ' '; });
}

} // namespace

void TService::ChatText(TClient& client, const TChatTextRequest& request) {
    if (IsBlank(request.text))
        return;
    if (!client.chatBudget.Take(clock.NowMs(), config.chatPerSecond, config.chatBurst))
        return; // over the rate: dropped
    ChatId chat = request.address.Chat();
    if (chat == 0) {
        siteDesk.PublicLine(client, request.text);
        return;
    }
    chats.PrivateLine(client, chat, request.text);
}

} // namespace navlet::server
