// What the user does with other people: the users menu on lvUsers, the
// friends menu on lvFriends, profiles and the friends list.
#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "client/core/actions.h"
#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

enum TUsersMenuId : uint16_t {
    umViewProfile = 101,
    umInviteNew = 102,
    umInviteHere = 103,
    umAddFriend = 105,
    umIgnore = 106, // or stop ignoring
    umBlock = 107,  // or unblock
    umReport = 110,
};

enum TFriendsMenuId : uint16_t {
    fmViewProfile = 501,
    fmDeleteFriend = 502,
    fmSearchFriend = 503,
};

constexpr int MAX_CHAT_TABS = 256;
// The menus open just below the selected entry's top edge.
constexpr int32_t ENTRY_MENU_OFFSET = 13;

bool HasOneToOneChatWith(TPageControl& pages, UserId user) {
    for (int i = 1; i < pages.PageCount(); ++i) {
        const auto& members = pages.Page(i).tag->members;
        if (members.size() == 1 && members.front() == user)
            return true;
    }
    return false;
}

void RestartTimer(TTimer& timer) {
    timer.SetEnabled(false);
    timer.SetEnabled(true);
}

} // namespace

int FindComboItem(const TComboBoxEx& box, const std::string& nick) {
    for (int i = 0; i < box.ItemCount(); ++i)
        if (EqualsFolded(box.Item(i).caption, nick))
            return i;
    return -1;
}

std::string ProfileAddress(const std::string& host, uint32_t lcid, uint64_t user) {
    char tail[96];
    std::snprintf(tail, sizeof tail, "/viewprofile.asp?idLocale=%d&idUtente=%" PRIu64, int(lcid),
                  user);
    return host + tail;
}

void TNavlet::RefreshUsersMenu(const TListItem& entry) {
    const UserId user = UserIdOfEntry(entry);
    const bool other = user != myUserId;
    usersMenu->EnableItem(umViewProfile, 1);
    usersMenu->EnableItem(umInviteNew, other && PageControl.PageCount() < MAX_CHAT_TABS &&
                                           !HasOneToOneChatWith(PageControl, user));
    const TTabSheet* active = TabByIndex(-1);
    const bool inPrivate = active && IsPrivateChat(active->tag->chatId);
    const bool member =
        inPrivate && std::find(active->tag->members.begin(), active->tag->members.end(), user) !=
                         active->tag->members.end();
    usersMenu->EnableItem(umInviteHere, other && inPrivate && !member);
    usersMenu->EnableItem(umAddFriend, other && FindComboItem(cbSearch, entry.caption) < 0 &&
                                           MarkOf(user) != MARK_BLOCKED);
    const uint8_t mark = MarkOf(user);
    usersMenu->handle->FindItem(umIgnore)->caption = IgnoreCaption(mark);
    usersMenu->handle->FindItem(umBlock)->caption = BlockCaption(mark);
    // A block holds the ignoring: it is undone by unblocking.
    usersMenu->EnableItem(umIgnore, other && mark != MARK_BLOCKED);
    usersMenu->EnableItem(umBlock, other);
    usersMenu->EnableItem(umReport, other);
}

void TNavlet::lvUsersPopup(int32_t entryX, int32_t entryY, bool& handled) {
    handled = true;
    const int selected = lvUsers.Selected();
    if (selected < 0)
        return;
    RefreshUsersMenu(lvUsers.Item(selected));
    // The entry is remembered by value: the list may change while the menu is open.
    const TListItem entry = lvUsers.Item(selected);
    const int16_t choice = Track(*usersMenu, entryX, entryY + ENTRY_MENU_OFFSET, &lvUsers);
    switch (choice) {
    case umViewProfile:
        ViewProfile(UserIdOfEntry(entry));
        break;
    case umInviteNew:
        InviteInNewPrivateChat(entry);
        break;
    case umInviteHere:
        InviteInActiveChat(entry);
        break;
    case umAddFriend:
        AddFriend(entry);
        break;
    case umIgnore:
        ChangeMark(UserIdOfEntry(entry), entry.caption, IgnoreAction(MarkOf(UserIdOfEntry(entry))),
                   /*chatMenu=*/false);
        break;
    case umBlock:
        ChangeMark(UserIdOfEntry(entry), entry.caption, BlockAction(MarkOf(UserIdOfEntry(entry))),
                   /*chatMenu=*/false);
        break;
    case umReport:
        ReportUser(UserIdOfEntry(entry), entry.caption, /*chatMenu=*/false);
        break;
    default:
        break;
    }
}

void TNavlet::lvFriendsPopup(int32_t entryX, int32_t entryY, bool& handled) {
    handled = true;
    const int selected = lvFriends.Selected();
    if (selected < 0)
        return;
    const TListItem entry = lvFriends.Item(selected);
    BannerTimer.SetEnabled(false);
    TBarMenu menu("");
    menu.AppendItem({"View profile...", fmViewProfile})
        .AppendItem({"Delete friend", fmDeleteFriend})
        .AppendItem({"Search friend...", fmSearchFriend});
    switch (Track(menu, entryX, entryY + ENTRY_MENU_OFFSET, &lvFriends)) {
    case fmViewProfile:
        ViewProfile(UserIdOfEntry(entry));
        break;
    case fmDeleteFriend: {
        // Looked up again: the friends list may have changed while the menu was open.
        const auto& items = lvFriends.Items();
        const auto it = std::find_if(items.begin(), items.end(), [&](const TListItem& f) {
            return f.data == entry.data && f.caption == entry.caption;
        });
        if (it != items.end())
            DeleteFriend(int(it - items.begin()));
        break;
    }
    case fmSearchFriend:
        ShowSearchPanel();
        cbSearch.SetItemIndex(FindComboItem(cbSearch, entry.caption));
        ActiveControl.SetFocus(ftEdSearchMsg);
        break;
    default:
        // The panel stays until a key in the list or another panel.
        break;
    }
}

void TNavlet::ViewProfile(UserId user) {
    RestartTimer(BannerTimer);
    NavigateBanner(ProfileAddress(WebSiteAddress(), userLcid, user), TBannerPage::Profile);
}

void TNavlet::AddFriend(const TListItem& entry) {
    const UserId user = UserIdOfEntry(entry);
    if (user == 0 || user == myUserId)
        return;
    TPacket packet;
    ClearPacket(packet);
    SendFriendChange(packet, *ClientSocket, user, FRIEND_ADD);
    const int32_t image = BaseGenderImage(entry.stateIndex);
    cbSearch.AddItem(TComboExItem{entry.caption, image, image});
    lvFriends.Add(TListItem{entry.caption, image, user});
}

void TNavlet::DeleteFriend(int friendIndex) {
    if (friendIndex < 0 || friendIndex >= lvFriends.Count())
        return;
    const TListItem entry = lvFriends.Item(friendIndex);
    TPacket packet;
    ClearPacket(packet);
    SendFriendChange(packet, *ClientSocket, UserIdOfEntry(entry), FRIEND_REMOVE);
    cbSearch.DeleteItem(FindComboItem(cbSearch, entry.caption));
    lvFriends.Delete(friendIndex);
    BannerTimer.SetEnabled(true);
}

void TNavlet::FriendsBtnClick() {
    if (!loggedIn)
        return;
    SetBannerMode(bmFriends);
    RestartTimer(BannerTimer);
}

} // namespace navlet
