// Two bars in their native windows, on one Win32 kit as in the module,
// against navlet-server on loopback (tests/win32/with_server.sh starts it):
// one signs in by typing into its login panel, the other from its stored
// settings, and a line typed into one's chat line shows in the other's
// public chat.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"
#include "tests/win32/window_shot.h"

namespace navlet::win32 {
namespace {

class TPageSite : public THostControl {
  public:
    std::string LocationURL() override { return "http://www.example.com/news/"; }
    void Navigate(const std::string&) override {}
    void FlashBrowserWindow() override {}
    void ResizeBandSite(int32_t) override {}
    void FocusChanged(bool) override {}
    void SuppressFaultDialogs() override {}
    void CloseInPlaceWindow() override {}
};

std::string TextOf(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(size_t(length) + 1, L'\0');
    GetWindowTextW(window, text.data(), length + 1);
    text.resize(size_t(length));
    return AnsiFromWide(text);
}

void Type(HWND edit, const std::string& text) {
    for (const char c : text)
        SendMessageW(edit, WM_CHAR, WPARAM(uint8_t(c)), 0);
}

// One browser window's bar: its band site and the bar's window inside it.
struct TBrowserWindow {
    explicit TBrowserWindow(TWin32Kit& kit, int top) : bar(kit.Kit()) {
        site = CreateWindowExW(0, L"STATIC", L"band site", WS_POPUP | WS_VISIBLE, 0, top, 810, 216,
                               nullptr, nullptr, nullptr, nullptr);
        window = std::make_unique<TBarWindow>(bar, kit, site);
    }
    ~TBrowserWindow() {
        bar.CloseDW();
        window.reset();
        DestroyWindow(site);
    }
    void Show() {
        SetWindowPos(window->Handle(), nullptr, 0, 0, 810, 216, SWP_NOZORDER);
        bar.AttachHost(page);
        bar.ShowDW(true);
    }
    HWND Control(const char* name) const { return window->Control(name); }
    std::string PublicChat() const {
        return TextOf(window->Control("ActiveChatView")); // the public chat is the first tab
    }

    TNavlet bar;
    TPageSite page;
    HWND site = nullptr;
    std::unique_ptr<TBarWindow> window;
};

TEST(Win32SignInTest, TypedSignInAndAChatLineReachTheOtherBar) {
    ASSERT_NE(std::getenv("NAVLET_SERVER"), nullptr) << "run through tests/win32/with_server.sh";
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
    TWin32Kit kit;
    auto alice = std::make_unique<TBrowserWindow>(kit, 0);
    alice->Show();
    // No stored sign-in: the login panel asks for one.
    ASSERT_TRUE(test::PumpUntil([&] { return IsWindowVisible(alice->Control("LoginPanel")); }));
    Type(alice->Control("edNck"), "alice");
    Type(alice->Control("edPwd"), "apple1");
    SendMessageW(alice->Control("sbLogin"), BM_CLICK, 0, 0);
    ASSERT_TRUE(test::PumpUntil([&] { return alice->bar.loggedIn; }, 15000));
    HWND aliceList = alice->Control("lvUsers");
    ASSERT_TRUE(
        test::PumpUntil([&] { return SendMessageW(aliceList, LVM_GETITEMCOUNT, 0, 0) == 1; }));

    {
        TWin32Registry registry;
        auto key = registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
        ASSERT_TRUE(key);
        key->WriteString("nck", "bob");
        key->WriteString("pwd", TNavlet::ScramblePassword("banana2", -1));
    }
    auto bob = std::make_unique<TBrowserWindow>(kit, 240);
    bob->Show();
    ASSERT_TRUE(test::PumpUntil(
        [&] { return bob->bar.loggedIn && SendMessageW(aliceList, LVM_GETITEMCOUNT, 0, 0) == 2; },
        15000));

    HWND edit1 = alice->Control("Edit1");
    SetFocus(edit1); // the hint gives way
    Type(edit1, "hello from wine");
    SendMessageW(alice->Control("sbSendTxt"), BM_CLICK, 0, 0);
    EXPECT_NE(alice->PublicChat().find("hello from wine"), std::string::npos)
        << alice->PublicChat();
    EXPECT_TRUE(test::PumpUntil(
        [&] { return bob->PublicChat().find("hello from wine") != std::string::npos; }, 15000))
        << bob->PublicChat();
    test::PumpFor(300);
    test::SaveWindowShot(alice->window->Handle(), "win32-bar-signed-in.bmp");
    bob.reset();
    alice.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
}

} // namespace
} // namespace navlet::win32
