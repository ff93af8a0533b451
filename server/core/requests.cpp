// The requests of signed-in sessions, handed to the subsystems, and the
// operator's targets.
#include "server/core/service.h"

namespace navlet::server {

void TService::Handle(TClient& client, const TPacket& p) {
    if (!client.SignedIn())
        return;
    accountDesk.NoteActivity(client);
    windows.NoteActivity(client);
    switch (p.Type()) {
    case REQ_SITE_REPORT:
        siteDesk.SiteReport(client, ReadSiteReport(p));
        break;
    case REQ_CHAT_TEXT:
        chats.Say(client, ReadChatText(p));
        break;
    case REQ_INVITE:
        chats.Invite(client, ReadChatAddressRequest(p));
        break;
    case REQ_LEAVE_CHAT:
        chats.LeaveChat(client, ReadChatAddressRequest(p).Chat(), /*tellOthers=*/true);
        break;
    case REQ_LANGUAGE_FILTER:
        client.languageMask = ReadLanguageFilter(p);
        break;
    case REQ_FIND_USER:
        calls.FindUser(client, ReadFindUser(p), /*withMessage=*/false);
        break;
    case REQ_FIND_USER_WITH_MESSAGE:
        calls.FindUser(client, ReadFindUser(p), /*withMessage=*/true);
        break;
    case REQ_FRIEND_CHANGE:
        friendDesk.FriendChange(client, ReadFriendChange(p));
        break;
    case REQ_IGNORE_CHANGE:
    case REQ_BLOCK_CHANGE:
        shields.Change(client, p.Type(), ReadMarkChange(p));
        break;
    case REQ_REPORT:
        reports.Report(client, ReadReport(p));
        break;
    case REQ_PRIVACY:
        SetPrivacy(client, ReadPrivacy(p));
        break;
    case REQ_UPDATE:
        updates.Request(client, ReadUpdateRequest(p));
        break;
    default:
        break; // the login again, or nothing the bar sends
    }
}

std::vector<TClient*> TService::Resolve(const TTarget& target, bool& unknownUser) {
    std::vector<TClient*> out;
    unknownUser = false;
    switch (target.kind) {
    case TTarget::All:
        out = accountDesk.Sessions();
        break;
    case TTarget::User:
        if (TAccountEntry* entry = accountDesk.OnlineByNick(target.name))
            out = entry->sessions;
        else
            unknownUser = true;
        break;
    case TTarget::Site:
        out = siteDesk.SessionsOn(target.name);
        break;
    }
    return out;
}

} // namespace navlet::server
