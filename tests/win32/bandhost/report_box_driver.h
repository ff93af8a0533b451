// Answers the bar's report box as its user does. The box runs its own modal
// loop inside the bar's menu handler, where no step of the script runs: a
// timer of this thread, which that loop dispatches, finds the box, picks a
// reason by its caption, types the words into the line, takes a screenshot
// of the filled box and presses Report.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

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

class TReportBoxDriver {
  public:
    TReportBoxDriver() = default;
    ~TReportBoxDriver();
    TReportBoxDriver(const TReportBoxDriver&) = delete;
    TReportBoxDriver& operator=(const TReportBoxDriver&) = delete;

    // Watches for the next report box of this thread and answers it. One
    // driver watches at a time.
    void Start(TReportBoxPlan plan);
    bool Done() const { return phase == TPhase::Done; }
    bool Started() const { return phase != TPhase::Idle; }
    // Empty when the plan was carried out, else what went wrong.
    const std::string& Error() const { return error; }
    const TReportBoxSeen& Seen() const { return seen; }
    bool ShotTaken() const { return shotTaken; }
    // Stops watching; a box still open is cancelled.
    void Stop();

  private:
    enum class TPhase { Idle, WaitBox, Fill, Shot, Press, WaitClosed, Done };

    static void CALLBACK Tick(HWND, UINT, UINT_PTR, DWORD);
    void Step();
    void Fail(const std::string& why);
    void Finish();

    TReportBoxPlan plan;
    TPhase phase = TPhase::Idle;
    UINT_PTR timer = 0;
    int ticks = 0;
    int phaseTicks = 0;
    HWND box = nullptr;
    TReportBoxSeen seen;
    std::string error;
    bool shotTaken = false;

    void Enter(TPhase next) {
        phase = next;
        phaseTicks = 0;
    }
};

} // namespace navlet::bandhost
