// The presence lists: the users of the current site (lvUsers) and the friends
// (lvFriends, with their nicks in cbSearch's drop-down list).
#include <algorithm>

#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// Base image of each gender image: a friend is always shown unmarked.
constexpr int32_t BASE_IMAGES[] = {giMale, giFemale, giMale,  giFemale, giOther,  giOther,
                                   giMale, giFemale, giOther, giMale,   giFemale, giOther};

constexpr int32_t IMAGE_COUNT = int32_t(std::size(BASE_IMAGES));

} // namespace

int32_t GenderImage(char gender) {
    if (gender == 'm')
        return giMale;
    if (gender == 'f')
        return giFemale;
    return giOther;
}

int32_t BaseGenderImage(int32_t image) {
    if (image < 0 || image >= IMAGE_COUNT)
        return image;
    return BASE_IMAGES[image];
}

int32_t FriendImage(int32_t image, bool online) {
    const int32_t base = BaseGenderImage(image);
    if (online || base < 0 || base >= IMAGE_COUNT)
        return base;
    return base == giMale ? giMaleOffline : base == giFemale ? giFemaleOffline : giOtherOffline;
}

int32_t FriendImage(int32_t image, TFriendState state) {
    const int32_t base = BaseGenderImage(image);
    if (state != TFriendState::Here || base < 0 || base >= IMAGE_COUNT)
        return FriendImage(image, state == TFriendState::Online);
    return base == giMale ? giMaleHere : base == giFemale ? giFemaleHere : giOtherHere;
}

TFriendState FriendStateOf(int32_t image) {
    if (image >= giMaleOffline && image <= giOtherOffline)
        return TFriendState::Offline;
    if (image >= giMaleHere && image <= giOtherHere)
        return TFriendState::Here;
    return TFriendState::Online;
}

int32_t MemberGenderImage(int32_t image, bool member) {
    if (image < 0 || image >= giOtherMember + 1)
        return image;
    if (!member)
        return BASE_IMAGES[image];
    switch (BASE_IMAGES[image]) {
    case giMale:
        return giMaleMember;
    case giFemale:
        return giFemaleMember;
    default:
        return giOtherMember;
    }
}

int TNavlet::FindUser(UserId id) const {
    for (int i = 0; i < lvUsers.Count(); ++i)
        if (UserIdOfEntry(lvUsers.Item(i)) == id)
            return i;
    return -1;
}

void TNavlet::PresenceRecord(const TPresenceMsg& m) {
    const int32_t image = GenderImage(m.gender);
    if (m.listFlag != 0) {
        FriendRecord(m, image);
        return;
    }
    // A user already listed keeps the nick and image of the first record.
    if (FindUser(m.user) >= 0)
        return;
    if (m.chatKey == 0) {
        if (sitePaused)
            return; // a record of the site left, still on its way
        SignalNews();
        lvUsers.Add(TListItem{
            m.nick, MarkOf(m.user) != MARK_NONE ? FriendImage(image, false) : image, m.user});
        TickerCountChanged();
        return;
    }
    // Only the signed-in user's own record carries a key: the sign-in is confirmed.
    ++loginCount;
    serverStatus.clear();
    const bool confirmsSignIn = !loggedIn;
    if (confirmsSignIn)
        SendPrivacy(); // an older server drops it
    // The greeting holds its turn before the people count takes the line.
    if (confirmsSignIn && !sitePaused)
        PostMsg(mkStatus, 0, "You're connected").ownTextFirst = true;
    loggedIn = true;
    edPwd.SetText("");
    myUserId = m.user;
    myChatKey = m.chatKey;
    myNick = m.nick;
    if (TTabSheet* publicTab = FindTabByChat(0))
        publicTab->tag->ownUserId = myUserId;
    SetBtnGlyph(LEDBtn, glLedSignedIn);
    SetBannerMode(bmDefault);
    upd_timerTimer();
    if (sitePaused) {
        // The server drops what a session sends while its sign-in is being
        // checked: a pause from that time is told again.
        if (confirmsSignIn) {
            TPacket packet;
            ClearPacket(packet);
            SendSiteReport(packet, *ClientSocket, "");
            // The ticker keeps saying so; the next web page says connected.
            statusBeforePause = "You're connected";
            PostMsg(mkStatus, 0, "%s", pauseLine.c_str());
        }
        return; // on no site: the user is listed nowhere
    }
    lvUsers.Add(TListItem{m.nick, image, m.user});
    TickerCountChanged();
}

void TNavlet::FriendRecord(const TPresenceMsg& m, int32_t gender) {
    const bool online = m.listFlag != LIST_FRIEND_OFFLINE;
    if (!online)
        friendsHere.erase(m.user); // gone from every site, this one too
    const int32_t image = FriendImage(gender, online ? FriendState(m.user) : TFriendState::Offline);
    // The server sends a friend's record again when the friend comes or goes:
    // the entry takes the new state.
    for (int i = 0; i < lvFriends.Count(); ++i) {
        const TListItem& entry = lvFriends.Item(i);
        if (UserIdOfEntry(entry) != m.user)
            continue;
        const bool wasOnline = FriendStateOf(entry.stateIndex) != TFriendState::Offline;
        lvFriends.Update(i, [image](TListItem& item) { item.stateIndex = image; });
        if (online && !wasOnline)
            PostMsg(mkNotice, 0, "Your friend %s is online", entry.caption.c_str());
        return;
    }
    cbSearch.AddItem(TComboExItem{m.nick, gender, gender});
    lvFriends.Add(TListItem{m.nick, image, m.user});
}

void TNavlet::UserLeftSite(const TUserLeftMsg& m) {
    // The own entry is never removed this way.
    if (m.user == myUserId)
        return;
    SetFriendHere(m.user, false);
    const int index = FindUser(m.user);
    if (index < 0)
        return;
    // Private tabs first, while the entry still gives the nick of the lines.
    for (int i = 1; i < PageControl.PageCount(); ++i) {
        ChatTab& tab = *PageControl.Page(i).tag;
        auto gone = std::remove(tab.members.begin(), tab.members.end(), m.user);
        if (gone == tab.members.end())
            continue;
        tab.members.erase(gone, tab.members.end());
        AppendLine(/*eventLine=*/true, m.user, tab.chatId, "left this site", 0, "");
    }
    lvUsers.Delete(FindUser(m.user));
    TickerCountChanged();
    // Alone on the site again: nothing left to blink for.
    if (lvUsers.Count() == 1 && led_timer.Enabled()) {
        led_timer.SetEnabled(false);
        SetBtnGlyph(LEDBtn, glLedNews);
    }
}

void TNavlet::MarkChatMembers(const ChatTab& tab) {
    for (int i = 0; i < lvUsers.Count(); ++i) {
        const TListItem& entry = lvUsers.Item(i);
        const bool member = std::find(tab.members.begin(), tab.members.end(),
                                      UserIdOfEntry(entry)) != tab.members.end();
        const int32_t image = MemberGenderImage(entry.stateIndex, member);
        if (image != entry.stateIndex)
            lvUsers.Update(i, [image](TListItem& item) { item.stateIndex = image; });
    }
}

void TNavlet::ResetPresence() {
    lvUsers.Clear();
    friendsToldHere.clear(); // a new site visit
    ForgetFriendsHere();
    const bool hadPrivateTabs = PageControl.PageCount() > 1;
    while (PageControl.PageCount() > 1)
        CloseChatTab(PageControl.Page(PageControl.PageCount() - 1), TCloseNotify::Silent);
    if (PageControl.PageCount() > 0)
        PageControl.Page(0).view->Clear();
    // The public tab is the active one now: Edit1 takes its colour back.
    if (hadPrivateTabs)
        PageControlChange();
    // Pending invitations and notices belong to the site that is gone.
    const size_t queued = msgQueue.size();
    msgQueue.remove_if([](const TMsgLine& line) { return line.kind != mkStatus; });
    // A line on show may have gone with them: the strip shows what is left.
    if (msgQueue.size() != queued && msgImage)
        RestartFrontLine();
    else
        TickerCountChanged();
}

void TNavlet::ClearPeopleLists() {
    lvUsers.Clear();
    lvFriends.Clear();
    cbSearch.ClearItems();
    marks.clear(); // the next sign-in lists them again
    friendsToldHere.clear();
    friendsHere.clear();
}

} // namespace navlet
