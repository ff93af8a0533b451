#include "client/core/panel_style.h"

namespace navlet {

TFont PanelFont(TTextSize size) {
    // Points, as the kits take them: 9 pt is 12 CSS pixels.
    static constexpr int POINTS[] = {9, 10, 12};
    return TFont{"system-ui", POINTS[size_t(size)], clWindowText};
}

TFont BandFont() {
    return TFont{"Verdana", 7, clWindowText};
}

void TPanelStyle::SetTextSize(TTextSize size) {
    if (size == textSize)
        return;
    textSize = size;
    Changed();
}

void TPanelStyle::SetBannerCollapsed(bool collapsed) {
    if (collapsed == bannerCollapsed)
        return;
    bannerCollapsed = collapsed;
    Changed();
}

void TAttention::Raise(std::string reason) {
    ++count;
    latest = std::move(reason);
    Changed();
}

void TAttention::Seen() {
    if (count == 0)
        return;
    count = 0;
    Changed();
}

void TAttention::SetNotify(bool on) {
    if (notify == on)
        return;
    notify = on;
    Changed();
}

} // namespace navlet
