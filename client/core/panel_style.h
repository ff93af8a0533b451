// How a side panel shows the bar: the size of its text and whether its
// banner area is collapsed. The core decides both; kits watch the model and
// lay the form out again, in the font it names, when it changes.
#pragma once

#include <cstdint>
#include <string>

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

// What wants the user's eye while the bar is not looked at: private lines
// and calls since the host last said the user looked. A host that can badge
// its button or notify the desktop watches it; the core decides what counts.
class TAttention : public TModel {
  public:
    int Count() const { return count; }
    // The newest reason, without any chat text: "alice wrote to you".
    const std::string& Latest() const { return latest; }
    // The user chose to be told on the desktop too (asked in the options menu).
    bool Notify() const { return notify; }
    void Raise(std::string reason);
    // The host saw the user look at the bar.
    void Seen();
    void SetNotify(bool on);

  private:
    int count = 0;
    std::string latest;
    bool notify = false;
};

} // namespace navlet
