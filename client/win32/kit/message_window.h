// A hidden message-only window on the bar's thread: the target of the
// socket notifications and the timers, which the host's message loop
// dispatches like any other window message.
#pragma once

#include <functional>
#include <map>

#include <windows.h>

namespace navlet::win32 {

// Private message numbers of the kit's window.
inline constexpr UINT WM_KIT_SOCKET = WM_APP + 1;   // WSAAsyncSelect events
inline constexpr UINT WM_KIT_LOOKUP = WM_APP + 2;   // host name lookups done
inline constexpr UINT WM_KIT_DEFERRED = WM_APP + 3; // the kit's own queued calls

class TMessageWindow {
  public:
    using THandler = std::function<void(WPARAM, LPARAM)>;

    TMessageWindow();
    ~TMessageWindow();
    TMessageWindow(const TMessageWindow&) = delete;
    TMessageWindow& operator=(const TMessageWindow&) = delete;

    // Null when the window could not be made; every user then fails softly.
    HWND Handle() const { return window; }
    // One handler per message number; an empty one removes it.
    void SetHandler(UINT message, THandler handler);

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window = nullptr;
    std::map<UINT, THandler> handlers;
};

} // namespace navlet::win32
