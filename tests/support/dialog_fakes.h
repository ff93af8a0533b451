// Modal dialogs for tests: each showing is recorded and closed with `result`.
#pragma once

#include <string>
#include <vector>

#include "client/core/about_box.h"
#include "client/kit/about_box.h"

namespace navlet::testing {

class TRecordingDialogs : public TModalDialogs {
  public:
    int ShowAboutBox(TAboutForm& form) override {
        shown.push_back(form);
        sawModuleWideForm = AboutForm == &form;
        form.modalResult = result;
        return result;
    }

    std::vector<TAboutForm> shown;
    bool sawModuleWideForm = false;
    int result = MODAL_RESULT_OK;
};

} // namespace navlet::testing
