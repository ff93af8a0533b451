// Modal dialogs for tests: each showing is recorded and closed with `result`;
// the report box first takes the answers of `reportAnswer`.
#pragma once

#include <functional>
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

    int ShowReportBox(TReportForm& form) override {
        reportsShown.push_back(form);
        if (reportAnswer)
            reportAnswer(form);
        form.modalResult = result;
        return result;
    }

    std::vector<TAboutForm> shown;
    std::vector<TReportForm> reportsShown; // as the core described them
    std::function<void(TReportForm&)> reportAnswer;
    bool sawModuleWideForm = false;
    int result = MODAL_RESULT_OK;
};

} // namespace navlet::testing
