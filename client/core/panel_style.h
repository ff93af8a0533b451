// How a side panel shows the bar: the size of its text and whether its
// banner area is collapsed. The core decides both; kits watch the model and
// lay the form out again, in the font it names, when it changes.
#pragma once

#include <cstdint>

#include "client/core/model.h"
#include "client/kit/graphics.h"

namespace navlet {

enum class TTextSize : uint8_t { Small, Normal, Large };

// The browser's own UI font, by its CSS generic name, at 12, 13 and 16 pixels.
TFont PanelFont(TTextSize size);
// Verdana 7 pt, the horizontal bar's font on every host.
TFont BandFont();

class TPanelStyle : public TModel {
  public:
    TTextSize TextSize() const { return textSize; }
    bool BannerCollapsed() const { return bannerCollapsed; }
    void SetTextSize(TTextSize size);
    void SetBannerCollapsed(bool collapsed);

  private:
    TTextSize textSize = TTextSize::Normal;
    bool bannerCollapsed = false;
};

} // namespace navlet
