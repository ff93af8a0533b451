// Chat lines as the bar sends them: a site's public lines to the sites,
// private chats' lines to the chat desk; and what the chat desk asks of the
// sites.
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

std::string_view TService::HostOf(const TSite* site) const {
    return site ? std::string_view(site->host) : std::string_view();
}

std::set<std::string> TService::NodesOn(const TSite& site, uint64_t accountId) const {
    std::set<std::string> nodes;
    for (const TRemoteUser& user : site.remote)
        if (user.account.id == accountId)
            nodes.insert(user.node);
    return nodes;
}

bool TService::PresentBesides(const TSite& site, uint64_t accountId,
                              const std::string& node) const {
    return std::any_of(site.people.begin(), site.people.end(),
                       [&](const TPerson& p) { return p.entry->account.id == accountId; }) ||
           std::any_of(site.remote.begin(), site.remote.end(), [&](const TRemoteUser& r) {
               return r.account.id == accountId && r.node != node;
           });
}

} // namespace navlet::server
