// Chat lines as the bar sends them: a site's public lines here, private
// chats' lines to the chat desk.
#include "server/core/service.h"

#include <algorithm>

namespace navlet::server {

bool ReadsLanguage(uint32_t mask, int language) {
    int bit = (language >= 1 && language <= MAX_LANGUAGE) ? language - 1 : 31;
    return (mask >> bit) & 1u;
}

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
        PublicLine(client, request.text);
        return;
    }
    chats.PrivateLine(client, chat, request.text);
}

void TService::PublicLine(TClient& client, const std::string& text) {
    TSite* site = client.site;
    if (!site)
        return;
    const TAccount& sender = client.account->account;
    TPacket p;
    ClearPacket(p);
    TChatLineMsg line;
    line.address = MakeChatAddress(sender.id, 0);
    line.text = text;
    int length = WriteChatLine(p, line);
    TWireRef wire = EncodeWire(p, length, MSG_CHAT_LINE);
    for (TClient* other : site->users) {
        if (other != &client && ReadsLanguage(other->languageMask, sender.language))
            other->sink.Deliver(wire);
    }
    nodeLink->PublicLine(site->host, sender.id, sender.language, sender.nick, text);
    site->recent.push_back(TPublicLine{clock.NowUtcDays(), sender.nick, text, sender.language});
    while (site->recent.size() > config.recentLines)
        site->recent.pop_front();
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
