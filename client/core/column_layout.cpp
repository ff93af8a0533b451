// The bar as a column (a browser's side panel): the banner area, the ticker
// and the people over the chats, or beside them when the panel is wide. Rows
// are sized from the panel's text, and the banner panels reflow their labels
// and boxes so that every control is whole down to the narrowest panel.
#include <algorithm>

#include "client/core/bar_layout.h"

namespace navlet {

namespace {

using enum TPart;
constexpr int32_t MARGIN = 6;
// A speed button's glyph: the button panels keep their size in every table.
constexpr int32_t GLYPH_ROW = 16;
constexpr int32_t BUTTON_PANELS_WIDTH = 53 + 34;
// Below this width a label goes above its box instead of beside it.
constexpr int32_t LABELS_BESIDE_MIN_WIDTH = 300;

// Places the controls of one banner panel from the top down.
class TFlow {
  public:
    TFlow(TLayoutRows& rows, int32_t width, int32_t line)
        : rows(rows), width(width), line(line), edit(line + 6) {}

    void Place(TPart part, int32_t left, int32_t top, int32_t w, int32_t h) {
        TLayoutRow& row = rows[size_t(part)];
        row.align = TAlign::alNone;
        row.left = left;
        row.top = top;
        row.width = std::max(0, w);
        row.height = std::max(0, h);
    }
    // A heading across the panel, of `lines` lines.
    void Heading(TPart label, int32_t lines = 1) {
        Place(label, MARGIN, y, width - 2 * MARGIN, lines * line);
        y += lines * line + 4;
    }
    // A label with its box: above it on a narrow panel, beside it on a wide
    // one, where a label of `labelLines` lines is right-aligned.
    void Field(TPart label, TPart box, int32_t labelLines = 1) {
        if (width < LABELS_BESIDE_MIN_WIDTH) {
            Place(label, MARGIN, y, width - 2 * MARGIN, line);
            y += line;
            Place(box, MARGIN, y, width - 2 * MARGIN, edit);
            y += edit + 4;
            return;
        }
        const int32_t labelWidth = 5 * line;
        const int32_t boxLeft = MARGIN + labelWidth + 4;
        const int32_t boxWidth = std::min(width - MARGIN - boxLeft, 14 * line);
        const int32_t labelHeight = labelLines * line;
        const int32_t rowHeight = std::max(edit, labelHeight);
        Place(label, MARGIN, y + (rowHeight - labelHeight) / 2, labelWidth, labelHeight);
        Place(box, boxLeft, y + (rowHeight - edit) / 2, boxWidth, edit);
        y += rowHeight + 4;
    }
    // A push button under the boxes, at their right edge.
    void Button(TPart button, TPart alignedWith) {
        const TLayoutRow& box = rows[size_t(alignedWith)];
        const int32_t w = std::min(4 * line, width - 2 * MARGIN);
        Place(button, box.left + box.width - w, y + 2, w, edit);
        y += edit + 2;
    }
    int32_t Bottom() const { return y + MARGIN; }

  private:
    TLayoutRows& rows;
    int32_t width;
    int32_t line;
    int32_t edit;
    int32_t y = MARGIN;
};

void SetRow(TLayoutRows& rows, TPart part, TAlign align, int32_t width, int32_t height) {
    TLayoutRow& row = rows[size_t(part)];
    row.align = align;
    row.left = 0;
    row.top = 0;
    row.width = width;
    row.height = height;
}

} // namespace

TLayoutRows ColumnRows(int32_t width, int32_t height, const TColumnStyle& style) {
    TLayoutRows rows = BAR_LAYOUT;
    const int32_t line = std::max(style.lineHeight, 12);
    const int32_t edit = line + 6;
    const bool twoColumns = width >= TWO_COLUMNS_MIN_WIDTH;
    const int32_t side = twoColumns ? std::min(SIDE_COLUMN_MAX_WIDTH, width / 2) : width;

    // The banner panels, reflowed for the side's width.
    const int32_t narrowTitle = side < LABELS_BESIDE_MIN_WIDTH ? 2 : 1;
    TFlow login(rows, side, line);
    login.Heading(Label3);
    login.Field(Label1, edNck);
    login.Field(Label2, edPwd);
    login.Button(sbLogin, edPwd);
    TFlow search(rows, side, line);
    search.Heading(Label5, narrowTitle);
    search.Field(Label4, cbSearch);
    search.Field(Label6, edSearchMsg, /*labelLines=*/2);
    search.Button(sbSearch, edSearchMsg);
    const int32_t banner = std::max({BANNER_AREA_HEIGHT, login.Bottom(), search.Bottom()});
    TFlow friends(rows, side, line);
    friends.Heading(Label7);
    friends.Place(lvFriends, MARGIN, MARGIN + line + 4, side - 2 * MARGIN,
                  banner - 2 * MARGIN - line - 4);

    const int32_t central = style.bannerCollapsed ? 0 : banner + COLUMN_LOGO_STRIP_HEIGHT;
    SetRow(rows, CentralPanel, TAlign::alTop, 0, central);
    SetRow(rows, BannerPanel, TAlign::alTop, 0, banner);
    rows[size_t(navlet_left_img)].left = std::max(0, std::min(112, (side - 73) / 2));
    rows[size_t(navlet_left_img)].top = banner + 3;

    // The ticker: one row beside the buttons, or the glyphs on a row of their
    // own and the ticker's two rows under them, across the whole side.
    const int32_t tickerRow = std::max(GLYPH_ROW, line + 4);
    const bool tickerTwoRows = side - BUTTON_PANELS_WIDTH < TICKER_ONE_ROW_MIN_WIDTH;
    const int32_t tickerStrip = tickerTwoRows ? GLYPH_ROW + 2 * tickerRow : tickerRow;
    SetRow(rows, msg_pnl, TAlign::alTop, 0, tickerStrip);
    if (tickerTwoRows)
        SetRow(rows, msg_img, TAlign::alBottom, 0, 2 * tickerRow);

    SetRow(rows, LeftPanel, TAlign::alClient, 0, 0);
    SetRow(rows, ChatMsgPanel, TAlign::alBottom, 0, edit);
    SetRow(rows, sbSendTxt, TAlign::alRight, std::max(28, 3 * line), 0);
    if (twoColumns) {
        SetRow(rows, Panel4, TAlign::alRight, side, 0);
        return rows;
    }
    // One column: the people list gives the chat room on a short panel.
    const int32_t rest = height - central - tickerStrip;
    const int32_t users = std::min(COLUMN_USERS_HEIGHT, std::max(3 * (line + 4), rest * 2 / 5));
    SetRow(rows, Panel4, TAlign::alTop, 0, central + tickerStrip + users);
    return rows;
}

} // namespace navlet
