// The common part of the drivers of the bar's modal loops (a popup menu, a
// dialog). While such a loop runs no step of the script does: a timer of
// this thread, which the loop dispatches, takes the driver's steps until it
// finishes or gives up. Drivers of loops that open one from another (a menu
// item's dialog) watch side by side.
#pragma once

#include <windows.h>

#include <string>

namespace navlet::bandhost {

// UTF-8 of a platform text.
std::string Utf8(const std::wstring& text);
// A window's text.
std::wstring TextOf(HWND window);

class TModalLoopDriver {
  public:
    TModalLoopDriver(const TModalLoopDriver&) = delete;
    TModalLoopDriver& operator=(const TModalLoopDriver&) = delete;

    bool Started() const { return run != TRun::Idle; }
    // The plan was carried out and what it drove has closed, or the driver
    // gave up.
    bool Done() const { return run == TRun::Done; }
    // Empty when the plan was carried out, else what went wrong.
    const std::string& Error() const { return error; }
    bool ShotTaken() const { return shotTaken; }
    // Stops watching; what is still open is dismissed.
    void Stop();

  protected:
    // `giveUpWhy` is the error when the steps take longer than a minute.
    explicit TModalLoopDriver(const char* giveUpWhy) : giveUpWhy(giveUpWhy) {}
    // Derived drivers call Stop in their own destructor, while Dismiss is
    // still theirs.
    virtual ~TModalLoopDriver() = default;

    // Starts the steps afresh, once the derived driver has stopped the last
    // run and set its first phase.
    void Watch();
    void Fail(const std::string& why);
    void Finish();

    // One tick's work.
    virtual void Step() = 0;
    // Ends what the driver has open (a menu, a box), for a stop or a failure.
    virtual void Dismiss() = 0;

    std::string error;
    bool shotTaken = false;

  private:
    enum class TRun { Idle, Watching, Done };
    static void CALLBACK Tick(HWND, UINT, UINT_PTR id, DWORD);
    void StopTimer();

    const char* giveUpWhy;
    TRun run = TRun::Idle;
    UINT_PTR timer = 0;
    int ticks = 0; // since the driver started
};

} // namespace navlet::bandhost
