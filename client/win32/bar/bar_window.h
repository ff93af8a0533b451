// The bar form on Windows: native common controls, each bound to its model,
// placed where the layout puts them, inside one child window of the band
// site that the COM module gives. The window reports its size and the focus
// to the form; it decides nothing about the bar's behaviour.
#pragma once

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "client/core/bar_layout.h"
#include "client/core/navlet.h"
#include "client/win32/bar/bound_controls.h"
#include "client/win32/bar/focus_watch.h"

namespace navlet::win32 {

struct TWin32Kit;
class TChatTabsBinding;
class TTickerWindow;
class TPanel;

// Each part's window carries this control ID, so that a container or an
// accessibility tool finds the bar's controls as it finds a dialog's.
inline constexpr int CONTROL_ID_BASE = 1000;
constexpr int ControlId(TPart part) {
    return CONTROL_ID_BASE + int(part);
}

class TBarWindow : public TLater {
  public:
    // The form and the kit outlive the window. `parent` is the band site's
    // window; the bar's window is its child.
    TBarWindow(TNavlet& bar, TWin32Kit& kit, HWND parent);
    ~TBarWindow() override;
    TBarWindow(const TBarWindow&) = delete;
    TBarWindow& operator=(const TBarWindow&) = delete;

    HWND Handle() const;
    // A control's window by its layout name ("Edit1", "lvUsers", "msg_img",
    // "LoginPanel"..., "ActiveChatView" for the active tab's conversation);
    // null for an unknown name. For tests and screenshots.
    HWND Control(const std::string& name) const;

  private:
    friend class TPanel;

    void Later(std::function<void()> call) override;
    void RunLater();

    // Each part is made inside the window of its layout parent, which must
    // exist already (the layout lists parents first).
    TPanel& MakePanel(TPart part, COLORREF background);
    HWND MakeControl(TPart part, const wchar_t* cls, const wchar_t* text, DWORD style,
                     DWORD exStyle = 0);
    HWND Placed(TPart part) const { return placed[size_t(part)]; }
    void PlaceWindow(TPart part, HWND window);
    void BuildLeftPanel();
    void BuildCentralPanel();
    void BuildBannerPanels();
    void BuildLoginPanel();
    void BuildSearchPanel();
    void BuildLogo();
    void BuildRightPanel();
    void LayOut();
    void MoveFocusToModel();
    // A control of the bar takes the focus: one that is none of the form's
    // focus targets makes the form's active control "other", so that Enter
    // there is not taken for the chat line's or the sign-in's.
    void ReportFocus(HWND now);
    HWND WindowOfFocus(TFocusTarget target) const;

    TNavlet& bar;
    TWin32Kit& kit;
    HFONT formFont = nullptr;
    HFONT boldFont = nullptr;
    HWND tooltips = nullptr;
    HIMAGELIST comboImages = nullptr;
    std::vector<std::unique_ptr<TPanel>> panels; // the first is the bar's own window
    std::vector<std::unique_ptr<TBinding>> bindings;
    std::map<std::string, HWND> named;
    std::array<HWND, PART_COUNT> placed{};
    std::unique_ptr<TChatTabsBinding> chatTabs;
    TEditBinding* chatLineBox = nullptr; // in `bindings`; its hint fits the laid-out box
    std::unique_ptr<TTickerWindow> ticker;
    std::vector<std::function<void()>> pending;
    bool laterPosted = false;
    bool layingOut = false;
    TObservations observations;
    std::unique_ptr<TFocusWatch> focusWatch;
};

// Makes the window of a console as the core creates it: a tool window that
// stays above `owner`'s top-level window, freed when the console closes.
void ShowConsoleWindow(TConsoleForm& console, HWND owner);

} // namespace navlet::win32
