// TEMPORARY, deleted when the session branch is merged: the indicator button's
// model and glyph names, which the session side declares in its own header
// (same names, so that nothing else changes at the merge).
#pragma once

#include <cstdint>

#include "client/core/components.h"

namespace navlet {

enum TGlyph : int32_t {
    glLedNews = 2,
    glLedSignedIn = 4,
};

class TSpeedButton : public TControl {
  public:
    int32_t Glyph() const { return glyph; }
    void SetGlyph(int32_t index) { glyph = index; }

  private:
    int32_t glyph = -1;
};

} // namespace navlet
