// Chat tabs: the making of a tab with its record and its view.
#include "client/core/navlet.h"

namespace navlet {

TTabSheet& TNavlet::CreateChatTab(const std::string& title, UserId owner, ChatId chat) {
    auto sheet = std::make_unique<TTabSheet>();
    sheet->tag = std::make_unique<ChatTab>();
    sheet->tag->ownUserId = myUserId;
    sheet->tag->chatId = chat;
    sheet->tag->ownerId = owner;
    sheet->view = std::make_unique<TChatView>();
    sheet->caption = title;
    const int previous = PageControl.ActivePageIndex();
    TTabSheet& added = PageControl.AddPage(std::move(sheet));
    // A new tab takes the focus only when it is the first; otherwise it is
    // marked as holding text the user has not seen.
    if (previous >= 0) {
        PageControl.SetActivePageIndex(previous);
        added.highlighted = true;
    }
    return added;
}

} // namespace navlet
