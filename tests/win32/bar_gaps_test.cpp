// The bar's window where Windows differed from the Linux bar: the focus of
// every control reaches the form, a right click never reaches the browser,
// boxes keep a live owner when the bar that came last has closed, and the
// server output console is an owned, centred tool window that does not wrap.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>
#include <vector>

#include "client/core/about_box.h"
#include "client/core/console.h"
#include "client/core/host.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"

namespace navlet::win32 {
namespace {

// A stand-in for the browser's band site: a top-level window that counts the
// context-menu requests that reach it.
int contextMenusAtSite = 0;
LRESULT CALLBACK SiteProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU)
        ++contextMenusAtSite;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND MakeSite() {
    static const bool registered = [] {
        WNDCLASSW wc{};
        wc.lpfnWndProc = SiteProcedure;
        wc.lpszClassName = L"NavletGapsSite";
        return RegisterClassW(&wc) != 0;
    }();
    EXPECT_TRUE(registered);
    return CreateWindowExW(0, L"NavletGapsSite", L"browser", WS_POPUP | WS_VISIBLE, 0, 0, 810, 216,
                           nullptr, nullptr, nullptr, nullptr);
}

class Win32BarGapsTest : public ::testing::Test {
  protected:
    Win32BarGapsTest() : site(MakeSite()) {
        window = std::make_unique<TBarWindow>(bar, kit, site);
        bar.Form.SetVisible(true);
        SetWindowPos(window->Handle(), nullptr, 0, 0, 810, 216, SWP_NOZORDER | SWP_NOACTIVATE);
        contextMenusAtSite = 0;
    }
    ~Win32BarGapsTest() override {
        window.reset();
        DestroyWindow(site);
    }
    HWND Control(const char* name) const { return window->Control(name); }
    TKeyAction Enter() {
        TKeyMessage key;
        key.message = WM_KEYDOWN;
        key.virtualKey = VK_RETURN;
        return bar.TranslateAcceleratorIO(key);
    }

    TWin32Kit kit;
    TNavlet bar{kit.Kit()};
    HWND site;
    std::unique_ptr<TBarWindow> window;
};

TEST_F(Win32BarGapsTest, EnterInAControlThatIsNoEditBoxDoesNotSendTheChatLine) {
    bar.SetBannerMode(bmFriends);
    HWND edit1 = Control("Edit1");
    ASSERT_NE(edit1, nullptr);
    for (const char* name : {"lvFriends", "ActiveChatView", "PageControl", "sbSendTxt"}) {
        SCOPED_TRACE(name);
        SetFocus(edit1);
        ASSERT_EQ(bar.ActiveControl.Target(), ftEdit1);
        ASSERT_EQ(Enter(), TKeyAction::SendChat);
        HWND other = Control(name);
        ASSERT_NE(other, nullptr);
        SetFocus(other);
        EXPECT_EQ(bar.ActiveControl.Target(), ftOther);
        EXPECT_NE(Enter(), TKeyAction::SendChat);
    }
    SetFocus(Control("lvUsers")); // reports itself
    EXPECT_EQ(bar.ActiveControl.Target(), ftLvUsers);
}

TEST_F(Win32BarGapsTest, ARightClickAnywhereNeverReachesTheBrowser) {
    for (const char* name :
         {"Panel1", "msg_img", "sbSendTxt", "lvUsers", "PageControl", "BannerPanel", "LEDBtn"}) {
        SCOPED_TRACE(name);
        HWND target = Control(name);
        ASSERT_NE(target, nullptr);
        SendMessageW(target, WM_CONTEXTMENU, WPARAM(target), MAKELPARAM(5, 5));
    }
    SendMessageW(window->Handle(), WM_CONTEXTMENU, WPARAM(window->Handle()), MAKELPARAM(5, 5));
    EXPECT_EQ(contextMenusAtSite, 0);
}

// The owner each message box had, read while it is open and closed with OK.
std::vector<HWND> boxOwners;
BOOL CALLBACK CloseBox(HWND window, LPARAM) {
    wchar_t kind[16] = {};
    GetClassNameW(window, kind, 16);
    if (lstrcmpW(kind, L"#32770") == 0 && IsWindowVisible(window)) {
        boxOwners.push_back(GetWindow(window, GW_OWNER));
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}
void CALLBACK WatchBoxes(HWND, UINT, UINT_PTR, DWORD) {
    EnumThreadWindows(GetCurrentThreadId(), CloseBox, 0);
}

TEST_F(Win32BarGapsTest, BoxesBelongToTheNewestBarStillAlive) {
    HWND secondSite = MakeSite();
    TNavlet second{kit.Kit()};
    auto secondWindow = std::make_unique<TBarWindow>(second, kit, secondSite);
    secondWindow.reset(); // the browser window that came last closed its bar
    DestroyWindow(secondSite);

    boxOwners.clear();
    const UINT_PTR timer = SetTimer(nullptr, 0, 100, WatchBoxes);
    kit.host.ShowMessage("A new navlet version has been downloaded");
    ShowAboutBox(kit.dialogs);
    KillTimer(nullptr, timer);
    ASSERT_EQ(boxOwners.size(), 2u) << "a box did not show";
    EXPECT_EQ(boxOwners[0], site);
    EXPECT_EQ(boxOwners[1], site);
}

TEST_F(Win32BarGapsTest, TheConsoleIsACentredToolWindowOfTheBrowserThatDoesNotWrap) {
    OnConsoleCreated = [this](TConsoleForm& console) {
        ShowConsoleWindow(console, kit.owners.Current());
    };
    AddConsoleText(std::string(300, 'x'));
    HWND console = FindWindowW(nullptr, L"Navlet Server Output");
    ASSERT_NE(console, nullptr);
    EXPECT_EQ(GetWindow(console, GW_OWNER), site);
    EXPECT_TRUE(GetWindowLongPtrW(console, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    RECT r{};
    GetWindowRect(console, &r);
    MONITORINFO screen{};
    screen.cbSize = sizeof screen;
    GetMonitorInfoW(MonitorFromWindow(console, MONITOR_DEFAULTTOPRIMARY), &screen);
    EXPECT_NEAR((r.left + r.right) / 2, (screen.rcWork.left + screen.rcWork.right) / 2, 1);
    EXPECT_NEAR((r.top + r.bottom) / 2, (screen.rcWork.top + screen.rcWork.bottom) / 2, 1);
    HWND log = FindWindowExW(console, nullptr, L"EDIT", nullptr);
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(GetWindowLongPtrW(log, GWL_STYLE) & WS_HSCROLL);
    EXPECT_EQ(SendMessageW(log, EM_GETLINECOUNT, 0, 0), 2); // the long line and the empty last
    // The browser window closes: the console goes with it, and ends.
    window.reset();
    DestroyWindow(site);
    site = nullptr;
    EXPECT_FALSE(IsWindow(console));
    EXPECT_EQ(ConsoleForm, nullptr);
    OnConsoleCreated = nullptr;
}

} // namespace
} // namespace navlet::win32
