// Answers the bar's report box as its user does. The box runs its own modal
// loop inside the bar's menu handler, where no step of the script runs: a
// timer of this thread, which that loop dispatches, finds the box, picks a
// reason by its caption, types the words into the line, takes a screenshot
// of the filled box and presses Report.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/win32/bandhost/modal_loop_driver.h"

namespace navlet::bandhost {

// A dialog of this thread with a line to type in: the report box, which the
// message box watcher leaves alone.
bool IsReportBox(HWND dialog);

struct TReportBoxPlan {
    std::wstring reason;  // the radio button's caption
    std::wstring words;   // typed into the line, one character at a time
    std::string shotPath; // a BMP of the filled box; none when empty
};

// What the box showed before it was answered.
struct TReportBoxSeen {
    std::string caption;              // UTF-8
    std::vector<std::string> reasons; // the radio buttons, in order
    bool reportBeforeReason = true;   // Report enabled before a reason was picked
    bool alsoIgnore = false;          // the check box as the box opened
    std::string typed;                // the line as it read after typing
};

class TReportBoxDriver : public TModalLoopDriver {
  public:
    TReportBoxDriver() : TModalLoopDriver("no report box, or it did not close") {}
    ~TReportBoxDriver() override { Stop(); }

    // Watches for the next report box of this thread and answers it.
    void Start(TReportBoxPlan plan);
    const TReportBoxSeen& Seen() const { return seen; }

  private:
    enum class TPhase { WaitBox, Fill, Shot, Press, WaitClosed };

    void Step() override;
    void Dismiss() override; // a box still open is cancelled

    TReportBoxPlan plan;
    TPhase phase = TPhase::WaitBox;
    int phaseTicks = 0;
    HWND box = nullptr;
    TReportBoxSeen seen;

    void Enter(TPhase next) {
        phase = next;
        phaseTicks = 0;
    }
};

} // namespace navlet::bandhost
