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

#include "client/core/ticker.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/support/host_fakes.h"
#include "tests/win32/message_pump.h"
#include "tests/win32/window_shot.h"

namespace navlet::win32 {
namespace {

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
    TBrowserWindow(TWin32Kit& kit, int top, std::string page = "http://www.example.com/news/")
        : bar(kit.Kit()), page(std::move(page)) {
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
    // The conversation of the active tab.
    std::string Chat() const { return TextOf(window->Control("ActiveChatView")); }
    // What the user does by picking tab `index`.
    void PickTab(int index) {
        HWND tabs = Control("PageControl");
        SendMessageW(tabs, TCM_SETCURSEL, WPARAM(index), 0);
        NMHDR picked{tabs, 0, UINT(TCN_SELCHANGE)};
        SendMessageW(GetParent(tabs), WM_NOTIFY, 0, LPARAM(&picked));
    }
    void Say(const std::string& line) {
        HWND edit1 = Control("Edit1");
        SetFocus(edit1); // the hint gives way
        SetWindowTextW(edit1, L"");
        Type(edit1, line);
        SendMessageW(Control("sbSendTxt"), BM_CLICK, 0, 0);
    }
    int TabCount() const {
        return int(SendMessageW(Control("PageControl"), TCM_GETITEMCOUNT, 0, 0));
    }
    const TListItem* User(const std::string& nick) const {
        for (const TListItem& item : bar.lvUsers.Items())
            if (item.caption == nick)
                return &item;
        return nullptr;
    }

    TNavlet bar;
    testing::TRecordingHostControl page;
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

    alice->Say("hello from wine");
    EXPECT_NE(alice->Chat().find("hello from wine"), std::string::npos) << alice->Chat();
    EXPECT_TRUE(test::PumpUntil(
        [&] { return bob->Chat().find("hello from wine") != std::string::npos; }, 15000))
        << bob->Chat();

    // Every character that Windows-1252 puts in 0x80-0x9F, typed as
    // characters, crosses the server to the other bar as those characters.
    std::wstring high;
    for (int b = 0x80; b <= 0x9F; ++b) {
        const wchar_t c = WideFromAnsi(std::string(1, char(b)))[0];
        if (c >= 0x100)
            high += c; // the 27 the code page assigns
    }
    ASSERT_EQ(high.size(), 27u);
    test::PumpFor(2100); // past the two seconds between two lines
    HWND edit1 = alice->Control("Edit1");
    SetFocus(edit1);
    SetWindowTextW(edit1, L"");
    for (wchar_t c : high)
        SendMessageW(edit1, WM_CHAR, WPARAM(c), 0);
    SendMessageW(alice->Control("sbSendTxt"), BM_CLICK, 0, 0);
    const std::string bytes = AnsiFromWide(high);
    EXPECT_TRUE(
        test::PumpUntil([&] { return bob->Chat().find(bytes) != std::string::npos; }, 15000))
        << bob->Chat();

    // A private chat by invitation, as the users list's menu starts one.
    ASSERT_NE(alice->User("bob"), nullptr);
    alice->bar.InviteInNewPrivateChat(*alice->User("bob"));
    ASSERT_EQ(alice->TabCount(), 2);
    ASSERT_TRUE(test::PumpUntil([&] { return bob->TabCount() == 2; }, 15000));
    bob->PickTab(1);
    EXPECT_NE(bob->Chat().find("invited you"), std::string::npos) << bob->Chat();
    bob->Say("just us two");
    alice->PickTab(1);
    EXPECT_TRUE(test::PumpUntil(
        [&] { return alice->Chat().find("just us two") != std::string::npos; }, 15000))
        << alice->Chat();
    test::PumpFor(300);
    test::SaveWindowShot(bob->window->Handle(), "win32-bar-private-chat.bmp");
    alice->PickTab(0);

    test::PumpFor(300);
    test::SaveWindowShot(alice->window->Handle(), "win32-bar-signed-in.bmp");
    bob.reset();

    // Someone on another site looks for alice: her ticker offers to accept,
    // and a click on its button opens the caller's page in a new window.
    {
        TWin32Registry registry;
        auto key = registry.OpenKey(THive::CurrentUser, SETTINGS_KEY, TKeyOpen::Create);
        key->WriteString("nck", "carol");
        key->WriteString("pwd", TNavlet::ScramblePassword("cherry3", -1));
    }
    // A program that takes the link as its argument and ends at once.
    kit.host.SetBrowserProgram("hostname.exe");
    auto carol = std::make_unique<TBrowserWindow>(kit, 240, "http://www.example.org/");
    carol->Show();
    ASSERT_TRUE(test::PumpUntil([&] { return carol->bar.loggedIn; }, 15000));
    carol->bar.SetBannerMode(bmSearch);
    carol->bar.cbSearch.SetText("alice");
    carol->bar.edSearchMsg.SetText("come over");
    SendMessageW(carol->Control("sbSearch"), BM_CLICK, 0, 0);

    TNavlet& form = alice->bar;
    auto inviteShown = [&] {
        return !form.msgQueue.empty() && form.msgQueue.front().kind == mkInvite &&
               form.msgQueue.front().user == "carol";
    };
    ASSERT_TRUE(test::PumpUntil(inviteShown, 30000));
    HWND ticker = alice->Control("msg_img");
    // The button's place on the line, from the core's own hit map, clicked
    // as the mouse would.
    bool clicked = false;
    ASSERT_TRUE(test::PumpUntil(
        [&] {
            if (!inviteShown() || !form.msgHitMap)
                return false;
            for (int x = 0; x < form.msg_img.Width(); ++x) {
                if (form.msgHitMap->At(x + form.msgSrcRect.left, 8) & MSG_BTN_ACCEPT) {
                    SendMessageW(ticker, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(x, 8));
                    clicked = true;
                    return true;
                }
            }
            return false;
        },
        15000));
    EXPECT_TRUE(clicked);
    EXPECT_FALSE(inviteShown()) << "the line is answered";
    for (const TMsgLine& line : form.msgQueue)
        EXPECT_EQ(line.text.find("opening a new browser window"), std::string::npos) << line.text;
    carol.reset();
    alice.reset();
    RegDeleteTreeA(HKEY_CURRENT_USER, SETTINGS_KEY);
}

} // namespace
} // namespace navlet::win32
