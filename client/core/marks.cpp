// Ignore and block: the users the user ignores or blocks, their muted
// entries, and the changes the menus make.
#include <algorithm>

#include "client/core/lists.h"
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// There is no art of its own for an ignored user: the entry takes the greyed
// image of an offline friend, which reads as "muted".
int32_t MutedImage(int32_t image) {
    return FriendImage(image, /*online=*/false);
}

} // namespace

uint8_t TNavlet::MarkOf(UserId user) const {
    auto it = marks.find(user);
    return it == marks.end() ? MARK_NONE : it->second;
}

const char* TNavlet::IgnoreCaption(uint8_t mark) {
    return mark == MARK_IGNORED ? "Stop ignoring" : "Ignore this user";
}

const char* TNavlet::BlockCaption(uint8_t mark) {
    return mark == MARK_BLOCKED ? "Unblock" : "Block this user";
}

TNavlet::TMarkAction TNavlet::IgnoreAction(uint8_t mark) {
    return mark == MARK_IGNORED ? TMarkAction::StopIgnoring : TMarkAction::Ignore;
}

TNavlet::TMarkAction TNavlet::BlockAction(uint8_t mark) {
    return mark == MARK_BLOCKED ? TMarkAction::Unblock : TMarkAction::Block;
}

void TNavlet::MarkReceived(const TMarkMsg& m) {
    if (m.user == 0 || m.user == myUserId || m.mark > MARK_BLOCKED)
        return;
    if (m.mark == MARK_NONE)
        marks.erase(m.user);
    else
        marks[m.user] = m.mark;
    const int index = FindUser(m.user);
    if (index < 0)
        return;
    const bool muted = m.mark != MARK_NONE;
    lvUsers.Update(index, [muted](TListItem& item) {
        item.stateIndex = muted ? MutedImage(item.stateIndex) : BaseGenderImage(item.stateIndex);
    });
    if (!muted)
        if (const TTabSheet* active = TabByIndex(-1))
            MarkChatMembers(*active->tag);
}

void TNavlet::ChangeMark(UserId user, const std::string& nick, TMarkAction action, bool chatMenu) {
    if (user == 0 || user == myUserId)
        return;
    const uint8_t current = MarkOf(user);
    uint8_t next = current;
    TPacket packet;
    ClearPacket(packet);
    switch (action) {
    case TMarkAction::Ignore:
        next = current == MARK_BLOCKED ? current : MARK_IGNORED;
        SendIgnoreChange(packet, *ClientSocket, user, MARK_SET);
        break;
    case TMarkAction::StopIgnoring:
        next = current == MARK_IGNORED ? MARK_NONE : current;
        SendIgnoreChange(packet, *ClientSocket, user, MARK_CLEAR);
        break;
    case TMarkAction::Block:
        next = MARK_BLOCKED;
        SendBlockChange(packet, *ClientSocket, user, MARK_SET);
        break;
    case TMarkAction::Unblock:
        next = current == MARK_BLOCKED ? MARK_NONE : current;
        SendBlockChange(packet, *ClientSocket, user, MARK_CLEAR);
        break;
    }
    MarkReceived(TMarkMsg{user, next, nick});
    if (next != MARK_BLOCKED || current == MARK_BLOCKED)
        return;
    // A block leaves every private chat shared with the user; the server
    // does the same for the account's other windows.
    TTabSheet* active = TabByIndex(-1);
    for (int i = PageControl.PageCount() - 1; i >= 1; --i) {
        TTabSheet& sheet = PageControl.Page(i);
        const auto& members = sheet.tag->members;
        if (std::find(members.begin(), members.end(), user) == members.end())
            continue;
        if (chatMenu && &sheet == active)
            closingSheet = active; // closed once the menu's click is over
        else
            CloseChatTab(sheet, TCloseNotify::TellServer);
    }
}

} // namespace navlet
