// The bar form's layout: every panel and control by its layout name, where it
// sits in its parent, and the one function that places them all for a form
// size. Kits only apply the rectangles it returns to their widgets.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "client/kit/graphics.h"

namespace navlet {

// The height of the minimised bar; a bar this high or lower counts as minimised.
inline constexpr int32_t BAR_MIN_HEIGHT = 20;
// The chat edit line needs room under the tabs: it shows above this height.
inline constexpr int32_t CHAT_LINE_HIDDEN_UP_TO = 52;
// The size the form was designed at; it starts with it.
inline constexpr int32_t FORM_DESIGN_WIDTH = 810;
inline constexpr int32_t FORM_DESIGN_HEIGHT = 216;
// The banner area at the top of the central panel.
inline constexpr int32_t BANNER_AREA_WIDTH = 290;
inline constexpr int32_t BANNER_AREA_HEIGHT = 114;
// The chat tabs' strip.
inline constexpr int32_t TAB_STRIP_HEIGHT = 15;
// A narrow form keeps the right-hand side whole (the three buttons, a ticker
// that shows a word or two, the LED and minimise buttons, the people list):
// the chat side gives up room first, down to a chat view's narrowest, then
// the banner area its picture on the left, where no control lies.
inline constexpr int32_t RIGHT_PANEL_MIN_WIDTH = 53 + 94 + 34;
inline constexpr int32_t LEFT_PANEL_MIN_WIDTH = 117;
inline constexpr int32_t BANNER_PICTURE_WIDTH = 88;
// The narrowest form that shows every part: the band's declared minimum.
inline constexpr int32_t NARROW_FORM_MIN_WIDTH =
    LEFT_PANEL_MIN_WIDTH + BANNER_AREA_WIDTH - BANNER_PICTURE_WIDTH + RIGHT_PANEL_MIN_WIDTH;
// The form's font: Verdana, 9 pixels high.
inline constexpr int32_t FORM_FONT_PIXELS = 9;

// Every component that the layout places, parents before their children.
enum class TPart : uint8_t {
    Form,
    Panel1,
    LeftPanel,
    ChatMsgPanel,
    sbSendTxt,
    Edit1,
    PageControl,
    Panel4,
    CentralPanel,
    BannerPanel,
    bottom_bnr,
    navlet_left_img,
    RightPanel,
    msg_pnl,
    BtnPanel1,
    SearchBtn,
    FriendsBtn,
    NavletBtn,
    BtnPanel2,
    ResizeBtn,
    LEDBtn,
    msg_img,
    lvUsers,
    // The five panels of the banner area and what they hold.
    DefBannerPanel,
    LoginPanel,
    Label3,
    Label1,
    edNck,
    Label2,
    edPwd,
    sbLogin,
    WebPanel,
    CppWebBrowser,
    SearchPanel,
    Label5,
    Label4,
    cbSearch,
    Label6,
    edSearchMsg,
    sbSearch,
    FriendPanel,
    lvFriends,
    Label7, // the friends panel's heading
};
inline constexpr size_t PART_COUNT = size_t(TPart::Label7) + 1;

// How a part takes its place in its parent, the class library's way: aligned
// parts take a band off the parent's edge (or what is left of it), in the
// order top, bottom, left, right, rest; the others keep their design place.
enum class TAlign : uint8_t { alNone, alTop, alBottom, alLeft, alRight, alClient };

struct TLayoutRow {
    TPart part;
    TPart parent; // the form is its own parent
    TAlign align;
    // alNone: the place in the parent; alTop/alBottom: the height;
    // alLeft/alRight: the width; alClient: nothing.
    int32_t left, top, width, height;
    const char* name; // the layout name
};

using TLayoutRows = std::array<TLayoutRow, PART_COUNT>;

// The layout, one row per part in TPart's order: a horizontal bar.
extern const TLayoutRows BAR_LAYOUT;
// The same parts as a tall column (a browser's side panel): the banner area
// and the logo's strip at the top, then the ticker with its buttons and the
// users list, then the chat tabs with the chat line at the bottom. Every part
// keeps its parent, so InForm and the kits' nesting hold for both.
extern const TLayoutRows COLUMN_LAYOUT;

enum class TLayoutTable : uint8_t { Row, Column };
const TLayoutRows& LayoutTable(TLayoutTable table);

// Where the bar lives: a band across a browser window (its host sets the
// height, the bar is as wide as the window) or a side panel beside the page.
enum class THostShape : uint8_t { Band, SidePanel };
// A band always takes the horizontal table; a side panel always the column,
// whatever its width: the horizontal bar stretched over a tall panel leaves
// most of it empty.
TLayoutTable ChooseLayoutTable(THostShape shape, int32_t width);

// What the column sizes itself from: the height of a line of the panel's text
// (as the kit's text metrics measure it) and whether the banner area is
// collapsed to the ticker's strip (the column's way to minimise).
struct TColumnStyle {
    int32_t lineHeight = 16;
    bool bannerCollapsed = false;
};
// From this width the column splits in two: the chats on the left, the
// banner area, the ticker and the people on the right.
inline constexpr int32_t TWO_COLUMNS_MIN_WIDTH = 520;
// The people's side of two columns.
inline constexpr int32_t SIDE_COLUMN_MAX_WIDTH = 360;
// The logo's strip under the banner area.
inline constexpr int32_t COLUMN_LOGO_STRIP_HEIGHT = 30;
// The people list's largest share of a single column; it gives up room to
// the chat on a short panel, down to a few lines.
inline constexpr int32_t COLUMN_USERS_HEIGHT = 150;
// Below this ticker width a line's buttons take a row of their own under its
// text: beside them the text would have no room to be read.
inline constexpr int32_t TICKER_ONE_ROW_MIN_WIDTH = 300;

const TLayoutRow& LayoutRow(TPart part);

// A label of the banner panels: white text, transparent, in the form's font.
struct TLabelText {
    const char* caption;
    bool bold;
    bool wrapped; // word-wrapped and right-aligned in its rectangle
};
// The label's caption and style; null for a part that is not a label.
const TLabelText* LabelText(TPart part);

// The chat edit line's rule: shown only when the bar is this high.
inline constexpr bool ChatLineShown(int32_t formHeight) {
    return formHeight > CHAT_LINE_HIDDEN_UP_TO;
}

// Every part's rectangle for one form size.
class TBarLayout {
  public:
    // In the parent's coordinates, as a kit with nested windows applies it.
    const TRect& Rect(TPart part) const { return rects[size_t(part)]; }
    // In the form's coordinates.
    TRect InForm(TPart part) const;
    // False for a part the layout leaves out at this size (the chat line on
    // a short bar). Which banner panel shows is the banner mode's business.
    bool Shown(TPart part) const { return shown[size_t(part)]; }

    TLayoutTable Table() const { return table; }
    // The ticker's rows: the bar's single 16-pixel row, or in the column rows
    // sized from the text, two (text above, buttons below) when it is narrow.
    int32_t TickerRowHeight() const { return tickerRowHeight; }
    bool TickerTwoRows() const { return tickerTwoRows; }

  private:
    friend TBarLayout LayOutBar(int32_t width, int32_t height, TLayoutTable table,
                                const TColumnStyle& style);
    TLayoutTable table = TLayoutTable::Row;
    int32_t tickerRowHeight = 16;
    bool tickerTwoRows = false;
    std::array<TRect, PART_COUNT> rects{};
    std::array<bool, PART_COUNT> shown{};
};

// Places every part for a form of `width` x `height` by one of the tables.
// Parts that do not fit shrink to nothing rather than to a negative size.
// The column's rows depend on the size and the style: the banner panels
// reflow their labels and boxes to the panel's width.
TBarLayout LayOutBar(int32_t width, int32_t height, TLayoutTable table = TLayoutTable::Row,
                     const TColumnStyle& style = {});

// The controls the keyboard reaches, in reading order for this layout: a
// column of the form before the next, and in each top to bottom, then left to
// right. A control the layout gives no room is left out; a kit also skips
// what is hidden.
std::vector<TPart> ReadingOrder(const TBarLayout& layout);

// The column's table for one size and style (what LayOutBar uses).
TLayoutRows ColumnRows(int32_t width, int32_t height, const TColumnStyle& style);

} // namespace navlet
