// TEMPORARY, deleted when the session branch is merged: stand-ins for the
// session side's operations that the lists and chats call. They only record
// what was asked; the real ones live on the session branch.
#include "client/core/navlet.h"

namespace navlet {

void TNavlet::SignalNews() {
    SetBtnGlyph(LEDBtn, glLedNews);
}

void TNavlet::SetBtnGlyph(TSpeedButton& button, int index) {
    button.SetGlyph(index);
}

void TNavlet::SetBannerMode(TBannerMode mode) {
    BannerPanel.SetMode(mode);
}

void TNavlet::FlashBrowserWindow() {}

void TNavlet::upd_timerTimer() {}

} // namespace navlet
