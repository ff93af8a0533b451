// The bar's native window follows its models and hands user input back:
// typing, lists, tabs with their conversations, the chat line's height rule,
// the ticker painted from the core's display list, and the console window.
#include <gtest/gtest.h>

#include <windows.h>
// After windows.h, which they need.
#include <commctrl.h>
#include <richedit.h>

#include <set>
#include <string>

#include "client/art/pictures.h"
#include "client/core/components.h"
#include "client/core/console.h"
#include "client/core/host.h"
#include "client/core/module_state.h"
#include "client/win32/bar/bar_window.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/picture_bitmap.h"
#include "client/win32/kit/win32_kit.h"
#include "tests/win32/message_pump.h"
#include "tests/win32/window_shot.h"

namespace navlet::win32 {
namespace {

std::string TextOf(HWND window) {
    wchar_t text[512] = {};
    GetWindowTextW(window, text, 512);
    return AnsiFromWide(std::wstring(text));
}

void Type(HWND edit, const std::string& text) {
    for (const char c : text)
        SendMessageW(edit, WM_CHAR, WPARAM(uint8_t(c)), 0);
}

class Win32BarWindowTest : public ::testing::Test {
  protected:
    Win32BarWindowTest() {
        host = CreateWindowExW(0, L"STATIC", L"band site", WS_POPUP | WS_VISIBLE, 0, 0, 810, 216,
                               nullptr, nullptr, nullptr, nullptr);
        window = std::make_unique<TBarWindow>(bar, kit, host);
        bar.Form.SetVisible(true); // as the band is shown
        Resize(810, 216);
    }
    ~Win32BarWindowTest() override {
        window.reset();
        DestroyWindow(host);
    }

    void Resize(int w, int h) {
        SetWindowPos(window->Handle(), nullptr, 0, 0, w, h, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    HWND Control(const char* name) const { return window->Control(name); }

    TWin32Kit kit;
    TNavlet bar{kit.Kit()};
    HWND host = nullptr;
    std::unique_ptr<TBarWindow> window;
};

TEST_F(Win32BarWindowTest, TypingReachesTheModelsAndTheModelsReachTheBoxes) {
    bar.SetBannerMode(bmLogin);
    HWND nick = Control("edNck");
    ASSERT_NE(nick, nullptr);
    EXPECT_TRUE(IsWindowVisible(nick));
    Type(nick, "demo");
    EXPECT_EQ(bar.edNck.Text(), "demo");
    bar.edPwd.SetText("secret");
    EXPECT_EQ(TextOf(Control("edPwd")), "secret");
    EXPECT_EQ(SendMessageW(Control("edPwd"), EM_GETPASSWORDCHAR, 0, 0), '*');
    test::SaveWindowShot(window->Handle(), "win32-bar-login.bmp");
    bar.SetBannerMode(bmDefault);
    EXPECT_FALSE(IsWindowVisible(Control("LoginPanel")));
    // The hint in grey gives way when the chat line takes the focus.
    HWND edit1 = Control("Edit1");
    EXPECT_EQ(TextOf(edit1), "Write here to send text messages in the chat");
    SetFocus(edit1);
    EXPECT_EQ(bar.Edit1.Text(), "");
    EXPECT_EQ(TextOf(edit1), "");
}

// The browser deactivating the band after the user clicked its address
// field: the focus stays where the user put it.
TEST_F(Win32BarWindowTest, AfterUIActivateIOFalseTheBarTakesNoFocusBack) {
    HWND address = CreateWindowExW(0, L"EDIT", L"", WS_POPUP | WS_VISIBLE, 0, 300, 300, 20, nullptr,
                                   nullptr, nullptr, nullptr);
    HWND edit1 = Control("Edit1");
    SetFocus(edit1);
    ASSERT_EQ(GetFocus(), edit1);
    SetFocus(address);
    bar.UIActivateIO(false);
    test::PumpFor(100);
    EXPECT_EQ(GetFocus(), address);
    SendMessageW(address, WM_CHAR, 'x', 0);
    EXPECT_EQ(TextOf(address), "x");
    DestroyWindow(address);
}

// Characters are typed in Windows-1252; one it cannot hold is refused, with
// the hint on the ticker, instead of arriving as "?".
TEST_F(Win32BarWindowTest, TheChatLineRefusesWhatTheCodePageCannotHold) {
    HWND edit1 = Control("Edit1");
    SetFocus(edit1);
    for (wchar_t c : std::wstring(L"5 \x20AC"))
        SendMessageW(edit1, WM_CHAR, WPARAM(c), 0);
    EXPECT_EQ(bar.Edit1.Text(), "5 \x80");
    SendMessageW(edit1, WM_CHAR, WPARAM(0x0141), 0); // a Polish letter
    EXPECT_EQ(bar.Edit1.Text(), "5 \x80");
    EXPECT_EQ(TextOf(edit1), "5 \x80");
    EXPECT_EQ(bar.msgQueue.front().text,
              "Only Western European characters can be typed in the bar");
}

int TextWidthIn(HWND window) {
    HDC dc = GetDC(window);
    HGDIOBJ old = SelectObject(dc, HFONT(SendMessageW(window, WM_GETFONT, 0, 0)));
    const std::wstring text = WideFromAnsi(TextOf(window));
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), int(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(window, dc);
    return size.cx;
}

// The hint cannot scroll: it is drawn whole before the "send" button, in
// whatever font the system gives; typed text is in the form's font again.
TEST_F(Win32BarWindowTest, TheChatLinesHintFitsBeforeTheSendButton) {
    HWND edit1 = Control("Edit1");
    RECT client{};
    GetClientRect(edit1, &client);
    const DWORD margins = DWORD(SendMessageW(edit1, EM_GETMARGINS, 0, 0));
    ASSERT_EQ(TextOf(edit1), "Write here to send text messages in the chat");
    EXPECT_LE(TextWidthIn(edit1), client.right - LOWORD(margins) - HIWORD(margins));
    SetFocus(edit1);
    Type(edit1, "hello");
    EXPECT_EQ(SendMessageW(edit1, WM_GETFONT, 0, 0),
              SendMessageW(Control("edNck"), WM_GETFONT, 0, 0));
}

TEST_F(Win32BarWindowTest, AtFiveHundredPixelsTheRightSideStaysInTheBar) {
    Resize(BAND_MIN_WIDTH, 114);
    RECT form{};
    GetWindowRect(window->Handle(), &form);
    for (const char* name : {"msg_img", "LEDBtn", "ResizeBtn", "SearchBtn", "lvUsers"}) {
        RECT r{};
        GetWindowRect(Control(name), &r);
        EXPECT_LE(r.right, form.right) << name;
        EXPECT_GT(r.right - r.left, 0) << name;
    }
    test::PumpFor(200);
    test::SaveWindowShot(window->Handle(), "win32-bar-500.bmp");
}

TEST_F(Win32BarWindowTest, RenderingAModelNeverComesBackAsAUserEdit) {
    bar.SetBannerMode(bmSearch);
    bar.cbSearch.SetText("bob");
    HWND line = Control("cbSearch.edit");
    ASSERT_NE(line, nullptr);
    EXPECT_EQ(TextOf(line), "bob");
    // Refilling the drop-down empties the box's line for a moment: the model
    // keeps its text.
    bar.cbSearch.AddItem(TComboExItem{"amy", 0, 0});
    EXPECT_EQ(bar.cbSearch.Text(), "bob");
    EXPECT_EQ(TextOf(line), "bob");
    SendMessageW(line, EM_SETSEL, 3, 3);
    Type(line, "by");
    EXPECT_EQ(bar.cbSearch.Text(), "bobby");

    int changes = 0;
    {
        TModel::TObservation counting = bar.edSearchMsg.Watch([&] { ++changes; });
        bar.edSearchMsg.SetText("hello");
    }
    EXPECT_EQ(changes, 1); // the box showing it is no second change
    EXPECT_EQ(TextOf(Control("edSearchMsg")), "hello");

    // Escape typed into the panel closes it; the banner takes its place.
    SendMessageW(Control("edSearchMsg"), WM_CHAR, 27, 0);
    EXPECT_EQ(bar.BannerPanel.Mode(), bmDefault);
    EXPECT_FALSE(IsWindowVisible(Control("SearchPanel")));
}

TEST_F(Win32BarWindowTest, TheFormHearsOfItsSizeAndTheChatLineFollowsTheHeight) {
    Resize(800, 52);
    EXPECT_EQ(bar.Form.Height(), 52);
    EXPECT_FALSE(IsWindowVisible(Control("ChatMsgPanel")));
    Resize(800, 53);
    EXPECT_TRUE(IsWindowVisible(Control("ChatMsgPanel")));
    EXPECT_EQ(bar.msg_img.Width(), 800 - 250 - 290 - 53 - 34);
    RECT ticker{};
    GetWindowRect(Control("msg_img"), &ticker);
    EXPECT_EQ(ticker.right - ticker.left, bar.msg_img.Width());
    Resize(800, 20);
    EXPECT_EQ(bar.ResizeBtn.Glyph(), glRestore);
}

TEST_F(Win32BarWindowTest, ThePeopleListsShowTheModelsEntriesWithTheirStateImages) {
    HWND list = Control("lvUsers");
    ASSERT_NE(list, nullptr);
    bar.lvUsers.Add({"zed", 1, 7});
    bar.lvUsers.Add({"amy", 0, 8});
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    wchar_t text[32] = {};
    LVITEMW item{};
    item.pszText = text;
    item.cchTextMax = 32;
    SendMessageW(list, LVM_GETITEMTEXTW, 0, LPARAM(&item));
    EXPECT_EQ(AnsiFromWide(std::wstring(text)), "amy");
    // Each entry shows its own picture: amy's state image 0, zed's image 1.
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    auto shown = [&](int row) {
        RECT r{};
        r.left = LVIR_BOUNDS;
        SendMessageW(list, LVM_GETITEMRECT, WPARAM(row), LPARAM(&r));
        std::set<COLORREF> seen;
        for (int x = r.left; x < r.left + 16; ++x)
            for (int y = r.top; y < r.bottom; ++y)
                seen.insert(test::ScreenPixel(list, x, y));
        return seen;
    };
    auto drawn = [](int cell) {
        const int size = art::stateImages.height;
        std::set<COLORREF> colours;
        for (int x = 0; x < size; ++x)
            for (int y = 0; y < size; ++y)
                if (art::stateImages.Pixel(cell * size + x, y) >> 24 == 0xFF)
                    colours.insert(BlendedPixel(art::stateImages.Pixel(cell * size + x, y), 0));
        return colours;
    };
    // A colour only the one image has.
    auto own = [&](int cell, int other) {
        for (COLORREF c : drawn(cell))
            if (!drawn(other).count(c))
                return c;
        return COLORREF(CLR_INVALID);
    };
    const COLORREF boy = own(0, 1);
    const COLORREF girl = own(1, 0);
    ASSERT_NE(boy, CLR_INVALID);
    ASSERT_NE(girl, CLR_INVALID);
    EXPECT_TRUE(shown(0).count(boy) && !shown(0).count(girl));
    EXPECT_TRUE(shown(1).count(girl) && !shown(1).count(boy));
    bar.lvUsers.Clear();
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
}

TEST_F(Win32BarWindowTest, TabsAndConversationsFollowThePageControl) {
    HWND tabs = Control("PageControl");
    ASSERT_NE(tabs, nullptr);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
    TTabSheet& priv = bar.CreateChatTab("amy", /*owner=*/8, /*chat=*/0x0801);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    wchar_t caption[32] = {};
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = caption;
    item.cchTextMax = 32;
    SendMessageW(tabs, TCM_GETITEMW, 1, LPARAM(&item));
    EXPECT_EQ(AnsiFromWide(std::wstring(caption)), "amy");

    // The user picks the tab: the model hears of it and the mark goes.
    SendMessageW(tabs, TCM_SETCURSEL, 1, 0);
    NMHDR picked{tabs, UINT_PTR(GetDlgCtrlID(tabs)), UINT(TCN_SELCHANGE)};
    SendMessageW(GetParent(tabs), WM_NOTIFY, picked.idFrom, LPARAM(&picked));
    EXPECT_EQ(bar.PageControl.ActivePageIndex(), 1);
    EXPECT_FALSE(priv.highlighted);

    priv.view->AppendLine(TChatLine{{{"amy: ", clMaroon, /*bold=*/true}, {"hi there", clBlack}}});
    priv.view->AppendLine(TChatLine{{{"12:00", clGray, false, /*italic=*/true}}});
    HWND text = Control("ActiveChatView");
    ASSERT_NE(text, nullptr);
    EXPECT_TRUE(IsWindowVisible(text));
    // The box keeps one character per line break, as the model counts it;
    // reading its text gives the break as CR LF.
    EXPECT_EQ(TextOf(text), "amy: hi there\r\n12:00");
    auto effectsAt = [&](LONG at) {
        CHARRANGE one{at, at + 1};
        SendMessageW(text, EM_EXSETSEL, 0, LPARAM(&one));
        CHARFORMAT2W format{};
        format.cbSize = sizeof format;
        SendMessageW(text, EM_GETCHARFORMAT, SCF_SELECTION, LPARAM(&format));
        return format;
    };
    EXPECT_TRUE(effectsAt(2).dwEffects & CFE_BOLD);
    EXPECT_EQ(effectsAt(2).crTextColor, ColorRefOf(clMaroon));
    EXPECT_FALSE(effectsAt(7).dwEffects & CFE_BOLD);
    EXPECT_TRUE(effectsAt(15).dwEffects & CFE_ITALIC);
    EXPECT_EQ(priv.view->SelStart(), 15u); // the user's selection reached the model
    priv.view->SetSelection(5, 2);
    CHARRANGE selection{};
    SendMessageW(text, EM_EXGETSEL, 0, LPARAM(&selection));
    EXPECT_EQ(selection.cpMin, 5);
    EXPECT_EQ(selection.cpMax, 7);

    // Closing the tab destroys its view before the windows hear of it.
    bar.CloseChatTab(priv, TNavlet::TCloseNotify::Silent);
    ASSERT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 1);
    test::PumpFor(50);
    EXPECT_FALSE(IsWindow(text));
    bar.PageControl.Page(0).view->AppendLine(TChatLine{{{"still here", clBlack}}});
    EXPECT_EQ(TextOf(Control("ActiveChatView")), "still here");
}

TEST_F(Win32BarWindowTest, TheFormOutlivesItsWindowAndANewWindowShowsItAsItIs) {
    window.reset();
    // None of the gone window's controls hears of these.
    bar.SetBannerMode(bmLogin);
    bar.edNck.SetText("amy");
    bar.ActiveControl.SetFocus(ftEdNck);
    TTabSheet& priv = bar.CreateChatTab("amy", /*owner=*/8, /*chat=*/0x0801);
    priv.view->AppendLine(TChatLine{{{"hello", clBlack}}});
    bar.FormResized(810, 40);

    window = std::make_unique<TBarWindow>(bar, kit, host);
    Resize(810, 216);
    EXPECT_EQ(TextOf(Control("edNck")), "amy");
    EXPECT_TRUE(IsWindowVisible(Control("LoginPanel")));
    EXPECT_EQ(SendMessageW(Control("PageControl"), TCM_GETITEMCOUNT, 0, 0), 2);
    SendMessageW(Control("edNck"), EM_SETSEL, 3, 3);
    Type(Control("edNck"), "y");
    EXPECT_EQ(bar.edNck.Text(), "amyy");
}

TEST_F(Win32BarWindowTest, TheTickerPaintsTheCoresLineOverTheBannersLeftEdge) {
    HWND ticker = Control("msg_img");
    ASSERT_NE(ticker, nullptr);
    UpdateWindow(window->Handle());
    RedrawWindow(ticker, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT r{};
    GetClientRect(ticker, &r);
    ASSERT_EQ(r.bottom, 16);
    // Right of the text the row keeps the default banner's column-0 colour.
    const int x = r.right - 2;
    for (int y : {0, 8, 15})
        EXPECT_EQ(test::ScreenPixel(ticker, x, y), ColorRefOf(defBannerPixels[size_t(y)]))
            << "row " << y;
    bool inked = false;
    for (int px = 1; px < 60 && !inked; ++px)
        inked = test::ScreenPixel(ticker, px, 8) != ColorRefOf(defBannerPixels[8]);
    EXPECT_TRUE(inked) << "the version line's text is drawn";
    test::SaveWindowShot(window->Handle(), "win32-bar.bmp");
}

TEST(Win32ConsoleWindowTest, ShowsTheServersLinesAndClosingEndsTheConsole) {
    OnConsoleCreated = [](TConsoleForm& console) { ShowConsoleWindow(console, nullptr); };
    AddConsoleText("first");
    AddConsoleText("second");
    HWND window = FindWindowW(nullptr, L"Navlet Server Output");
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_TRUE(GetWindowLongPtrW(window, GWL_EXSTYLE) & WS_EX_TOOLWINDOW);
    HWND log = FindWindowExW(window, nullptr, L"EDIT", nullptr);
    HWND clear = FindWindowExW(window, nullptr, L"BUTTON", nullptr);
    ASSERT_NE(log, nullptr);
    ASSERT_NE(clear, nullptr);
    EXPECT_EQ(TextOf(log), "first\r\nsecond\r\n");
    SendMessageW(window, WM_COMMAND, MAKEWPARAM(0, BN_CLICKED), LPARAM(clear));
    EXPECT_TRUE(ConsoleForm->Log().empty());
    EXPECT_EQ(TextOf(log), "");
    SendMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_EQ(ConsoleForm, nullptr);
    EXPECT_FALSE(IsWindow(window));
    AddConsoleText("again"); // a new console, with a new window
    ASSERT_NE(ConsoleForm, nullptr);
    window = FindWindowW(nullptr, L"Navlet Server Output");
    ASSERT_NE(window, nullptr);
    ConsoleForm->FormClose(); // closed by the bar's side: its window goes too
    EXPECT_FALSE(IsWindow(window));
    OnConsoleCreated = nullptr;
}

} // namespace
} // namespace navlet::win32
