// Models of the form's components, the small controls included. Each holds
// what its component holds; setters that change something tell the observers. Handlers of the form
// are plain std::function members, bound in layout.cpp the way the form layout binds them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/core/chat_view.h"
#include "client/core/model.h"
#include "client/kit/graphics.h"
#include "client/kit/input.h"
#include "client/kit/scheduler.h"
#include "protocol/chat_address.h"

namespace navlet {

// A form timer. While enabled with an interval above 0 it ticks every
// interval. Changing the interval of a running timer, or enabling it, starts
// the interval afresh; enabling a running timer changes nothing.
class TTimer : public TModel {
  public:
    TTimer(TScheduler& scheduler, uint32_t intervalMs, bool enabled);
    ~TTimer() override; // a destroyed timer never ticks again

    uint32_t Interval() const { return interval; }
    bool Enabled() const { return enabled; }
    void SetInterval(uint32_t ms);
    void SetEnabled(bool on);

    std::function<void()> OnTimer;

  private:
    void Restart();

    TScheduler& scheduler;
    uint32_t interval;
    bool enabled;
    TTimerHandle handle = 0;
};

// Position, size and visibility: what every visual component has.
class TControl : public TModel {
  public:
    int32_t Left() const { return left; }
    int32_t Top() const { return top; }
    int32_t Width() const { return width; }
    int32_t Height() const { return height; }
    bool Visible() const { return visible; }
    void SetBounds(int32_t newLeft, int32_t newTop, int32_t newWidth, int32_t newHeight);
    void SetVisible(bool on);

  private:
    int32_t left = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool visible = true;
};

// A surface the form paints itself (`msg_img`). Invalidate asks the kit for a
// paint; the kit then calls the form's paint handler with its canvas.
class TPaintBox : public TControl {
  public:
    TCursor Cursor() const { return cursor; }
    void SetCursor(TCursor c);
    void Invalidate();
    // How many repaints were asked for; a test reads it, kits ignore it.
    int InvalidateCount() const { return invalidateCount; }

  private:
    TCursor cursor = TCursor::crDefault;
    int invalidateCount = 0;
};

class TEdit : public TControl {
  public:
    const std::string& Text() const { return text; }
    // What the empty box shows in grey, where the kit can.
    const std::string& Placeholder() const { return placeholder; }
    void SetPlaceholder(std::string value);
    TColor FontColor() const { return fontColor; }
    TColor Color() const { return color; }
    int MaxLength() const { return maxLength; }
    void SetText(std::string value); // cut to MaxLength when that is above 0
    void SetFontColor(TColor c);
    void SetColor(TColor c);
    void SetMaxLength(int chars);
    // UTF-8 text is cut to MaxLength bytes between characters.
    void SetTextCode(TTextCode code) { textCode = code; }

    // The user changed the box's text. `text` is what the box now holds in
    // the bar's code page; `refused` counts the characters the code page
    // cannot hold, which the kit left out. The handler decides what the box
    // keeps, and the kit shows the model's text again afterwards.
    std::function<void(const std::string& text, int refused)> OnTyped;

  private:
    std::string text;
    std::string placeholder;
    TColor fontColor = clWindowText;
    TColor color = clWindow;
    int maxLength = 0;
    TTextCode textCode = TTextCode::Cp1252;
};

// One entry of a list view: its caption, its state image and the id it owns.
struct TListItem {
    std::string caption;
    int32_t stateIndex = 0;
    UserId data = 0;
};

// Kept sorted by caption, ascending. The comparison is byte-wise (unsigned,
// case-sensitive): a locale-aware one would need the platform. An item added
// with a caption already present goes after the others of that caption.
class TListView : public TControl {
  public:
    int Count() const { return int(items.size()); }
    const TListItem& Item(int index) const { return items.at(size_t(index)); }
    const std::vector<TListItem>& Items() const { return items; }
    // Returns the index of the new item.
    int Add(TListItem item);
    void Delete(int index);
    void Clear();
    // Changes the item in place, restores the order if the caption changed,
    // and tells the observers.
    void Update(int index, const std::function<void(TListItem&)>& change);
    // The selected entry, -1 = none; it follows its entry when others come and go.
    int Selected() const { return selected; }
    void SetSelected(int index); // an index outside the list clears the selection

  private:
    std::vector<TListItem> items;
    int selected = -1;
};

// The record attached to each chat tab.
struct ChatTab {
    UserId ownUserId = 0;
    ChatId chatId = 0;
    int32_t joinCount = 0;
    UserId ownerId = 0;
    std::vector<UserId> members;
};

struct TTabSheet {
    std::string caption;
    bool highlighted = false;
    int unread = 0; // lines that came while another tab was shown
    bool visible = true;
    std::unique_ptr<ChatTab> tag;
    std::unique_ptr<TChatView> view;
};

// A tab's caption as the strip shows it: with the count of its unseen lines.
std::string TabLabel(const TTabSheet& sheet);

class TPageControl : public TControl {
  public:
    int PageCount() const { return int(pages.size()); }
    TTabSheet& Page(int index) { return *pages.at(size_t(index)); }
    int ActivePageIndex() const { return activeIndex; } // -1 = none
    // Appends a sheet and returns it; the first sheet becomes active.
    TTabSheet& AddPage(std::unique_ptr<TTabSheet> sheet);
    void DeletePage(int index);
    void SetActivePageIndex(int index);
    // -1 when the sheet is not one of this control's.
    int IndexOf(const TTabSheet* sheet) const;
    void SetCaption(TTabSheet& sheet, std::string caption);
    void SetHighlighted(TTabSheet& sheet, bool on);
    void SetUnread(TTabSheet& sheet, int count);

  private:
    std::vector<std::unique_ptr<TTabSheet>> pages;
    int activeIndex = -1;
};

// The five panels of the banner area.
enum TBannerMode : int32_t { bmDefault = 1, bmLogin, bmWeb, bmSearch, bmFriends };

class TBannerPanel : public TControl {
  public:
    TBannerMode Mode() const { return mode; }
    void SetMode(TBannerMode m);

  private:
    TBannerMode mode = bmDefault;
};

// Images of ImageList2 (16 x 16).
enum TGlyph : int32_t {
    glMinimise = 0,
    glRestore = 1,
    glLedNews = 2,       // green
    glLedError = 3,      // red
    glLedSignedIn = 4,   // grey
    glLedConnecting = 5, // pale yellow
};
inline constexpr int32_t IMAGE_LIST2_COUNT = 6;

class TSpeedButton : public TControl {
  public:
    int32_t Glyph() const { return glyph; }
    const std::string& Hint() const { return hint; }
    // Takes image `index` of ImageList2; an index outside the list leaves the
    // glyph empty (-1), as drawing a missing image does.
    void SetGlyph(int32_t index);
    void SetHint(std::string text);
    // A button of a group stays down after a click until it is released.
    bool Down() const { return down; }
    void SetDown(bool on) {
        if (on == down)
            return;
        down = on;
        Changed();
    }

    std::function<void()> OnClick;

  private:
    bool down = false;
    int32_t glyph = -1; // -1 = no glyph
    std::string hint;
};

class TButton : public TControl {
  public:
    const std::string& Caption() const { return caption; }
    void SetCaption(std::string text);

    std::function<void()> OnClick;

  private:
    std::string caption;
};

// An edit box that shows each character as `PasswordChar()`.
class TPasswordEdit : public TEdit {
  public:
    char PasswordChar() const { return '*'; }
};

// One drop-down item of a combo box with images.
struct TComboExItem {
    std::string caption;
    int32_t imageIndex = 0;
    int32_t selectedImageIndex = 0;
};

// cbSearch: an edit box with a drop-down list of items in the order added.
class TComboBoxEx : public TControl {
  public:
    const std::string& Text() const { return text; }
    void SetText(std::string value);
    int ItemCount() const { return int(items.size()); }
    const TComboExItem& Item(int index) const { return items.at(size_t(index)); }
    void AddItem(TComboExItem item);
    void DeleteItem(int index);
    void ClearItems();
    // The selected drop-down item, -1 = none; selecting one shows its caption.
    int ItemIndex() const { return itemIndex; }
    void SetItemIndex(int index); // an index outside the list clears the selection

  private:
    std::string text;
    int itemIndex = -1;
    std::vector<TComboExItem> items;
};

// The form's controls as far as the focus matters to the band.
enum TFocusTarget : int32_t {
    ftNone, // no control of the form is active
    ftEdit1,
    ftEdNck,
    ftEdPwd,
    ftCbSearch,
    ftEdSearchMsg,
    ftLvUsers,
    ftOther, // a control of the form that is none of the above
};

// The form's active control. The kit moves the native focus on each change
// and reports the native focus back through SetFocus.
class TFormFocus : public TModel {
  public:
    TFocusTarget Target() const { return target; }
    // A focus request: the observers hear of it even when the target stays.
    void SetFocus(TFocusTarget t) {
        target = t;
        Changed();
    }

  private:
    TFocusTarget target = ftNone;
};

} // namespace navlet
