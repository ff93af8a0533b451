// Drives the bar inside a band as a person would, from the container's side:
// it finds the bar's controls by their layout names (each window carries its
// part's control ID), types with character messages, clicks with mouse
// messages and waits for what the bar's windows show. The ticker's buttons
// are found on the form's own hit map, read through the form pointer that the
// module exports as "Navlet".
#pragma once

#include <windows.h>

#include <functional>
#include <string>

namespace navlet::bandhost {

class TBarDriver {
  public:
    // `band` is the band's window (IOleWindow::GetWindow); null gives a
    // driver that finds nothing.
    explicit TBarDriver(HWND band) : band(band) {}

    // The window of a part by its layout name ("edNck", "sbSendTxt",
    // "msg_img"...), or "ActiveChatView" for the shown conversation; null
    // when there is none.
    HWND Control(const std::string& name) const;
    bool IsShown(const std::string& name) const;

    // A left click at the middle of the control: button down, button up.
    bool Click(const std::string& name);
    // Clicks into the control (it takes the focus), then types `text` as
    // character messages, one per byte.
    bool Type(const std::string& name, const std::string& text);
    // Clicks into the control, then posts a key's press and release to it:
    // the pump offers them to the band as the browser does.
    bool Press(const std::string& name, UINT virtualKey);
    // Clicks the chat tab at `index`, as the mouse picks a tab.
    bool ClickTab(int index);
    int TabCount() const;
    // The users list (or another list view) shows an entry with this caption.
    bool ListShows(const std::string& name, const std::string& caption) const;
    // A right click on the entry with this caption, as the mouse makes it:
    // button down and up posted, so that the list's own drag check sees the
    // release. The list tells the bar, which opens the entry's menu.
    bool RightClickEntry(const std::string& name, const std::string& caption);
    // What the shown conversation holds, in the system's ANSI code page, and
    // as its characters are.
    std::string ChatText() const;
    std::wstring ChatCharacters() const;

    // The middle column of the front line's "accept invitation" button on
    // the ticker, from the form's hit map; -1 when the ticker shows no such
    // button now.
    int AcceptButtonMiddle() const;
    // A left click on the ticker at `x`, on the button's middle row.
    bool ClickTicker(int x);
    // The ticker's queue holds a line with exactly this text.
    static bool TickerHolds(const std::string& text);

  private:
    // The row of the list view's entry with this caption, or -1.
    static int FindEntry(HWND list, const std::string& caption);

    HWND band;
};

// Dispatches this thread's messages until `done` holds or `timeoutMs` passed.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMs);

// Text in the system's ANSI code page, as the bar's controls hold it.
std::string AnsiText(HWND window);

} // namespace navlet::bandhost
