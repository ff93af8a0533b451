// Where the keyboard focus goes inside a bar. The platform tells a control's
// parent of the focus only for some kinds (edit and combo boxes); list views,
// conversations, the tab strip and buttons tell nobody. A hook of the thread
// sees every focus change and hands each to the bar whose window holds it.
#pragma once

#include <windows.h>

#include <functional>

namespace navlet::win32 {

class TFocusWatch {
  public:
    // `onFocus` hears of every window inside `root` that is about to take
    // the focus, before it has it; it may change the form's models.
    TFocusWatch(HWND root, std::function<void(HWND)> onFocus);
    ~TFocusWatch();
    TFocusWatch(const TFocusWatch&) = delete;
    TFocusWatch& operator=(const TFocusWatch&) = delete;

  private:
    static LRESULT CALLBACK Hook(int code, WPARAM wParam, LPARAM lParam);

    HWND root;
    std::function<void(HWND)> onFocus;
};

} // namespace navlet::win32
