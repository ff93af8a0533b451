// The bar form's layout table (designed for a form of 810 x 216) and the
// alignment that turns it into rectangles for any form size.
#include "client/core/bar_layout.h"

#include <algorithm>
#include <tuple>

namespace navlet {

namespace {

using enum TPart;
constexpr TAlign NONE = TAlign::alNone;
constexpr TAlign TOP = TAlign::alTop;
constexpr TAlign BOTTOM = TAlign::alBottom;
constexpr TAlign LEFT = TAlign::alLeft;
constexpr TAlign RIGHT = TAlign::alRight;
constexpr TAlign CLIENT = TAlign::alClient;

// Labels have the size their caption takes in the form's font, with room up
// to the next control; the kits fit the text into it.
constexpr int32_t LABEL_HEIGHT = 12;

} // namespace

// clang-format off
const TLayoutRows BAR_LAYOUT = {{
    {Form,            Form,          NONE,   0,   0, FORM_DESIGN_WIDTH, FORM_DESIGN_HEIGHT, "Form"},
    {Panel1,          Form,          CLIENT, 0,   0,   0,   0, "Panel1"},
    {LeftPanel,       Panel1,        LEFT,   0,   0, 250,   0, "LeftPanel"},
    {ChatMsgPanel,    LeftPanel,     BOTTOM, 0,   0,   0,  15, "ChatMsgPanel"},
    {sbSendTxt,       ChatMsgPanel,  RIGHT,  0,   0,  28,   0, "sbSendTxt"},
    {Edit1,           ChatMsgPanel,  CLIENT, 0,   0,   0,   0, "Edit1"},
    {PageControl,     LeftPanel,     CLIENT, 0,   0,   0,   0, "PageControl"},
    {Panel4,          Panel1,        CLIENT, 0,   0,   0,   0, "Panel4"},
    {CentralPanel,    Panel4,        LEFT,   0,   0, BANNER_AREA_WIDTH, 0, "CentralPanel"},
    {BannerPanel,     CentralPanel,  TOP,    0,   0,   0, BANNER_AREA_HEIGHT, "BannerPanel"},
    {bottom_bnr,      CentralPanel,  CLIENT, 0,   0,   0,   0, "bottom_bnr"},
    {navlet_left_img, CentralPanel,  NONE, 112, 128,  73,  25, "navlet_left_img"},
    {RightPanel,      Panel4,        CLIENT, 0,   0,   0,   0, "RightPanel"},
    {msg_pnl,         RightPanel,    TOP,    0,   0,   0,  16, "msg_pnl"},
    {BtnPanel1,       msg_pnl,       LEFT,   0,   0,  53,   0, "BtnPanel1"},
    {SearchBtn,       BtnPanel1,     NONE,   1,   0,  16,  16, "SearchBtn"},
    {FriendsBtn,      BtnPanel1,     NONE,  18,   0,  16,  16, "FriendsBtn"},
    {NavletBtn,       BtnPanel1,     NONE,  35,   0,  16,  16, "NavletBtn"},
    {BtnPanel2,       msg_pnl,       RIGHT,  0,   0,  34,   0, "BtnPanel2"},
    {ResizeBtn,       BtnPanel2,     NONE,   1,   0,  16,  16, "ResizeBtn"},
    {LEDBtn,          BtnPanel2,     NONE,  18,   0,  16,  16, "LEDBtn"},
    {msg_img,         msg_pnl,       CLIENT, 0,   0,   0,   0, "msg_img"},
    {lvUsers,         RightPanel,    CLIENT, 0,   0,   0,   0, "lvUsers"},

    {DefBannerPanel,  BannerPanel,   CLIENT, 0,   0,   0,   0, "DefBannerPanel"},
    {LoginPanel,      BannerPanel,   CLIENT, 0,   0,   0,   0, "LoginPanel"},
    {Label3,          LoginPanel,    NONE, 196,  22,  78, LABEL_HEIGHT, "Label3"},
    {Label1,          LoginPanel,    NONE,  97,  42,  54, LABEL_HEIGHT, "Label1"},
    {edNck,           LoginPanel,    NONE, 153,  39, 121,  18, "edNck"},
    {Label2,          LoginPanel,    NONE,  97,  72,  54, LABEL_HEIGHT, "Label2"},
    {edPwd,           LoginPanel,    NONE, 153,  69, 121,  18, "edPwd"},
    {sbLogin,         LoginPanel,    NONE, 235,  91,  39,  18, "sbLogin"},
    {WebPanel,        BannerPanel,   CLIENT, 0,   0,   0,   0, "WebPanel"},
    // Overhangs the panel so that its border and scroll bar fall outside.
    {CppWebBrowser,   WebPanel,      NONE,  -2,  -4, 316, 118, "CppWebBrowser"},
    {SearchPanel,     BannerPanel,   CLIENT, 0,   0,   0,   0, "SearchPanel"},
    {Label5,          SearchPanel,   NONE, 140,  27, 146, LABEL_HEIGHT, "Label5"},
    {Label4,          SearchPanel,   NONE,  93,  48,  57, LABEL_HEIGHT, "Label4"},
    {cbSearch,        SearchPanel,   NONE, 152,  45, 128,  21, "cbSearch"},
    {Label6,          SearchPanel,   NONE,  92,  63,  52,  27, "Label6"},
    {edSearchMsg,     SearchPanel,   NONE, 152,  67, 128,  18, "edSearchMsg"},
    {sbSearch,        SearchPanel,   NONE, 239,  88,  41,  18, "sbSearch"},
    {FriendPanel,     BannerPanel,   CLIENT, 0,   0,   0,   0, "FriendPanel"},
    {lvFriends,       FriendPanel,   NONE,  88,  20, 196,  89, "lvFriends"},
    {Label7,          FriendPanel,   NONE,  88,   5, 196, LABEL_HEIGHT, "Label7"},
}};
// clang-format on

// The column at a side panel's usual size, for what does not depend on it
// (every part's parent).
const TLayoutRows COLUMN_LAYOUT = ColumnRows(360, 800, TColumnStyle{});

const TLayoutRows& LayoutTable(TLayoutTable table) {
    return table == TLayoutTable::Column ? COLUMN_LAYOUT : BAR_LAYOUT;
}

TLayoutTable ChooseLayoutTable(THostShape shape, int32_t) {
    return shape == THostShape::SidePanel ? TLayoutTable::Column : TLayoutTable::Row;
}

const TLayoutRow& LayoutRow(TPart part) {
    return BAR_LAYOUT[size_t(part)];
}

const TLabelText* LabelText(TPart part) {
    static constexpr TLabelText LOG_IN{"Log in:", /*bold=*/true, /*wrapped=*/false};
    static constexpr TLabelText USERNAME{"Username", false, false};
    static constexpr TLabelText PASSWORD{"Password", false, false};
    static constexpr TLabelText SEARCH_TITLE{"Search user and invite here:", true, false};
    static constexpr TLabelText SEND_MESSAGE{"Send this message", false, true};
    static constexpr TLabelText FRIENDS_TITLE{"Your friends:", true, false};
    switch (part) {
    case Label3:
        return &LOG_IN;
    case Label1:
    case Label4:
        return &USERNAME;
    case Label2:
        return &PASSWORD;
    case Label5:
        return &SEARCH_TITLE;
    case Label6:
        return &SEND_MESSAGE;
    case Label7:
        return &FRIENDS_TITLE;
    default:
        return nullptr;
    }
}

std::vector<TPart> ReadingOrder(const TBarLayout& layout) {
    // The banner area's panels lie over each other: each is read whole, at
    // its place, as only one of them shows at a time.
    struct TPlace {
        int32_t column, blockTop, block, top, left;
        TPart part;
        auto Key() const { return std::tuple(column, blockTop, block, top, left); }
    };
    std::vector<TPlace> places;
    for (TPart part :
         {SearchBtn, FriendsBtn, NavletBtn, ResizeBtn, LEDBtn, edNck, edPwd, sbLogin, cbSearch,
          edSearchMsg, sbSearch, lvFriends, lvUsers, PageControl, Edit1, sbSendTxt}) {
        bool room = true;
        for (TPart p = part; p != Form && room; p = LayoutRow(p).parent)
            room = layout.Rect(p).Width() > 0 && layout.Rect(p).Height() > 0 && layout.Shown(p);
        if (!room)
            continue;
        const TRect r = layout.InForm(part);
        // The form's own columns are the children of Panel1.
        TPart column = part;
        while (LayoutRow(column).parent != Panel1 && column != Form)
            column = LayoutRow(column).parent;
        const TPart parent = LayoutRow(part).parent;
        const bool banner = LayoutRow(parent).parent == BannerPanel;
        places.push_back({layout.InForm(column).left, banner ? layout.InForm(parent).top : r.top,
                          banner ? int32_t(parent) : 0, r.top, r.left, part});
    }
    std::stable_sort(places.begin(), places.end(),
                     [](const TPlace& a, const TPlace& b) { return a.Key() < b.Key(); });
    std::vector<TPart> order;
    for (const TPlace& p : places)
        order.push_back(p.part);
    return order;
}

TRect TBarLayout::InForm(TPart part) const {
    TRect r = Rect(part);
    for (TPart p = LayoutRow(part).parent; p != TPart::Form; p = LayoutRow(p).parent) {
        const TRect& outer = Rect(p);
        r = {r.left + outer.left, r.top + outer.top, r.right + outer.left, r.bottom + outer.top};
    }
    return r;
}

namespace {

// Takes the aligned children of `parent` off its remaining client area, in
// the class library's order of alignments, each group in table order.
void AlignChildren(const TLayoutRows& table, TPart parent,
                   const std::array<bool, PART_COUNT>& shown,
                   const std::array<int32_t, PART_COUNT>& widths,
                   std::array<TRect, PART_COUNT>& rects) {
    const TRect& outer = rects[size_t(parent)];
    TRect rest{0, 0, outer.Width(), outer.Height()};
    auto clamp = [](int32_t from, int32_t size, int32_t limit) {
        return std::max(from, std::min(from + size, limit));
    };
    for (TAlign align :
         {TAlign::alTop, TAlign::alBottom, TAlign::alLeft, TAlign::alRight, TAlign::alClient}) {
        for (const TLayoutRow& row : table) {
            if (row.parent != parent || row.part == parent || row.align != align)
                continue;
            TRect& r = rects[size_t(row.part)];
            // A part the layout leaves out gets its place but takes no room.
            const bool takesRoom = shown[size_t(row.part)];
            switch (align) {
            case TAlign::alTop:
                r = {rest.left, rest.top, rest.right, clamp(rest.top, row.height, rest.bottom)};
                if (takesRoom)
                    rest.top = r.bottom;
                break;
            case TAlign::alBottom:
                r = {rest.left, std::max(rest.top, rest.bottom - row.height), rest.right,
                     rest.bottom};
                if (takesRoom)
                    rest.bottom = r.top;
                break;
            case TAlign::alLeft:
                r = {rest.left, rest.top, clamp(rest.left, widths[size_t(row.part)], rest.right),
                     rest.bottom};
                if (takesRoom)
                    rest.left = r.right;
                break;
            case TAlign::alRight:
                r = {std::max(rest.left, rest.right - widths[size_t(row.part)]), rest.top,
                     rest.right, rest.bottom};
                if (takesRoom)
                    rest.right = r.left;
                break;
            default:
                r = rest;
                break;
            }
        }
    }
}

// How much room the chat side and the banner's picture give up so that the
// right-hand side keeps its narrowest width.
struct TNarrowing {
    int32_t left = 0;   // taken off LeftPanel
    int32_t banner = 0; // of the banner area's left part, out of view
};

TNarrowing NarrowingFor(int32_t formWidth) {
    const int32_t designed = LayoutRow(TPart::LeftPanel).width + BANNER_AREA_WIDTH;
    int32_t missing = RIGHT_PANEL_MIN_WIDTH - (formWidth - designed);
    TNarrowing n;
    if (missing <= 0)
        return n;
    n.left = std::min(missing, LayoutRow(TPart::LeftPanel).width - LEFT_PANEL_MIN_WIDTH);
    missing -= n.left;
    n.banner = std::min(missing, BANNER_PICTURE_WIDTH);
    return n;
}

} // namespace

TBarLayout LayOutBar(int32_t width, int32_t height, TLayoutTable table, const TColumnStyle& style) {
    const bool column = table == TLayoutTable::Column;
    const TLayoutRows rows = column ? ColumnRows(width, height, style) : BAR_LAYOUT;
    TBarLayout layout;
    layout.table = table;
    if (column) {
        layout.tickerRowHeight = rows[size_t(TPart::msg_pnl)].height;
        layout.tickerTwoRows = rows[size_t(TPart::msg_img)].align == TAlign::alBottom;
        if (layout.tickerTwoRows)
            layout.tickerRowHeight = rows[size_t(TPart::msg_img)].height / 2;
    }
    layout.shown.fill(true);
    layout.shown[size_t(TPart::ChatMsgPanel)] = ChatLineShown(height);
    for (const TLayoutRow& row : rows)
        if (row.align == TAlign::alNone)
            layout.rects[size_t(row.part)] = {row.left, row.top, row.left + row.width,
                                              row.top + row.height};
    layout.rects[size_t(TPart::Form)] = {0, 0, std::max(width, 0), std::max(height, 0)};
    std::array<int32_t, PART_COUNT> widths{};
    for (const TLayoutRow& row : rows)
        widths[size_t(row.part)] = row.width;
    // Only the bar shares its width between the three sides.
    const TNarrowing narrowing = table == TLayoutTable::Row ? NarrowingFor(width) : TNarrowing{};
    widths[size_t(TPart::LeftPanel)] -= narrowing.left;
    widths[size_t(TPart::CentralPanel)] -= narrowing.banner;
    // Parents come before their children in the table.
    for (const TLayoutRow& row : rows) {
        AlignChildren(rows, row.part, layout.shown, widths, layout.rects);
        if (row.part != TPart::CentralPanel || narrowing.banner == 0)
            continue;
        // The banner area keeps its size and shows its right-hand part, where
        // the panels' controls are; its children follow it.
        TRect& banner = layout.rects[size_t(TPart::BannerPanel)];
        banner.left -= narrowing.banner;
    }
    return layout;
}

} // namespace navlet
