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
#include "client/win32/kit/window_class.h"

namespace navlet::win32 {

namespace {

constexpr const wchar_t* PANEL_CLASS = L"NavletPanel";
constexpr UINT WM_BAR_LATER = WM_APP + 10;

// The search box's drop-down shows this many entries.
constexpr int SEARCH_DROP_DOWN_HEIGHT = 8 * 16;
// The chat tabs' width, each.
constexpr int TAB_WIDTH = 80;

RECT RectOf(const TRect& r) {
    return RECT{r.left, r.top, r.right, r.bottom};
}

void Place(HWND window, const TRect& r) {
    if (window)
        SetWindowPos(window, nullptr, r.left, r.top, r.Width(), r.Height(),
                     SWP_NOZORDER | SWP_NOACTIVATE);
}

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
        RegisterWindowClass(PANEL_CLASS, &TPanel::Procedure, LoadCursor(nullptr, IDC_ARROW));
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
            if (!binding->Rendering())
                binding->Command(HIWORD(wParam));
            return 0;
        }
        break;
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        LRESULT result = 0;
        if (TBinding* binding = TBinding::Of(header->hwndFrom);
            binding && !binding->Rendering() && binding->Notify(*header, result))
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
    case WM_CONTEXTMENU:
        // The bar's menus open from its controls' own clicks; a right click
        // anywhere else shows nothing, and never reaches the band site, where
        // the browser would show its own menu.
        if (isRoot)
            return 0;
        break;
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
    boldFont = CreateFontW(-FORM_FONT_PIXELS, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                           DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0, L"Verdana");

    // The form's own window is a child of the band site's.
    panels.push_back(std::make_unique<TPanel>(*this, parent, ColorRefOf(clSkyBlue), true));
    PlaceWindow(TPart::Form, panels.back()->Handle());
    const HWND root = Handle();
    tooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP,
                               CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, root,
                               nullptr, ThisModule(), nullptr);
    kit.menus.Register(&bar.Form, root);
    kit.owners.Add(root);

    MakePanel(TPart::Panel1, ColorRefOf(clSkyBlue));
    BuildLeftPanel();
    MakePanel(TPart::Panel4, ColorRefOf(clSkyBlue));
    BuildCentralPanel();
    BuildRightPanel();

    observations.Add(bar.ActiveControl, [this] { MoveFocusToModel(); });
    focusWatch = std::make_unique<TFocusWatch>(root, [this](HWND now) { ReportFocus(now); });
    observations.Add(bar.ChatMsgPanel, [this] { LayOut(); });
    BindVisible(root, bar.Form, observations);
    SetWindowPos(root, nullptr, 0, 0, bar.Form.Width(), bar.Form.Height(),
                 SWP_NOZORDER | SWP_NOACTIVATE);
    LayOut();
}

TBarWindow::~TBarWindow() {
    focusWatch.reset();
    kit.owners.Remove(Handle());
    kit.menus.Unregister(&bar.Form);
    kit.menus.Unregister(&bar.lvUsers);
    kit.menus.Unregister(&bar.lvFriends);
    kit.menus.Unregister(&bar.msg_img);
    kit.menus.Unregister(&bar.NavletBtn);
    kit.menus.Unregister(&bar.navlet_left_img);
    pending.clear();
    chatTabs.reset();
    ticker.reset();
    bindings.clear(); // the bindings let go of the models first
    if (TWin32WebBrowser* browser = kit.browsers.Of(bar.CppWebBrowser.get()))
        browser->Place(nullptr, RECT{});
    if (tooltips)
        DestroyWindow(tooltips);
    for (auto it = panels.rbegin(); it != panels.rend(); ++it)
        it->reset(); // children first; the root destroys the windows
    if (comboImages)
        ImageList_Destroy(comboImages);
    DeleteObject(formFont);
    DeleteObject(boldFont);
}

HWND TBarWindow::Handle() const {
    return Placed(TPart::Form);
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

void TBarWindow::PlaceWindow(TPart part, HWND window) {
    if (window)
        SetWindowLongPtrW(window, GWLP_ID, LONG_PTR(ControlId(part)));
    placed[size_t(part)] = window;
    named[LayoutRow(part).name] = window;
}

TPanel& TBarWindow::MakePanel(TPart part, COLORREF background) {
    panels.push_back(
        std::make_unique<TPanel>(*this, Placed(LayoutRow(part).parent), background, false));
    PlaceWindow(part, panels.back()->Handle());
    return *panels.back();
}

HWND TBarWindow::MakeControl(TPart part, const wchar_t* cls, const wchar_t* text, DWORD style,
                             DWORD exStyle) {
    HWND control = CreateWindowExW(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, 0, 0, 0, 0,
                                   Placed(LayoutRow(part).parent), nullptr, ThisModule(), nullptr);
    if (control)
        SendMessageW(control, WM_SETFONT, WPARAM(formFont), FALSE);
    PlaceWindow(part, control);
    return control;
}

void TBarWindow::BuildLeftPanel() {
    TPanel& left = MakePanel(TPart::LeftPanel, ColorRefOf(clSkyBlue));
    HWND tabs = MakeControl(TPart::PageControl, WC_TABCONTROLW, L"",
                            TCS_OWNERDRAWFIXED | TCS_FIXEDWIDTH | TCS_FOCUSNEVER | WS_CLIPSIBLINGS);
    SendMessageW(tabs, TCM_SETITEMSIZE, 0, MAKELPARAM(TAB_WIDTH, TAB_STRIP_HEIGHT));
    chatTabs =
        std::make_unique<TChatTabsBinding>(bar, tabs, left.Handle(), kit.menus, *this, formFont);
    TPanel& chatLine = MakePanel(TPart::ChatMsgPanel, ColorRefOf(clSkyBlue));
    HWND edit1 = MakeControl(TPart::Edit1, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP);
    // The text, the hint above all, stops short of the "send" button beside it.
    SendMessageW(edit1, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELPARAM(1, 5));
    auto line =
        std::make_unique<TEditBinding>(bar.Edit1, edit1, [this] { bar.EditEnter(ftEdit1); });
    chatLineBox = line.get();
    bindings.push_back(std::move(line));
    HWND send = MakeControl(TPart::sbSendTxt, WC_BUTTONW, L"send", BS_PUSHBUTTON | BS_FLAT);
    bindings.push_back(std::make_unique<TButtonBinding>(send, [this] { bar.sbSendTxtClick(); }));
    BindVisible(chatLine.Handle(), bar.ChatMsgPanel, observations);
}

void TBarWindow::BuildCentralPanel() {
    MakePanel(TPart::CentralPanel, ColorRefOf(clSkyBlue));
    MakePanel(TPart::BannerPanel, ColorRefOf(clSkyBlue));
    BuildBannerPanels();
    // bottom_bnr: the form paints the strip.
    TPanel& bottom = MakePanel(TPart::bottom_bnr, ColorRefOf(clSkyBlue));
    bottom.OnPaint = [this](HDC dc) {
        TGdiCanvas canvas(dc, kit.fonts);
        bar.bottom_bnrPaint(canvas);
    };
    BuildLogo();
}

void TBarWindow::BuildLogo() {
    // The logo lies over the lower strip, which shows around its letters, and
    // opens the options menu.
    TPanel& logo = MakePanel(TPart::navlet_left_img, ColorRefOf(clSkyBlue));
    SetWindowPos(logo.Handle(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    logo.OnPaint = [this](HDC dc) {
        const TRect& place = bar.Layout().Rect(TPart::navlet_left_img);
        const TRect& strip = bar.Layout().Rect(TPart::bottom_bnr);
        POINT old{};
        SetViewportOrgEx(dc, strip.left - place.left, strip.top - place.top, &old);
        TGdiCanvas canvas(dc, kit.fonts);
        bar.bottom_bnrPaint(canvas);
        SetViewportOrgEx(dc, old.x, old.y, nullptr);
        DrawLogo(dc, 0, 0);
    };
    logo.HandCursorAt = [](int, int) { return true; };
    logo.OnMouseUp = [this](UINT message, int x, int y) {
        if (message == WM_LBUTTONUP) {
            bar.sbNavletClick(TNavlet::TNavletSender::Logo, x, y);
            return;
        }
        bar.sbNavletMouseUp(
            TNavlet::TNavletSender::Logo,
            message == WM_RBUTTONUP ? TMouseButton::mbRight : TMouseButton::mbMiddle, 0, x, y);
    };
    kit.menus.Register(&bar.navlet_left_img, logo.Handle());
}

void TBarWindow::BuildBannerPanels() {
    auto background = [](TBannerMode mode) {
        return std::shared_ptr<void>(PanelBackground(mode), DeleteObject);
    };
    // A panel's picture, then its labels in white, where the layout puts them.
    auto paint = [this](std::shared_ptr<void> picture, std::vector<TPart> labels) {
        return [this, picture, labels](HDC dc) {
            HDC source = CreateCompatibleDC(dc);
            const HGDIOBJ old = SelectObject(source, picture.get());
            BitBlt(dc, 0, 0, BANNER_AREA_WIDTH, BANNER_AREA_HEIGHT, source, 0, 0, SRCCOPY);
            SelectObject(source, old);
            DeleteDC(source);
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(255, 255, 255));
            for (TPart part : labels) {
                const TLabelText* label = LabelText(part);
                RECT box = RectOf(bar.Layout().Rect(part));
                const HGDIOBJ font = SelectObject(dc, label->bold ? boldFont : formFont);
                const std::wstring caption = WideFromAnsi(label->caption);
                DrawTextW(dc, caption.c_str(), int(caption.size()), &box,
                          label->wrapped ? DT_RIGHT | DT_WORDBREAK
                                         : DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOCLIP);
                SelectObject(dc, font);
            }
        };
    };

    TPanel& def = MakePanel(TPart::DefBannerPanel, RGB(255, 255, 255));
    def.OnPaint = paint(background(bmDefault), {});
    BindVisible(def.Handle(), bar.DefBannerPanel, observations);

    TPanel& login = MakePanel(TPart::LoginPanel, RGB(0, 0, 40));
    login.OnPaint = paint(background(bmLogin), {TPart::Label3, TPart::Label1, TPart::Label2});
    BuildLoginPanel();
    BindVisible(login.Handle(), bar.LoginPanel, observations);

    TPanel& web = MakePanel(TPart::WebPanel, RGB(255, 255, 255));
    if (TWin32WebBrowser* browser = kit.browsers.Of(bar.CppWebBrowser.get()))
        browser->Place(web.Handle(), RectOf(bar.Layout().Rect(TPart::CppWebBrowser)));
    BindVisible(web.Handle(), bar.WebPanel, observations);

    TPanel& search = MakePanel(TPart::SearchPanel, RGB(0, 0, 40));
    search.OnPaint = paint(background(bmSearch), {TPart::Label5, TPart::Label4, TPart::Label6});
    BuildSearchPanel();
    BindVisible(search.Handle(), bar.SearchPanel, observations);

    TPanel& friends = MakePanel(TPart::FriendPanel, RGB(0, 0, 40));
    friends.OnPaint = paint(background(bmFriends), {TPart::Label7});
    HWND lvFriends =
        MakeControl(TPart::lvFriends, WC_LISTVIEWW, L"",
                    LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
    bindings.push_back(std::make_unique<TPeopleListBinding>(
        bar, bar.lvFriends, lvFriends, &TNavlet::lvFriendsPopup, *this, nullptr));
    kit.menus.Register(&bar.lvFriends, lvFriends);
    WatchKeys(lvFriends, [this](char key) { bar.OnBnrPnlKeyPress(key); });
    BindVisible(friends.Handle(), bar.FriendPanel, observations);
}

void TBarWindow::BuildLoginPanel() {
    HWND nick =
        MakeControl(TPart::edNck, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE);
    bindings.push_back(
        std::make_unique<TEditBinding>(bar.edNck, nick, [this] { bar.EditEnter(ftEdNck); }));
    HWND password = MakeControl(TPart::edPwd, WC_EDITW, L"",
                                ES_AUTOHSCROLL | ES_PASSWORD | WS_TABSTOP, WS_EX_CLIENTEDGE);
    SendMessageW(password, EM_SETPASSWORDCHAR, WPARAM(bar.edPwd.PasswordChar()), 0);
    bindings.push_back(
        std::make_unique<TEditBinding>(bar.edPwd, password, [this] { bar.EditEnter(ftEdPwd); }));
    HWND button =
        MakeControl(TPart::sbLogin, WC_BUTTONW, WideFromAnsi(bar.sbLogin.Caption()).c_str(),
                    BS_PUSHBUTTON | WS_TABSTOP);
    observations.Add(bar.sbLogin, [this, button] {
        SetWindowTextW(button, WideFromAnsi(bar.sbLogin.Caption()).c_str());
    });
    bindings.push_back(std::make_unique<TButtonBinding>(button, [this] {
        if (bar.sbLogin.OnClick)
            bar.sbLogin.OnClick();
    }));
}

void TBarWindow::BuildSearchPanel() {
    HWND combo =
        MakeControl(TPart::cbSearch, WC_COMBOBOXEXW, L"", CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP);
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
    HWND message = MakeControl(TPart::edSearchMsg, WC_EDITW, L"", ES_AUTOHSCROLL | WS_TABSTOP,
                               WS_EX_CLIENTEDGE);
    bindings.push_back(std::make_unique<TEditBinding>(bar.edSearchMsg, message,
                                                      [this] { bar.EditEnter(ftEdSearchMsg); }));
    WatchKeys(message, keys);
    HWND button =
        MakeControl(TPart::sbSearch, WC_BUTTONW, WideFromAnsi(bar.sbSearch.Caption()).c_str(),
                    BS_PUSHBUTTON | WS_TABSTOP);
    bindings.push_back(std::make_unique<TButtonBinding>(button, [this] {
        if (bar.sbSearch.OnClick)
            bar.sbSearch.OnClick();
    }));
}

void TBarWindow::BuildRightPanel() {
    MakePanel(TPart::RightPanel, ColorRefOf(clSkyBlue));
    MakePanel(TPart::msg_pnl, ColorRefOf(clSkyBlue));
    MakePanel(TPart::BtnPanel1, ColorRefOf(clSkyBlue));
    const COLORREF face = ColorRefOf(clSkyBlue);
    struct TAction {
        TSpeedButton* model;
        TActionPicture picture;
        TPart part;
    };
    const TAction actions[] = {{&bar.SearchBtn, TActionPicture::Search, TPart::SearchBtn},
                               {&bar.FriendsBtn, TActionPicture::Friends, TPart::FriendsBtn},
                               {&bar.NavletBtn, TActionPicture::Options, TPart::NavletBtn}};
    for (const TAction& action : actions) {
        HWND button =
            MakeControl(action.part, WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT);
        auto binding = std::make_unique<TSpeedButtonBinding>(*action.model, button, tooltips, face);
        binding->SetFixedPicture(ActionPicture16(action.picture, face));
        bindings.push_back(std::move(binding));
    }
    // The options menu opens in the button's own coordinates.
    kit.menus.Register(&bar.NavletBtn, Placed(TPart::NavletBtn));

    ticker = std::make_unique<TTickerWindow>(bar, Placed(TPart::msg_pnl), kit.fonts);
    PlaceWindow(TPart::msg_img, ticker->Handle());
    kit.menus.Register(&bar.msg_img, ticker->Handle());

    MakePanel(TPart::BtnPanel2, ColorRefOf(clSkyBlue));
    HWND resize =
        MakeControl(TPart::ResizeBtn, WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT);
    bindings.push_back(
        std::make_unique<TSpeedButtonBinding>(bar.ResizeBtn, resize, tooltips, face));
    HWND led = MakeControl(TPart::LEDBtn, WC_BUTTONW, L"", BS_PUSHBUTTON | BS_BITMAP | BS_FLAT);
    bindings.push_back(std::make_unique<TSpeedButtonBinding>(bar.LEDBtn, led, tooltips, face));

    HWND users =
        MakeControl(TPart::lvUsers, WC_LISTVIEWW, L"",
                    LVS_LIST | LVS_SINGLESEL | LVS_SHOWSELALWAYS | WS_TABSTOP, WS_EX_CLIENTEDGE);
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
    // The form places its parts and runs its resize handlers; the windows
    // then take the places it gave.
    bar.FormResized(client.right, client.bottom);
    const TBarLayout& layout = bar.Layout();
    for (size_t i = 1; i < PART_COUNT; ++i)
        Place(placed[i], layout.Rect(TPart(i)));
    if (HWND combo = Placed(TPart::cbSearch)) {
        // A combo box's window height includes its drop-down list.
        const TRect& r = layout.Rect(TPart::cbSearch);
        SetWindowPos(combo, nullptr, r.left, r.top, r.Width(), r.Height() + SEARCH_DROP_DOWN_HEIGHT,
                     SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (chatTabs)
        chatTabs->LayOut();
    if (chatLineBox)
        chatLineBox->FitHint();
    layingOut = false;
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

void TBarWindow::ReportFocus(HWND now) {
    for (TFocusTarget own : {ftEdit1, ftEdNck, ftEdPwd, ftCbSearch, ftEdSearchMsg, ftLvUsers}) {
        HWND window = WindowOfFocus(own);
        if (window && (window == now || IsChild(window, now)))
            return; // that control tells the form itself
    }
    HWND search = Control("cbSearch");
    if (search && (search == now || IsChild(search, now)))
        return;
    if (bar.ActiveControl.Target() != ftOther)
        bar.ActiveControl.SetFocus(ftOther);
}

void TBarWindow::MoveFocusToModel() {
    HWND target = WindowOfFocus(bar.ActiveControl.Target());
    if (target && GetFocus() != target && IsWindowVisible(target))
        SetFocus(target);
}

} // namespace navlet::win32
