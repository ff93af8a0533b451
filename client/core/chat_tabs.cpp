// Chat tabs: their making and closing, the members of private chats, the
// active tab, and the chat context menu.
#include <algorithm>

#include "client/core/navlet.h"
#include "protocol/requests.h"

namespace navlet {

namespace {

// Edit1's background while a private chat is the active tab.
constexpr TColor PRIVATE_INPUT_COLOR = Rgb(83, 172, 255);
// The tab strip holds at most this many tabs.
constexpr int MAX_CHAT_TABS = 256;
constexpr uint8_t LAST_PRIVATE_CHAT_SEQ = 255;
constexpr const char* GROUP_SUFFIX = "'s group";

enum TChatMenuId : uint16_t {
    cmClose = 1,
    cmCopySelection = 2,
    cmCopyAll = 3,
    // A private chat's members, each with a submenu: ignore at FIRST + 2i,
    // block at FIRST + 2i + 1, report at FIRST_REPORT + i.
    cmFirstMemberMark = 10,
    cmFirstMemberReport = 100,
};
constexpr size_t MAX_MEMBER_MENUS = 16;

bool IsMember(const ChatTab& tab, UserId user) {
    return std::find(tab.members.begin(), tab.members.end(), user) != tab.members.end();
}

} // namespace

TTabSheet& TNavlet::CreateChatTab(const std::string& title, UserId owner, ChatId chat) {
    auto sheet = std::make_unique<TTabSheet>();
    sheet->tag = std::make_unique<ChatTab>();
    sheet->tag->ownUserId = myUserId;
    sheet->tag->chatId = chat;
    sheet->tag->ownerId = owner;
    sheet->view = std::make_unique<TChatView>();
    sheet->caption = title;
    const int previous = PageControl.ActivePageIndex();
    if (chat != 0)
        kit.sound.PlayAlias("MailBeep");
    TTabSheet& added = PageControl.AddPage(std::move(sheet));
    // A new tab takes the focus only when it is the first; otherwise it is
    // marked as holding text the user has not seen.
    if (previous >= 0) {
        PageControl.SetActivePageIndex(previous);
        PageControl.SetHighlighted(added, true);
    }
    return added;
}

TTabSheet* TNavlet::FindTabByChat(ChatId chat) {
    for (int i = PageControl.PageCount() - 1; i >= 0; --i)
        if (PageControl.Page(i).tag->chatId == chat)
            return &PageControl.Page(i);
    return nullptr;
}

TTabSheet* TNavlet::TabByIndex(int index) {
    if (index < 0)
        index = PageControl.ActivePageIndex();
    if (index < 0 || index >= PageControl.PageCount())
        return nullptr;
    return &PageControl.Page(index);
}

void TNavlet::CloseChatTab(TTabSheet& sheet, TCloseNotify notify) {
    const int index = PageControl.IndexOf(&sheet);
    if (index < 0)
        return;
    if (notify == TCloseNotify::TellServer && ClientSocket && ClientSocket->Connected()) {
        TPacket packet;
        ClearPacket(packet);
        // A failed send changes nothing: the tab closes anyway.
        SendLeaveChat(packet, *ClientSocket,
                      MakeChatAddress(sheet.tag->ownUserId, sheet.tag->chatId));
    }
    // A tab chosen for closing but closed another way must not be closed twice.
    if (closingSheet == &sheet)
        closingSheet = nullptr;
    DropChatInvite(sheet.tag->chatId);
    PageControl.DeletePage(index);
}

void TNavlet::DropChatInvite(ChatId chat) {
    auto invite = [chat](const TMsgLine& l) { return l.kind == mkChatInvite && l.chat == chat; };
    if (!msgQueue.empty() && invite(msgQueue.front())) {
        msgQueue.pop_front();
        msgQueue.remove_if(invite);
        RestartFrontLine();
        return;
    }
    msgQueue.remove_if(invite);
}

std::string TNavlet::ChatLineHint(const ChatTab& tab) const {
    if (!IsPrivateChat(tab.chatId))
        return "to the site's public chat";
    std::string names;
    for (UserId member : tab.members) {
        if (member == myUserId)
            continue;
        if (!names.empty())
            names += ", ";
        names += SenderNick(member, 0, "");
    }
    return names.empty() ? "to nobody yet: invite someone" : "to " + names;
}

void TNavlet::PageControlChange() {
    TTabSheet* sheet = TabByIndex(-1);
    if (!sheet)
        return;
    PageControl.SetHighlighted(*sheet, false);
    PageControl.SetUnread(*sheet, 0);
    Edit1.SetColor(IsPrivateChat(sheet->tag->chatId) ? PRIVATE_INPUT_COLOR : clWindow);
    Edit1.SetPlaceholder(ChatLineHint(*sheet->tag));
    MarkChatMembers(*sheet->tag);
}

void TNavlet::MemberJoined(const TMemberMsg& m) {
    const UserId member = m.address.User();
    const ChatId chat = m.address.Chat();
    const int entry = FindUser(member);
    if (entry < 0)
        return;
    TTabSheet* sheet = FindTabByChat(chat);
    if (!sheet) {
        // The server decides how many invitations arrive; the strip does not grow
        // past what it can hold.
        if (PageControl.PageCount() >= MAX_CHAT_TABS)
            return;
        sheet = &CreateChatTab(lvUsers.Item(entry).caption, /*owner=*/member, chat);
        AppendLine(/*eventLine=*/true, member, chat, "invited you in this private chat", 0, "");
        // The tab does not take the focus; the ticker offers to show or leave it.
        ShowChatInvite(lvUsers.Item(entry).caption, chat);
    }
    ChatTab& tab = *sheet->tag;
    if (IsMember(tab, member))
        return;
    tab.members.push_back(member);
    ++tab.joinCount;
    if (tab.joinCount == 2)
        PageControl.SetCaption(*sheet, sheet->caption + GROUP_SUFFIX);
    if (TabByIndex(-1) == sheet)
        Edit1.SetPlaceholder(ChatLineHint(tab));
}

void TNavlet::MemberLeft(const TMemberMsg& m) {
    const UserId member = m.address.User();
    TTabSheet* sheet = FindTabByChat(m.address.Chat());
    if (!sheet || FindUser(member) < 0)
        return;
    std::erase(sheet->tag->members, member);
    AppendLine(/*eventLine=*/true, member, sheet->tag->chatId, "left this chat", 0, "");
    if (TabByIndex(-1) == sheet)
        Edit1.SetPlaceholder(ChatLineHint(*sheet->tag));
}

void TNavlet::InviteInNewPrivateChat(const TListItem& entry) {
    if (privateChatSeq == LAST_PRIVATE_CHAT_SEQ) {
        PostMsg(mkNotice, 0, "Sorry, you've opened too many private chat in this window");
        return;
    }
    const UserId user = UserIdOfEntry(entry);
    if (user == 0 || user == myUserId || PageControl.PageCount() >= MAX_CHAT_TABS)
        return;
    ++privateChatSeq;
    const ChatId chat = myChatKey << 8 | privateChatSeq;
    TTabSheet& sheet = CreateChatTab(entry.caption, /*owner=*/myUserId, chat);
    // The inviter asked for this chat: it is shown at once, so the next line
    // typed goes to it and not to the public chat.
    PageControl.SetActivePageIndex(PageControl.IndexOf(&sheet));
    AddMemberAndInvite(sheet, user);
}

void TNavlet::InviteInActiveChat(const TListItem& entry) {
    const UserId user = UserIdOfEntry(entry);
    TTabSheet* sheet = TabByIndex(-1);
    if (user == 0 || user == myUserId || !sheet || !IsPrivateChat(sheet->tag->chatId))
        return;
    if (sheet->tag->ownerId == myUserId)
        PageControl.SetCaption(*sheet, myNick + GROUP_SUFFIX);
    AddMemberAndInvite(*sheet, user);
}

void TNavlet::AddMemberAndInvite(TTabSheet& sheet, UserId user) {
    // An invited user is a member at once; only the server's joins count.
    sheet.tag->members.push_back(user);
    const ChatId chat = sheet.tag->chatId;
    PageControlChange();
    TPacket packet;
    ClearPacket(packet);
    SendInvite(packet, *ClientSocket, MakeChatAddress(user, chat));
}

void TNavlet::ChatContextPopup(const TModel& sender, int32_t x, int32_t y, bool& handled) {
    handled = true;
    if (!TabByIndex(-1))
        return;
    const bool publicActive = PageControl.ActivePageIndex() == 0;
    TBarMenu menu("");
    menu.AppendItem({publicActive ? "Close this public chat" : "Close this private chat", cmClose,
                     /*itemEnabled=*/!publicActive})
        .AppendItem({"", 0})
        .AppendItem({"Copy selected text to clipboard", cmCopySelection})
        .AppendItem({"Copy entire conversation to clipboard", cmCopyAll});
    // The members as the menu opened: the tab may change while it is open.
    std::vector<std::pair<UserId, std::string>> members;
    if (!publicActive)
        for (UserId member : TabByIndex(-1)->tag->members)
            if (member != myUserId && members.size() < MAX_MEMBER_MENUS)
                members.emplace_back(member, SenderNick(member, 0, ""));
    if (!members.empty())
        menu.AppendItem({"", 0});
    for (size_t i = 0; i < members.size(); ++i) {
        const uint8_t mark = MarkOf(members[i].first);
        const auto id = uint16_t(cmFirstMemberMark + 2 * i);
        TBarMenu member(members[i].second);
        member.AppendItem({IgnoreCaption(mark), id, /*itemEnabled=*/mark != MARK_BLOCKED})
            .AppendItem({BlockCaption(mark), uint16_t(id + 1)})
            .AppendItem({"Report this user...", uint16_t(cmFirstMemberReport + i)});
        menu.AppendSubmenu(member);
    }
    const int16_t choice = Track(menu, x, y, &sender);
    // Timers and socket notifications ran while the menu was open: the tab
    // that was active may be gone, so it is looked up again.
    TTabSheet* active = TabByIndex(-1);
    if (!active)
        return;
    if (choice >= cmFirstMemberMark && size_t(choice - cmFirstMemberMark) < 2 * members.size()) {
        const auto& [member, nick] = members[size_t(choice - cmFirstMemberMark) / 2];
        const uint8_t mark = MarkOf(member);
        const bool block = (choice - cmFirstMemberMark) % 2 == 1;
        ChangeMark(member, nick, block ? BlockAction(mark) : IgnoreAction(mark),
                   /*chatMenu=*/true);
    }
    if (choice >= cmFirstMemberReport && size_t(choice - cmFirstMemberReport) < members.size()) {
        const auto& [member, nick] = members[size_t(choice - cmFirstMemberReport)];
        ReportUser(member, nick, /*chatMenu=*/true);
    }
    switch (choice) {
    case cmClose:
        // Never the public chat, even if a reset made it the active tab meanwhile.
        if (PageControl.ActivePageIndex() > 0)
            closingSheet = active;
        break;
    case cmCopySelection:
        kit.clipboard.SetText(active->view->SelectedText());
        break;
    case cmCopyAll:
        active->view->SelectAll();
        kit.clipboard.SetText(active->view->Text());
        break;
    default:
        break;
    }
    ChatMouseUp(TMouseButton::mbRight, 0, x, y);
}

void TNavlet::ChatMouseUp(TMouseButton, TShiftState, int32_t, int32_t) {
    if (closingSheet)
        mouseUp_timer.SetEnabled(true);
}

void TNavlet::CloseClosingSheet() {
    if (!closingSheet)
        return;
    TTabSheet* sheet = closingSheet;
    closingSheet = nullptr;
    CloseChatTab(*sheet, TCloseNotify::TellServer);
    PageControlChange();
}

int16_t TNavlet::Track(TBarMenu& menu, int32_t x, int32_t y, const TComponent* control) {
    return navlet::Track(kit.menus, menu, x, y, control);
}

void TNavlet::BindChatComponents() {
    txt_timer.OnTimer = [this] { txt_timerTimer(); };
    mouseUp_timer.OnTimer = [this] {
        mouseUp_timer.SetEnabled(false);
        CloseClosingSheet();
    };
}

} // namespace navlet
