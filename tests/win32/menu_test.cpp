// Popup menus under wine: the command chosen, 0 when dismissed, -1 when the
// menu cannot be shown; timers keep running while the menu is open.
#include <gtest/gtest.h>

#include <windows.h>

#include "client/kit/popup_menu.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {
namespace {

// A component of the bar, as far as the kit knows one.
struct TSomeControl : TComponent {};

class Win32MenuTest : public ::testing::Test {
  protected:
    Win32MenuTest() {
        owner = CreateWindowExW(0, L"STATIC", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 200, 100,
                                nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(owner);
        menu.Append(TBarMenuItem("&First", 101));
        menu.Append(TBarMenuItem("", 0));
        menu.Append(TBarMenuItem("&Greyed", 102, /*enabled=*/false));
        auto sub = std::make_unique<TPopupMenu>();
        sub->Append(TBarMenuItem("&Deep", 103, true, /*checked=*/true));
        menu.AppendPopup("&More", std::move(sub));
    }
    ~Win32MenuTest() override { DestroyWindow(owner); }

    // While the menu is open, the kit's timer ticks; after `ticksBefore` of
    // them `act` runs on the open menu.
    int16_t ShowAndAct(int ticksBefore, const std::function<void(HWND menuWindow)>& act) {
        ticks = 0;
        const TTimerHandle timer = kit.scheduler.Start(30, [&] {
            if (++ticks != ticksBefore)
                return;
            act(FindWindowW(L"#32768", nullptr));
        });
        const int16_t result = kit.menus.ShowPopupMenu(menu, 10, 10, &control);
        kit.scheduler.Stop(timer);
        return result;
    }

    TWin32Kit kit;
    HWND owner = nullptr;
    TPopupMenu menu;
    TSomeControl control;
    int ticks = 0;
};

TEST_F(Win32MenuTest, ReturnsTheChosenCommandOrZeroOrMinusOne) {
    EXPECT_EQ(kit.menus.ShowPopupMenu(menu, 0, 0, &control), MENU_NOT_SHOWN); // no window
    kit.menus.Register(&control, owner);

    EXPECT_EQ(ShowAndAct(3, [](HWND) { EndMenu(); }), MENU_DISMISSED);
    EXPECT_GE(ticks, 3); // the timer ran while the menu was open

    const int16_t chosen = ShowAndAct(2, [](HWND menuWindow) {
        ASSERT_NE(menuWindow, nullptr);
        PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
        PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
    });
    EXPECT_EQ(chosen, 101);
    kit.menus.Unregister(&control);
    EXPECT_EQ(kit.menus.ShowPopupMenu(menu, 0, 0, &control), MENU_NOT_SHOWN);
}

} // namespace
} // namespace navlet::win32
