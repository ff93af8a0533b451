#include "client/win32/bar/bar_window.h"

#include <algorithm>

#include <commctrl.h>
#include <richedit.h>
#include <windowsx.h>

#include "client/core/actions.h"
#include "client/core/module_state.h"
#include "client/win32/bar/chat_controls.h"
#include "client/win32/bar/pictures.h"
#include "client/win32/kit/ansi.h"
#include "client/win32/kit/win32_kit.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* PANEL_CLASS = L"NavletPanel";
constexpr UINT WM_BAR_LATER = WM_APP + 10;

// The layout's sizes, in pixels, as the Linux bar applies them.
// FIXME: take every rectangle from the core's layout table once it has one.
constexpr int LEFT_PANEL_WIDTH = 250;
constexpr int CHAT_MSG_PANEL_HEIGHT = 15;
constexpr int SEND_BUTTON_WIDTH = 28;
constexpr int CENTRAL_PANEL_WIDTH = 290;
constexpr int MSG_PNL_HEIGHT = 16;
constexpr int BTN_PANEL1_WIDTH = 53;
constexpr int BTN_PANEL2_WIDTH = 34;
constexpr int SPEED_BUTTON = 16;
constexpr int FORM_FONT_PIXELS = 11;
constexpr POINT LOGO_IN_BOTTOM_BANNER{112, 128 - DEF_BANNER_HEIGHT};
constexpr RECT WEB_BROWSER_BOUNDS{-2, -4, 314, 114}; // overhangs: no border, no scroll bar
// How dark the panels' banner backgrounds are under the white labels.
constexpr int PANEL_SHADE = 90;

HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(&ThisModule), &module);
    return module;
}

RECT Rect(int left, int top, int width, int height) {
    return RECT{left, top, left + width, top + height};
}

void Place(HWND window, const RECT& r) {
    if (window)
        SetWindowPos(window, nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

struct TLabel {
    const wchar_t* text;
    POINT at;
    bool bold;
};

} // namespace

// A child window of the bar's own class: fills itself with its colour or
// paints with its handler, and hands the notifications of its child controls
// to their bindings.
class TPanel {
  public:
    TPanel(TBarWindow& owner, HWND parent, COLORREF background, bool root) : owner(owner) {
        brush = CreateSolidBrush(background);
        window = CreateWindowExW(root ? WS_EX_CONTROLPARENT : 0, PANEL_CLASS, L"",
                                 WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, 0, 0, 0,
                                 0, parent, nullptr, ThisModule(), this);
        isRoot = root;
    }
    ~TPanel() {
        if (window) {
            SetWindowLongPtrW(window, GWLP_USERDATA, 0);
            if (isRoot)
                DestroyWindow(window);
        }
        DeleteObject(brush);
    }
    HWND Handle() const { return window; }

    std::function<void(HDC)> OnPaint;
    std::function<void(UINT message, int x, int y)> OnMouseUp;
    std::function<bool(int x, int y)> HandCursorAt;

    static void Register() {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &TPanel::Procedure;
        wc.hInstance = ThisModule();
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = PANEL_CLASS;
        RegisterClassExW(&wc); // fails harmlessly when already registered
    }

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    TBarWindow& owner;
    HWND window = nullptr;
    HBRUSH brush = nullptr;
    bool isRoot = false;
};

LRESULT CALLBACK TPanel::Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(hwnd, GWLP_USERDATA, LONG_PTR(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<TPanel*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, message, wParam, lParam);
    self->window = hwnd;
    return self->Handle(message, wParam, lParam);
}

LRESULT TPanel::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ERASEBKGND: {
        RECT r{};
        GetClientRect(window, &r);
        FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
        return 1;
    }
    case WM_PAINT:
        if (OnPaint) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(window, &ps);
            OnPaint(dc);
            EndPaint(window, &ps);
            return 0;
        }
        break;
    case WM_COMMAND:
        if (TBinding* binding = TBinding::Of(reinterpret_cast<HWND>(lParam))) {
            binding->Command(HIWORD(wParam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (TBinding* binding = TBinding::Of(header->hwndFrom);
            binding && binding->Notify(*header, result))
            return result;
        break;
    }
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        if (TBinding* binding = TBinding::Of(item->hwndItem); binding && binding->DrawItem(*item))
            return TRUE;
        break;
    }
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
        if (TBinding* binding = TBinding::Of(reinterpret_cast<HWND>(lParam)))
            if (HBRUSH b = binding->Colors(reinterpret_cast<HDC>(wParam)))
                return LRESULT(b);
        break;
    case WM_SIZE:
        if (isRoot)
            owner.LayOut();
        return 0;
    case WM_LBUTTONUP:
    case WM_RBUTTONUP:
    case WM_MBUTTONUP:
        if (OnMouseUp) {
            OnMouseUp(message, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam));
            return 0;
        }
        break;
    case WM_SETCURSOR:
        if (HandCursorAt && LOWORD(lParam) == HTCLIENT) {
            POINT at{};
            GetCursorPos(&at);
            ScreenToClient(window, &at);
            if (HandCursorAt(at.x, at.y)) {
                SetCursor(LoadCursor(nullptr, IDC_HAND));
                return TRUE;
            }
        }
        break;
    case WM_BAR_LATER:
        if (isRoot) {
            owner.RunLater();
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

TBarWindow::TBarWindow(TNavlet& b, TWin32Kit& k, HWND parent) : bar(b), kit(k) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES |
                                                       ICC_USEREX_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    // The rich edit classes come with their libraries, loaded for the process.
    if (!LoadLibraryW(L"Msftedit.dll"))
        LoadLibraryW(L"Riched20.dll");
    TPanel::Register();
    formFont = CreateFontW(-FORM_FONT_PIXELS, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, L"Verdana");
    smallFont = CreateFontW(-(FORM_FONT_PIXELS - 1), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                            DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, L"Verdana");
    boldFont = CreateFontW(-FORM_FONT_PIXELS, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, L"Verdana");

    TPanel& root = MakePanel(parent, ColorRefOf(clSkyBlue), "Navlet");
    tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                               root.Handle(), nullptr, ThisModule(), nullptr);
    kit.menus.Register(&bar.Form, root.Handle());
    kit.menus.SetDefaultOwner(root.Handle());
    kit.dialogs.SetOwner(root.Handle());
    kit.host.SetOwner(root.Handle());

    BuildLeftPanel();
    BuildCentralPanel();
    BuildRightPanel();

    observations.Add(bar.ActiveControl, [this] { MoveFocusToModel(); });
    observations.Add(bar.ChatMsgPanel, [this] { LayOut(); });
    BindVisible(root.Handle(), bar.Form, observations);
    SetWindowPos(root.Handle(), nullptr, 0, 0, bar.Form.Width(), bar.Form.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut();
}

TBarWindow::~TBarWindow() {
    kit.menus.Unregister(&bar.Form);
    kit.menus.Unregister(&bar.lvUsers);
    kit.menus.Unregister(&bar.lvFriends);
    kit.menus.Unregister(&bar.msg_img);
    kit.menus.Unregister(&bar.NavletBtn);
    kit.menus.Unregister(&bar.navlet_left_img);
    observations.Forget();
    pending.clear();
    chatTabs.reset();
    ticker.reset();
    bindings.clear(); // the bindings let go of the models first
    if (auto* browser = dynamic_cast<TWin32WebBrowser*>(bar.CppWebBrowser.get()))
        browser->Place(nullptr, RECT{});
    if (tooltips)
        DestroyWindow(tooltips);
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        it->reset(); // children first; the root destroys the windows
    if (comboImages)
        ImageList_Destroy(comboImages);
    DeleteObject(formFont);
    DeleteObject(smallFont);
    DeleteObject(boldFont);
}

HWND TBarWindow::Handle() const {
    return panels.empty() ? nullptr : panels.front()->Handle();
}

HWND TBarWindow::Control(const std::string& name) const {
    if (name == "ActiveChatView")
        return chatTabs ? chatTabs->ActiveView() : nullptr;
    auto it = named.find(name);
    return it == named.end() ? nullptr : it->second;
}

void TBarWindow::Later(std::function<void()> call) {
    pending.push_back(std::move(call));
    if (!laterPosted && Handle())
        laterPosted = PostMessageW(Handle(), WM_BAR_LATER, 0, 0) != 0;
}

void TBarWindow::RunLater() {
    laterPosted = false;
    std::vector<std::function<void()>> calls;
    calls.swap(pending);
    for (auto& call : calls)
        call();
}

TPanel& TBarWindow::MakePanel(HWND parent, COLORREF background, const std::string& name) {
    panels.push_back(std::make_unique<TPanel>(*this, parent, background, panels.empty()));
    named[name] = panels.back()->Handle();
    return *panels.back();
}

HWND TBarWindow::MakeControl(const wchar_t* cls, const wchar_t* text, DWORD style, HWND parent,
                             const std::string& name, DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                   parent, nullptr, ThisModule(), nullptr);
    if (control)
        SendMessageW(control, WM_SETFONT, WPARAM(formFont), FALSE);
    named[name] = control;
    return control;
}

void TBarWindow::BuildLeftPanel() {
    TPanel& left = MakePanel(Handle(), ColorRefOf(clSkyBlue), "LeftPanel");
    HWND tabs =
        MakeControl(WC_TABCONTROLW, L"", TCS_OWNERDRAWFIXED | TCS_FOCUSNEVER | WS_CLIPSIBLINGS,
                    left.Handle(), "PageControl");
    chatTabs =
        std::make_unique<TChatTabsBinding>(bar, tabs, left.Handle(), kit.menus, *this, formFont);
    TPanel& chatLine = MakePanel(left.Handle(), ColorRefOf(clSkyBlue), "ChatMsgPanel");
    HWND edit1 =
        MakeControl(WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, chatLine.Handle(), "Edit1");
    SendMessageW(edit1, WM_SETFONT, WPARAM(smallFont), FALSE);
    bindings.push_back(
        std::make_unique<TEditBinding>(bar.Edit1, edit1, [this] { bar.EditEnter(ftEdit1); }));
    HWND send =
        MakeControl(WC_BUTTONW, L"send", BS_PUSHBUTTON | BS_FLAT, chatLine.Handle(), "sbSendTxt");
    SendMessageW(send, WM_SETFONT, WPARAM(smallFont), FALSE);
    bindings.push_back(std::make_unique<TButtonBinding>(send, [this] { bar.sbSendTxtClick(); }));
    BindVisible(chatLine.Handle(), bar.ChatMsgPanel, observations);
}

void TBarWindow::BuildCentralPanel() {
    TPanel& central = MakePanel(Handle(), ColorRefOf(clSkyBlue), "CentralPanel");
    TPanel& banner = MakePanel(central.Handle(), ColorRefOf(clSkyBlue), "BannerPanel");
    Place(banner.Handle(), Rect(0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT));
    BuildBannerPanels();

    // bottom_bnr: the form paints the strip; the logo lies over it and opens
    // the options menu.
    TPanel& bottom = MakePanel(central.Handle(), ColorRefOf(clSkyBlue), "bottom_bnr");
    const RECT logo =
        Rect(LOGO_IN_BOTTOM_BANNER.x, LOGO_IN_BOTTOM_BANNER.y, LOGO_WIDTH, LOGO_HEIGHT);
    bottom.OnPaint = [this, logo](HDC dc) {
        TGdiCanvas canvas(dc, kit.fonts);
        bar.bottom_bnrPaint(canvas);
        DrawLogo(dc, logo);
    };
    auto inLogo = [logo](int x, int y) { return PtInRect(&logo, POINT{x, y}) != FALSE; };
    bottom.HandCursorAt = inLogo;
    bottom.OnMouseUp = [this, inLogo, logo](UINT message, int x, int y) {
        if (!inLogo(x, y))
            return;
        const int lx = x - logo.left;
        const int ly = y - logo.top;
        if (message == WM_LBUTTONUP) {
            bar.sbNavletClick(TNavlet::TNavletSender::Logo, lx, ly);
            return;
        }
        bar.sbNavletMouseUp(
            TNavlet::TNavletSender::Logo,
            message == WM_RBUTTONUP ? TMouseButton::mbRight : TMouseButton::mbMiddle, 0, lx, ly);
    };
    kit.menus.Register(&bar.navlet_left_img, bottom.Handle());
}

void TBarWindow::BuildBannerPanels() {
    const HWND banner = Control("BannerPanel");
    const RECT whole = Rect(0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT);
    auto plain = std::shared_ptr<void>(DefaultBannerBitmap(0), DeleteObject);
    auto shaded = std::shared_ptr<void>(DefaultBannerBitmap(PANEL_SHADE), DeleteObject);
    auto paintBitmap = [](std::shared_ptr<void> picture, std::vector<TLabel> labels, HFONT normal,
                          HFONT bold) {
        return [picture, labels, normal, bold](HDC dc) {
            HDC source = CreateCompatibleDC(dc);
            const HGDIOBJ old = SelectObject(source, picture.get());
            BitBlt(dc, 0, 0, DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT, source, 0, 0, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            for (const TLabel& label : labels) {
                const HGDIOBJ font = SelectObject(dc, label.bold ? bold : normal);
                TextOutW(dc, label.at.x, label.at.y, label.text, int(wcslen(label.text)));
                SelectObject(dc, font);
            }
        };
    };

    TPanel& def = MakePanel(banner, RGB(255, 255, 255), "DefBannerPanel");
    def.OnPaint = paintBitmap(plain, {}, formFont, boldFont);
    Place(def.Handle(), whole);
    BindVisible(def.Handle(), bar.DefBannerPanel, observations);

    TPanel& login = MakePanel(banner, RGB(0, 0, 40), "LoginPanel");
    login.OnPaint = paintBitmap(shaded,
                                {{L"Log in:", {196, 22}, true},
                                 {L"Username", {97, 42}, false},
                                 {L"Password", {97, 72}, false}},
                                formFont, boldFont);
    Place(login.Handle(), whole);
    BuildLoginPanel(whole);
    BindVisible(login.Handle(), bar.LoginPanel, observations);

    TPanel& web = MakePanel(banner, RGB(255, 255, 255), "WebPanel");
    Place(web.Handle(), whole);
    if (auto* browser = dynamic_cast<TWin32WebBrowser*>(bar.CppWebBrowser.get()))
        browser->Place(web.Handle(), WEB_BROWSER_BOUNDS);
    BindVisible(web.Handle(), bar.WebPanel, observations);

    TPanel& search = MakePanel(banner, RGB(0, 0, 40), "SearchPanel");
    search.OnPaint = paintBitmap(
        shaded,
        {{L"Search user and invite here:", {140, 27}, true}, {L"Username", {93, 48}, false}},
        formFont, boldFont);
    Place(search.Handle(), whole);
    BuildSearchPanel(whole);
    BindVisible(search.Handle(), bar.SearchPanel, observations);

    TPanel& friends = MakePanel(banner, RGB(0, 0, 40), "FriendPanel");
    friends.OnPaint = paintBitmap(shaded, {}, formFont, boldFont);
    Place(friends.Handle(), whole);
    HWND lvFriends =
        MakeControl(WC_LISTVIEWW, L"", LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                    friends.Handle(), "lvFriends", WS_EX_CLIENTEDGE);
    Place(lvFriends, Rect(88, 20, 196, 89));
    bindings.push_back(std::make_unique<TPeopleListBinding>(
        bar, bar.lvFriends, lvFriends, &TNavlet::lvFriendsPopup, *this, nullptr));
    kit.menus.Register(&bar.lvFriends, lvFriends);
    WatchKeys(lvFriends, [this](char key) { bar.OnBnrPnlKeyPress(key); });
    BindVisible(friends.Handle(), bar.FriendPanel, observations);
}

void TBarWindow::BuildLoginPanel(const RECT&) {
    const HWND login = Control("LoginPanel");
    HWND nick =
        MakeControl(WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, login, "edNck", WS_EX_CLIENTEDGE);
    Place(nick, Rect(153, 39, 121, 18));
    bindings.push_back(
        std::make_unique<TEditBinding>(bar.edNck, nick, [this] { bar.EditEnter(ftEdNck); }));
    HWND password = MakeControl(WC_EDITW, L"", ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP, login,
                                "edPwd", WS_EX_CLIENTEDGE);
    SendMessageW(password, EM_SETPASSWORDCHAR, WPARAM(bar.edPwd.PasswordChar()), 0);
    Place(password, Rect(153, 69, 121, 18));
    bindings.push_back(
        std::make_unique<TEditBinding>(bar.edPwd, password, [this] { bar.EditEnter(ftEdPwd); }));
    HWND button = MakeControl(WC_BUTTONW, WideFromAnsi(bar.sbLogin.Caption()).c_str(),
                              BS_PUSHBUTTON | WS_TABSTOP, login, "sbLogin");
    Place(button, Rect(235, 91, 39, 18));
    observations.Add(bar.sbLogin, [this, button] {
        SetWindowTextW(button, WideFromAnsi(bar.sbLogin.Caption()).c_str());
    });
    bindings.push_back(std::make_unique<TButtonBinding>(button, [this] {
        if (bar.sbLogin.OnClick)
            bar.sbLogin.OnClick();
    }));
}

void TBarWindow::BuildSearchPanel(const RECT&) {
    const HWND search = Control("SearchPanel");
    HWND combo = MakeControl(WC_COMBOBOXEXW, L"", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP, search,
                             "cbSearch");
    Place(combo, Rect(152, 45, 128, 21 + 8 * 16)); // the height includes the drop-down
    comboImages = StateImageList();
    bindings.push_back(std::make_unique<TComboBinding>(bar.cbSearch, combo, comboImages,
                                                       [this] { bar.EditEnter(ftCbSearch); }));
    // Keys typed into the search and friends panels keep them open, or close
    // them at Escape.
    auto keys = [this](char key) { bar.OnBnrPnlKeyPress(key); };
    if (HWND line = reinterpret_cast<HWND>(SendMessageW(combo, CBEM_GETEDITCONTROL, 0, 0))) {
        SendMessageW(line, EM_LIMITTEXT, SEARCH_NICK_MAX, 0);
        named["cbSearch.edit"] = line;
        WatchKeys(line, keys);
    }
    HWND message = MakeControl(WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, search, "edSearchMsg",
                               WS_EX_CLIENTEDGE);
    Place(message, Rect(152, 71, 128, 18));
    bindings.push_back(std::make_unique<TEditBinding>(bar.edSearchMsg, message,
                                                      [this] { bar.EditEnter(ftEdSearchMsg); }));
    WatchKeys(message, keys);
    HWND button = MakeControl(WC_BUTTONW, WideFromAnsi(bar.sbSearch.Caption()).c_str(),
                              BS_PUSHBUTTON | WS_TABSTOP, search, "sbSearch");
    Place(button, Rect(235, 93, 45, 18));
    bindings.push_back(std::make_unique<TButtonBinding>(button, [this] {
        if (bar.sbSearch.OnClick)
            bar.sbSearch.OnClick();
    }));
}

void TBarWindow::BuildRightPanel() {
    TPanel& right = MakePanel(Handle(), ColorRefOf(clSkyBlue), "RightPanel");
    TPanel& messages = MakePanel(right.Handle(), ColorRefOf(clSkyBlue), "msg_pnl");
    TPanel& buttons1 = MakePanel(messages.Handle(), ColorRefOf(clSkyBlue), "btnPanel1");
    const COLORREF face = ColorRefOf(clSkyBlue);
    struct TAction {
        TSpeedButton* model;
        TActionPicture picture;
        const char* name;
    };
    const TAction actions[] = {{&bar.SearchBtn, TActionPicture::Search, "SearchBtn"},
                               {&bar.FriendsBtn, TActionPicture::Friends, "FriendsBtn"},
                               {&bar.NavletBtn, TActionPicture::Options, "NavletBtn"}};
    int x = 1;
    for (const TAction& action : actions) {
        HWND button = MakeControl(WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT,
                                  buttons1.Handle(), action.name);
        Place(button, Rect(x, 0, SPEED_BUTTON, SPEED_BUTTON));
        x += SPEED_BUTTON + 1;
        auto binding = std::make_unique<TSpeedButtonBinding>(*action.model, button, tooltips, face);
        binding->SetFixedPicture(ActionPicture16(action.picture, face));
        bindings.push_back(std::move(binding));
    }
    kit.menus.Register(&bar.NavletBtn, buttons1.Handle());

    ticker = std::make_unique<TTickerWindow>(bar, messages.Handle(), kit.fonts);
    named["msg_img"] = ticker->Handle();
    kit.menus.Register(&bar.msg_img, ticker->Handle());

    TPanel& buttons2 = MakePanel(messages.Handle(), ColorRefOf(clSkyBlue), "btnPanel2");
    HWND resize = MakeControl(WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT,
                              buttons2.Handle(), "ResizeBtn");
    Place(resize, Rect(1, 0, SPEED_BUTTON, SPEED_BUTTON));
    bindings.push_back(
        std::make_unique<TSpeedButtonBinding>(bar.ResizeBtn, resize, tooltips, face));
    HWND led = MakeControl(WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT, buttons2.Handle(),
                           "LEDBtn");
    Place(led, Rect(18, 0, SPEED_BUTTON, SPEED_BUTTON));
    bindings.push_back(std::make_unique<TSpeedButtonBinding>(bar.LEDBtn, led, tooltips, face));

    HWND users =
        MakeControl(WC_LISTVIEWW, L"", LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP,
                    right.Handle(), "lvUsers", WS_EX_CLIENTEDGE);
    bindings.push_back(
        std::make_unique<TPeopleListBinding>(bar, bar.lvUsers, users, &TNavlet::lvUsersPopup, *this,
                                             [this] { bar.ActiveControl.SetFocus(ftLvUsers); }));
    kit.menus.Register(&bar.lvUsers, users);
}

void TBarWindow::LayOut() {
    if (layingOut || !Handle())
        return;
    layingOut = true;
    RECT client{};
    GetClientRect(Handle(), &client);
    const int w = client.right;
    const int h = client.bottom;
    const int chatLine = bar.ChatMsgPanel.Visible() ? CHAT_MSG_PANEL_HEIGHT : 0;
    Place(Control("LeftPanel"), Rect(0, 0, LEFT_PANEL_WIDTH, h));
    Place(Control("PageControl"), Rect(0, 0, LEFT_PANEL_WIDTH, h - chatLine));
    Place(Control("ChatMsgPanel"),
          Rect(0, h - CHAT_MSG_PANEL_HEIGHT, LEFT_PANEL_WIDTH, CHAT_MSG_PANEL_HEIGHT));
    Place(Control("Edit1"),
          Rect(0, 0, LEFT_PANEL_WIDTH - SEND_BUTTON_WIDTH, CHAT_MSG_PANEL_HEIGHT));
    Place(Control("sbSendTxt"),
          Rect(LEFT_PANEL_WIDTH - SEND_BUTTON_WIDTH, 0, SEND_BUTTON_WIDTH, CHAT_MSG_PANEL_HEIGHT));
    if (chatTabs)
        chatTabs->LayOut();

    Place(Control("CentralPanel"), Rect(LEFT_PANEL_WIDTH, 0, CENTRAL_PANEL_WIDTH, h));
    const int stripHeight = std::max(0, h - DEF_BANNER_HEIGHT);
    Place(Control("bottom_bnr"), Rect(0, DEF_BANNER_HEIGHT, CENTRAL_PANEL_WIDTH, stripHeight));

    const int rightLeft = LEFT_PANEL_WIDTH + CENTRAL_PANEL_WIDTH;
    const int rightWidth = std::max(0, w - rightLeft);
    const int tickerWidth = std::max(0, rightWidth - BTN_PANEL1_WIDTH - BTN_PANEL2_WIDTH);
    Place(Control("RightPanel"), Rect(rightLeft, 0, rightWidth, h));
    Place(Control("msg_pnl"), Rect(0, 0, rightWidth, MSG_PNL_HEIGHT));
    Place(Control("btnPanel1"), Rect(0, 0, BTN_PANEL1_WIDTH, MSG_PNL_HEIGHT));
    Place(Control("msg_img"), Rect(BTN_PANEL1_WIDTH, 0, tickerWidth, MSG_PNL_HEIGHT));
    Place(Control("btnPanel2"),
          Rect(rightWidth - BTN_PANEL2_WIDTH, 0, BTN_PANEL2_WIDTH, MSG_PNL_HEIGHT));
    Place(Control("lvUsers"), Rect(0, MSG_PNL_HEIGHT, rightWidth, std::max(0, h - MSG_PNL_HEIGHT)));
    layingOut = false;

    // The form hears of its new size after its children have theirs.
    bar.Form.SetBounds(0, 0, w, h);
    bar.bottom_bnr.SetBounds(0, DEF_BANNER_HEIGHT, CENTRAL_PANEL_WIDTH, stripHeight);
    bar.msg_img.SetBounds(BTN_PANEL1_WIDTH, 0, tickerWidth, MSG_PNL_HEIGHT);
    if (tickerWidth != reportedTickerWidth) {
        reportedTickerWidth = tickerWidth;
        bar.msg_pnlResize();
    }
    if (h != reportedHeight) {
        reportedHeight = h;
        bar.BannerPanelResize(); // the chat line may come or go with the height
    }
}

HWND TBarWindow::WindowOfFocus(TFocusTarget target) const {
    switch (target) {
    case ftEdit1:
        return Control("Edit1");
    case ftEdNck:
        return Control("edNck");
    case ftEdPwd:
        return Control("edPwd");
    case ftCbSearch:
        return Control("cbSearch.edit");
    case ftEdSearchMsg:
        return Control("edSearchMsg");
    case ftLvUsers:
        return Control("lvUsers");
    default:
        return nullptr;
    }
}

void TBarWindow::MoveFocusToModel() {
    HWND target = WindowOfFocus(bar.ActiveControl.Target());
    if (target && GetFocus() != target && IsWindowVisible(target))
        SetFocus(target);
}

} // namespace navlet::win32
