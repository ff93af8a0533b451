// Native controls that show one component model each: they render on every
// change of their model and, on user input, update the model and call the
// form's handler. A render never comes back as a user edit: each binding
// renders under a guard and reacts only to notifications outside it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "client/core/navlet.h"

namespace navlet::win32 {

class TWin32MenuTracker;
class TFontCache;

class TBinding;

// The observations a window holds; they end with it, or with their model when
// that goes first.
class TObservations {
  public:
    // Renders `binding`'s control from `model` now and after every change,
    // inside the binding's render guard: what the control reports meanwhile
    // is the render's echo, never a user's edit. `onEnd` runs when the model
    // is destroyed first.
    void Bind(TModel& model, TBinding& binding, std::function<void()> render,
              TModel::TObserver onEnd = {});
    // Runs `observer` after every change of `model`; nothing is rendered now.
    void Add(TModel& model, TModel::TObserver observer, TModel::TObserver onEnd = {});

  private:
    std::vector<TModel::TObservation> held;
};

// Runs calls after the current message is handled, on the bar's thread, as
// long as its owner lives (the bar window).
class TLater {
  public:
    virtual ~TLater() = default;
    virtual void Later(std::function<void()> call) = 0;
};

// What a control's parent panel hands over of the control's notifications.
// A binding attaches itself to its control's window; the panel finds it there
// and hands it no command or notification while it renders its model.
class TBinding {
  public:
    virtual ~TBinding();
    virtual void Command(WORD) {}
    virtual bool Notify(const NMHDR&, LRESULT&) { return false; }
    virtual bool DrawItem(const DRAWITEMSTRUCT&) { return false; }
    // The brush for the control's background, or null for the default.
    virtual HBRUSH Colors(HDC) { return nullptr; }
    // True while the binding renders: its control's reports are not the user's.
    bool Rendering() const { return renderDepth > 0; }

    static TBinding* Of(HWND control);

    // Held while a render runs; renders may nest (a render that changes a
    // model renders again).
    class TRenderGuard {
      public:
        explicit TRenderGuard(TBinding& b) : binding(b) { ++binding.renderDepth; }
        ~TRenderGuard() { --binding.renderDepth; }
        TRenderGuard(const TRenderGuard&) = delete;
        TRenderGuard& operator=(const TRenderGuard&) = delete;

      private:
        TBinding& binding;
    };

  protected:
    void Attach(HWND control);
    HWND window = nullptr;

  private:
    int renderDepth = 0;
};

// Shows and hides `window` with the model's visibility.
void BindVisible(HWND window, TControl& model, TObservations& observations);

class TEditBinding : public TBinding {
  public:
    TEditBinding(TEdit& model, HWND edit, std::function<void()> onFocus);
    ~TEditBinding() override;
    void Command(WORD code) override;
    HBRUSH Colors(HDC dc) override;
    // The grey hint, which cannot scroll as typed text does, is drawn in a
    // narrower cut of the box's font when the font's own does not fit (fonts
    // differ between systems); typed text keeps the font. Run after the box's
    // size changes.
    void FitHint();

  private:
    void Render();
    void Typed();
    HFONT NarrowerCut(const std::wstring& text, int room, int full) const;

    TEdit& model;
    std::function<void()> onFocus;
    HBRUSH background = nullptr;
    TColor backgroundColor = 0;
    HFONT boxFont = nullptr;  // the font given to the box; not ours
    HFONT hintFont = nullptr; // the narrower cut, ours while it is made
    TObservations observations;
};

class TButtonBinding : public TBinding {
  public:
    // `caption` empty for a button that shows a picture; `onClick` runs the
    // model's click handler at the time of the click.
    TButtonBinding(HWND button, std::function<void()> onClick);
    void Command(WORD code) override;

  private:
    std::function<void()> onClick;
};

// A flat picture button bound to a TSpeedButton: its glyph and hint.
class TSpeedButtonBinding : public TBinding {
  public:
    TSpeedButtonBinding(TSpeedButton& model, HWND button, HWND tooltips, COLORREF background);
    ~TSpeedButtonBinding() override;
    void Command(WORD code) override;
    // An action button keeps its own picture; its glyph index is ignored.
    void SetFixedPicture(HBITMAP picture);

  private:
    void Render();

    TSpeedButton& model;
    HWND tooltips;
    COLORREF background;
    HBITMAP picture = nullptr;
    bool fixedPicture = false;
    bool toolAdded = false;
    TObservations observations;
};

// lvUsers and lvFriends: the entries in the model's order with their state
// images. A click on an entry selects it and opens its menu once the click's
// own handling is over.
class TPeopleListBinding : public TBinding {
  public:
    using TPopup = void (TNavlet::*)(int32_t, int32_t, bool&);
    TPeopleListBinding(TNavlet& bar, TListView& model, HWND list, TPopup popup, TLater& later,
                       std::function<void()> onFocus);
    ~TPeopleListBinding() override;
    bool Notify(const NMHDR& header, LRESULT& result) override;

  private:
    void Render();
    void Open(int row);

    TNavlet& bar;
    TListView& model;
    TPopup popup;
    TLater& later;
    std::function<void()> onFocus;
    HIMAGELIST states = nullptr;
    TObservations observations;
};

// cbSearch: a ComboBoxEx with the items' images and an editable line.
class TComboBinding : public TBinding {
  public:
    TComboBinding(TComboBoxEx& model, HWND combo, HIMAGELIST images, std::function<void()> onFocus);
    void Command(WORD code) override;

  private:
    void Render();

    TComboBoxEx& model;
    std::function<void()> onFocus;
    TObservations observations;
};

// Hands the characters typed into `control` to `onKey` before the control
// sees them (Escape as 27); Enter is the browser's, not the control's.
void WatchKeys(HWND control, std::function<void(char)> onKey);

} // namespace navlet::win32
