// Modal dialogs on Qt: the About box and the report box.
#pragma once

#include "client/kit/about_box.h"

namespace navlet::qt {

class TQtDialogs : public TModalDialogs {
  public:
    int ShowAboutBox(TAboutForm& form) override;
    int ShowReportBox(TReportForm& form) override;
};

} // namespace navlet::qt
