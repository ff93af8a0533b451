// TEMPORARY, deleted when the session branch is merged: the indicator button's
// model, which the session side declares in its own header.
#pragma once

#include "client/core/components.h"

namespace navlet {

class TSpeedButton : public TControl {
  public:
    int glyphIndex = -1;
};

} // namespace navlet
