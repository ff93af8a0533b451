// What the form layout holds: the components' settings at design size
// (810 x 216) and the binding of their events to the form's handlers.
#include "client/core/navlet.h"

namespace navlet {

namespace {

// The ticker strip: msg_pnl is the top 16 pixels of the right panel; msg_img
// fills it between the 53-pixel button panel on the left and the 34-pixel one
// on the right.
constexpr int32_t RIGHT_PANEL_WIDTH = 810 - 250 - 290;
constexpr int32_t MSG_PNL_HEIGHT = 16;
constexpr int32_t BTN_PANEL1_WIDTH = 53;
constexpr int32_t BTN_PANEL2_WIDTH = 34;
constexpr int EDIT1_MAX_LENGTH = 230;

} // namespace

void TNavlet::BuildComponents() {
    ClientSocket = kit.sockets.CreateClientSocket();

    msg_pnl.SetBounds(0, 0, RIGHT_PANEL_WIDTH, MSG_PNL_HEIGHT);
    msg_img.SetBounds(BTN_PANEL1_WIDTH, 0, RIGHT_PANEL_WIDTH - BTN_PANEL1_WIDTH - BTN_PANEL2_WIDTH,
                      MSG_PNL_HEIGHT);
    Edit1.SetMaxLength(EDIT1_MAX_LENGTH);
    BannerPanel.SetBounds(0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT);

    msg_timer.OnTimer = [this] { msg_timerTimer(); };
    BindChatComponents();
    // The site tracker's timer runs from creation.
    URLTimer.SetEnabled(true);
    BindSessionComponents();
    BindActionComponents();
    BindBannerComponents();
}

} // namespace navlet
