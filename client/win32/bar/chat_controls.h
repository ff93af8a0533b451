// The chat tabs with their rich edit conversations, and the ticker line.
#pragma once

#include <memory>
#include <vector>

#include "client/win32/bar/bound_controls.h"

namespace navlet::win32 {

class TFontCache;
class TDib;

// One conversation in a rich edit: nick bold, time italic, each run in its
// colour. Selections go back to the model; scroll requests are followed.
class TChatViewBinding : public TBinding {
  public:
    TChatViewBinding(TNavlet& bar, TChatView& view, HWND richEdit, TWin32MenuTracker& menus);
    ~TChatViewBinding() override;
    bool Notify(const NMHDR& header, LRESULT& result) override;
    HWND Window() const { return window; }
    // Null once the view was destroyed with its tab: nothing may reach it then.
    TChatView* View() const { return view; }

  private:
    void Render();

    TNavlet& bar;
    TChatView* view;
    TWin32MenuTracker& menus;
    int scrollRequests = 0;
    std::vector<std::vector<TTextRun>> shown;
    TObservations observations;
};

// PageControl: a tab control over one rich edit per sheet, the highlighted
// tabs' captions in red (the tabs are drawn here).
class TChatTabsBinding : public TBinding {
  public:
    TChatTabsBinding(TNavlet& bar, HWND tabs, HWND pagesParent, TWin32MenuTracker& menus,
                     TLater& later, HFONT font);
    ~TChatTabsBinding() override;
    bool Notify(const NMHDR& header, LRESULT& result) override;
    bool DrawItem(const DRAWITEMSTRUCT& item) override;
    // Places the active conversation in the tab control's display area.
    void LayOut();
    HWND ActiveView() const;

  private:
    void Render();

    TNavlet& bar;
    HWND pagesParent;
    TWin32MenuTracker& menus;
    TLater& later;
    HFONT font;
    struct TShownPage {
        TTabSheet* sheet;
        std::unique_ptr<TChatViewBinding> binding;
    };
    std::vector<TShownPage> pages;
    TObservations observations;
};

// msg_img: a window of its own that paints the ticker's display list through
// an off-screen DIB and hands mouse events to the form.
class TTickerWindow {
  public:
    TTickerWindow(TNavlet& bar, HWND parent, TFontCache& fonts);
    ~TTickerWindow();
    HWND Handle() const { return window; }

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    void Paint();

    TNavlet& bar;
    TFontCache& fonts;
    HWND window = nullptr;
    std::unique_ptr<TDib> image; // made at the first paint, kept
    TObservations observations;
};

// The modifier keys and buttons of a mouse message's wParam.
TShiftState ShiftOf(WPARAM keys);

} // namespace navlet::win32
