// The search panel of the banner area and the keys typed into its boxes and
// the friends list.
#include "client/core/actions.h"
#include "client/core/navlet.h"
#include "protocol/requests.h"
#include "protocol/text_cut.h"

namespace navlet {

namespace {

constexpr char ESCAPE_KEY = 27;

} // namespace

void TNavlet::SearchBtnClick() {
    if (loggedIn)
        ShowSearchPanel();
}

void TNavlet::ShowSearchPanel() {
    cbSearch.SetText("");
    cbSearch.SetItemIndex(-1);
    edSearchMsg.SetText("");
    SetBannerMode(bmSearch);
    ActiveControl.SetFocus(ftCbSearch);
    BannerTimer.SetEnabled(false);
    BannerTimer.SetEnabled(true);
}

void TNavlet::sbSearchClick() {
    // The boxes hold at most these many characters; a kit that lets more
    // through must not make a longer request.
    const TTextCode code = kit.textMetrics.TextCode();
    const std::string nick = TextCut(TrimTyped(cbSearch.Text()), SEARCH_NICK_MAX, code);
    const std::string message = TextCut(TrimTyped(edSearchMsg.Text()), SEARCH_MSG_MAX, code);
    // Enter in the nick box leads to the message box first.
    if (ActiveControl.Target() == ftCbSearch && !nick.empty() && message.empty()) {
        ActiveControl.SetFocus(ftEdSearchMsg);
        return;
    }
    if (!nick.empty()) {
        int onSite = -1;
        for (int i = 0; i < lvUsers.Count() && onSite < 0; ++i)
            if (EqualsFolded(lvUsers.Item(i).caption, nick))
                onSite = i;
        if (onSite >= 0) {
            lvUsers.SetSelected(onSite);
            ActiveControl.SetFocus(ftLvUsers);
            PostMsg(mkNotice, 0, "the user is already on this site");
        } else {
            TPacket packet;
            ClearPacket(packet);
            if (!message.empty())
                SendFindUserWithMessage(packet, *ClientSocket, nick,
                                        TextForServer(message, SEARCH_MESSAGE_FIELD - 1));
            else
                SendFindUser(packet, *ClientSocket, nick);
        }
    }
    ShowBanner(-1);
}

void TNavlet::OnBnrPnlKeyPress(char key) {
    BannerTimer.SetEnabled(false);
    if (key == ESCAPE_KEY) {
        ShowBanner(-1);
        return;
    }
    BannerTimer.SetEnabled(true);
}

void TNavlet::BindActionComponents() {
    edSearchMsg.SetMaxLength(SEARCH_MSG_MAX);
    sbSearch.SetCaption("search");
    SearchBtn.SetHint("search user");
    FriendsBtn.SetHint("friends");
    NavletBtn.SetHint("options");
    sbSearch.OnClick = [this] { sbSearchClick(); };
    SearchBtn.OnClick = [this] { SearchBtnClick(); };
    FriendsBtn.OnClick = [this] { FriendsBtnClick(); };
    NavletBtn.OnClick = [this] { sbNavletClick(TNavletSender::NavletBtn, 0, 0); };
}

} // namespace navlet
