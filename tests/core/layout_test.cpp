// The bar's layout at the sizes a user meets: every control inside its panel
// and inside the bar, the strips following the width, the chat line's rule,
// and the form's models taking their sizes from it.
#include <gtest/gtest.h>

#include <algorithm>

#include "client/core/bar_layout.h"
#include "client/core/host.h"
#include "tests/core/bar_test_support.h"

namespace navlet {
namespace {

bool Inside(const TRect& inner, const TRect& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

std::string Name(TPart part) {
    return LayoutRow(part).name;
}

// The parts that the banner area's panels hold (not the panels themselves).
bool InBannerPanel(TPart part) {
    const TPart parent = LayoutRow(part).parent;
    return parent == TPart::LoginPanel || parent == TPart::SearchPanel ||
           parent == TPart::FriendPanel;
}

TEST(TBarLayoutTest, AtTheIdealHeightEveryControlOfTheBannerPanelsShowsWhole) {
    const TBarLayout layout = LayOutBar(BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT);
    const TRect bar{0, 0, BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT};
    int checked = 0;
    for (const TLayoutRow& row : BAR_LAYOUT) {
        if (!InBannerPanel(row.part))
            continue;
        ++checked;
        EXPECT_TRUE(Inside(layout.Rect(row.part), layout.Rect(row.parent))) << row.name;
        EXPECT_TRUE(Inside(layout.InForm(row.part), bar)) << row.name;
    }
    EXPECT_EQ(checked, 14); // six login controls, six search controls, the friends list and heading
    EXPECT_TRUE(Inside(layout.InForm(TPart::BannerPanel), bar));
}

TEST(TBarLayoutTest, EveryPartLiesInsideItsParentAtTheDesignAndIdealSizes) {
    for (auto [w, h] : {std::pair{FORM_DESIGN_WIDTH, FORM_DESIGN_HEIGHT},
                        {BAND_IDEAL_WIDTH, BAND_IDEAL_HEIGHT},
                        {1600, 400}}) {
        const TBarLayout layout = LayOutBar(w, h);
        for (const TLayoutRow& row : BAR_LAYOUT) {
            // The banner browser overhangs its panel on purpose; the logo
            // lies below the strip's top edge, shown on a tall bar only.
            if (row.part == TPart::Form || row.part == TPart::CppWebBrowser)
                continue;
            if (row.part == TPart::navlet_left_img && h < 153)
                continue;
            EXPECT_TRUE(Inside(layout.Rect(row.part), {0, 0, layout.Rect(row.parent).Width(),
                                                       layout.Rect(row.parent).Height()}))
                << row.name << " at " << w << " x " << h;
        }
    }
}

TEST(TBarLayoutTest, PanelsSplitTheWidthAndTheRightSideFollowsIt) {
    const TBarLayout layout = LayOutBar(810, 216);
    EXPECT_EQ(layout.InForm(TPart::LeftPanel), (TRect{0, 0, 250, 216}));
    EXPECT_EQ(layout.InForm(TPart::CentralPanel), (TRect{250, 0, 540, 216}));
    EXPECT_EQ(layout.InForm(TPart::RightPanel), (TRect{540, 0, 810, 216}));
    EXPECT_EQ(layout.InForm(TPart::BannerPanel), (TRect{250, 0, 540, 114}));
    EXPECT_EQ(layout.InForm(TPart::bottom_bnr), (TRect{250, 114, 540, 216}));
    // The ticker fills the strip between the two button panels.
    EXPECT_EQ(layout.InForm(TPart::msg_img), (TRect{540 + 53, 0, 810 - 34, 16}));
    EXPECT_EQ(layout.InForm(TPart::NavletBtn), (TRect{540 + 35, 0, 540 + 51, 16}));
    EXPECT_EQ(layout.InForm(TPart::LEDBtn), (TRect{810 - 34 + 18, 0, 810 - 34 + 34, 16}));
    EXPECT_EQ(layout.InForm(TPart::lvUsers), (TRect{540, 16, 810, 216}));
    EXPECT_EQ(layout.InForm(TPart::sbSendTxt), (TRect{222, 201, 250, 216}));
    EXPECT_EQ(layout.InForm(TPart::Edit1), (TRect{0, 201, 222, 216}));

    // Wider: only the right side grows.
    const TBarLayout wide = LayOutBar(1200, 216);
    EXPECT_EQ(wide.InForm(TPart::CentralPanel), layout.InForm(TPart::CentralPanel));
    EXPECT_EQ(wide.Rect(TPart::msg_img).Width(), 1200 - 540 - 53 - 34);
    EXPECT_EQ(wide.InForm(TPart::ResizeBtn).left, 1200 - 34 + 1);

    // Narrower than the left and central panels: nothing gets a negative size.
    const TBarLayout narrow = LayOutBar(300, 216);
    for (const TLayoutRow& row : BAR_LAYOUT) {
        EXPECT_GE(narrow.Rect(row.part).Width(), 0) << row.name;
        EXPECT_GE(narrow.Rect(row.part).Height(), 0) << row.name;
    }
    EXPECT_EQ(narrow.Rect(TPart::RightPanel).Width(), 0);
}

TEST(TBarLayoutTest, DownToTheBandsMinimumWidthTheRightSideAndTheBannersControlsStayInView) {
    for (int32_t w : {BAND_MIN_WIDTH, 560, 640, 720}) {
        const TBarLayout layout = LayOutBar(w, BAND_IDEAL_HEIGHT);
        const TRect bar{0, 0, w, BAND_IDEAL_HEIGHT};
        for (TPart part :
             {TPart::SearchBtn, TPart::FriendsBtn, TPart::NavletBtn, TPart::msg_img,
              TPart::ResizeBtn, TPart::LEDBtn, TPart::lvUsers, TPart::Edit1, TPart::sbSendTxt})
            EXPECT_TRUE(Inside(layout.InForm(part), bar)) << Name(part) << " at " << w;
        EXPECT_GE(layout.Rect(TPart::msg_img).Width(), 94) << w;
        EXPECT_GE(layout.Rect(TPart::PageControl).Width(), LEFT_PANEL_MIN_WIDTH) << w;
        // Every control of the banner panels shows, inside the central panel.
        const TRect central = layout.InForm(TPart::CentralPanel);
        for (const TLayoutRow& row : BAR_LAYOUT) {
            if (!InBannerPanel(row.part))
                continue;
            EXPECT_TRUE(Inside(layout.InForm(row.part), central)) << row.name << " at " << w;
        }
    }
    // The chat side gives way first; the banner's picture only after it.
    const TBarLayout at640 = LayOutBar(640, BAND_IDEAL_HEIGHT);
    EXPECT_EQ(at640.Rect(TPart::CentralPanel).Width(), BANNER_AREA_WIDTH);
    EXPECT_EQ(at640.Rect(TPart::LeftPanel).Width(), 640 - 290 - RIGHT_PANEL_MIN_WIDTH);
    const TBarLayout at500 = LayOutBar(500, BAND_IDEAL_HEIGHT);
    EXPECT_EQ(at500.Rect(TPart::LeftPanel).Width(), LEFT_PANEL_MIN_WIDTH);
    EXPECT_EQ(at500.Rect(TPart::BannerPanel), (TRect{-BANNER_PICTURE_WIDTH, 0, 202, 114}));
    EXPECT_EQ(at500.Rect(TPart::RightPanel).Width(), RIGHT_PANEL_MIN_WIDTH);
}

TEST(TBarLayoutTest, TheChatLineTakesItsRoomOnlyAboveFiftyTwoPixels) {
    const TBarLayout tall = LayOutBar(810, 53);
    EXPECT_TRUE(tall.Shown(TPart::ChatMsgPanel));
    EXPECT_EQ(tall.InForm(TPart::PageControl), (TRect{0, 0, 250, 38}));
    EXPECT_EQ(tall.InForm(TPart::ChatMsgPanel), (TRect{0, 38, 250, 53}));

    const TBarLayout low = LayOutBar(810, 52);
    EXPECT_FALSE(low.Shown(TPart::ChatMsgPanel));
    EXPECT_EQ(low.InForm(TPart::PageControl), (TRect{0, 0, 250, 52}));
}

TEST(TBarLayoutTest, AMinimisedBarKeepsItsButtonsAndTickerWhole) {
    const TBarLayout layout = LayOutBar(810, BAR_MIN_HEIGHT);
    const TRect bar{0, 0, 810, BAR_MIN_HEIGHT};
    for (TPart part : {TPart::SearchBtn, TPart::FriendsBtn, TPart::NavletBtn, TPart::ResizeBtn,
                       TPart::LEDBtn, TPart::msg_img})
        EXPECT_TRUE(Inside(layout.InForm(part), bar)) << Name(part);
    EXPECT_FALSE(layout.Shown(TPart::ChatMsgPanel));
    EXPECT_EQ(layout.InForm(TPart::lvUsers), (TRect{540, 16, 810, 20}));
    EXPECT_EQ(layout.Rect(TPart::bottom_bnr).Height(), 0);
}

TEST(TBarLayoutTest, EveryPartHasARowAndEveryLabelACaption) {
    for (size_t i = 0; i < PART_COUNT; ++i)
        EXPECT_EQ(size_t(BAR_LAYOUT[i].part), i) << BAR_LAYOUT[i].name;
    for (TPart label :
         {TPart::Label1, TPart::Label2, TPart::Label3, TPart::Label4, TPart::Label5, TPart::Label6})
        ASSERT_NE(LabelText(label), nullptr) << Name(label);
    EXPECT_EQ(std::string(LabelText(TPart::Label6)->caption), "Send this message");
    EXPECT_EQ(LabelText(TPart::edNck), nullptr);
}

// The sizes a side panel is met at: Firefox's narrowest and default
// sidebars, Chromium's side panel, and one dragged wide.
constexpr std::pair<int32_t, int32_t> PANEL_SIZES[] = {
    {200, 500}, {240, 600}, {360, 800}, {1000, 700}};
// Lines of the three text sizes, as a browser measures them.
constexpr int32_t LINE_HEIGHTS[] = {15, 17, 21};

bool Overlap(const TRect& a, const TRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

// Every part inside its parent and the panel, every control the user reaches
// of a real size, and no two controls of a banner panel over each other.
void ExpectEveryControlWhole(const TBarLayout& layout, int32_t w, int32_t h) {
    const TRect panel{0, 0, w, h};
    for (const TLayoutRow& row : COLUMN_LAYOUT) {
        if (row.part == TPart::Form || row.part == TPart::CppWebBrowser)
            continue;
        const TRect& parent = layout.Rect(row.parent);
        EXPECT_TRUE(Inside(layout.Rect(row.part), {0, 0, parent.Width(), parent.Height()}))
            << row.name << " at " << w << " x " << h;
        EXPECT_TRUE(Inside(layout.InForm(row.part), panel))
            << row.name << " at " << w << " x " << h;
    }
    for (TPart control :
         {TPart::edNck, TPart::edPwd, TPart::sbLogin, TPart::Edit1, TPart::sbSendTxt,
          TPart::lvUsers, TPart::msg_img, TPart::NavletBtn, TPart::ResizeBtn, TPart::LEDBtn,
          TPart::cbSearch, TPart::edSearchMsg, TPart::sbSearch, TPart::lvFriends,
          TPart::PageControl, TPart::Label3, TPart::Label5, TPart::Label6, TPart::Label7}) {
        const TRect r = layout.InForm(control);
        EXPECT_GE(r.Width(), 16) << Name(control) << " at " << w << " x " << h;
        EXPECT_GE(r.Height(), 12) << Name(control) << " at " << w << " x " << h;
    }
    for (const TLayoutRow& a : COLUMN_LAYOUT)
        for (const TLayoutRow& b : COLUMN_LAYOUT) {
            if (a.part >= b.part || !InBannerPanel(a.part) || a.parent != b.parent)
                continue;
            EXPECT_FALSE(Overlap(layout.Rect(a.part), layout.Rect(b.part)))
                << a.name << " over " << b.name << " at " << w << " x " << h;
        }
}

TEST(TColumnLayoutTest, EveryControlOfEveryBannerPanelIsWholeAtEveryPanelSizeAndTextSize) {
    for (auto [w, h] : PANEL_SIZES)
        for (int32_t line : LINE_HEIGHTS) {
            SCOPED_TRACE(::testing::Message() << "line " << line);
            ExpectEveryControlWhole(LayOutBar(w, h, TLayoutTable::Column, {line}), w, h);
        }
}

TEST(TColumnLayoutTest, ANarrowPanelPutsLabelsAboveTheirBoxesAndAWideOneBesideThem) {
    const TBarLayout narrow = LayOutBar(240, 600, TLayoutTable::Column, {17});
    EXPECT_GE(narrow.Rect(TPart::edNck).top, narrow.Rect(TPart::Label1).bottom);
    EXPECT_EQ(narrow.Rect(TPart::edNck).Width(), 240 - 12);
    const TBarLayout wide = LayOutBar(360, 800, TLayoutTable::Column, {17});
    EXPECT_GE(wide.Rect(TPart::edNck).left, wide.Rect(TPart::Label1).right);
    EXPECT_LT(wide.Rect(TPart::edNck).top, wide.Rect(TPart::Label1).bottom);
    // Larger text makes taller rows, and the banner area grows to hold them.
    const TBarLayout large = LayOutBar(240, 600, TLayoutTable::Column, {21});
    EXPECT_GT(large.Rect(TPart::edNck).Height(), narrow.Rect(TPart::edNck).Height());
    EXPECT_GT(large.Rect(TPart::BannerPanel).Height(), narrow.Rect(TPart::BannerPanel).Height());
}

TEST(TColumnLayoutTest, AWidePanelSplitsInTwoColumnsAndANarrowOneStacks) {
    const TBarLayout wide = LayOutBar(1000, 700, TLayoutTable::Column);
    // The chats on the left, whole height; the banner area, ticker and people on the right.
    EXPECT_EQ(wide.InForm(TPart::PageControl).left, 0);
    EXPECT_EQ(wide.InForm(TPart::ChatMsgPanel).bottom, 700);
    EXPECT_EQ(wide.InForm(TPart::Panel4), (TRect{1000 - SIDE_COLUMN_MAX_WIDTH, 0, 1000, 700}));
    EXPECT_EQ(wide.InForm(TPart::PageControl).right, wide.InForm(TPart::Panel4).left);
    EXPECT_EQ(wide.InForm(TPart::lvUsers).bottom, 700);

    const TBarLayout narrow = LayOutBar(360, 800, TLayoutTable::Column);
    EXPECT_EQ(narrow.InForm(TPart::BannerPanel).top, 0);
    EXPECT_EQ(narrow.InForm(TPart::msg_pnl).top, narrow.InForm(TPart::CentralPanel).bottom);
    EXPECT_EQ(narrow.InForm(TPart::PageControl).top, narrow.InForm(TPart::lvUsers).bottom);
    EXPECT_EQ(narrow.InForm(TPart::Edit1).bottom, 800);
    // A taller panel gives its extra height to the chat alone.
    const TBarLayout taller = LayOutBar(360, 1000, TLayoutTable::Column);
    EXPECT_EQ(taller.InForm(TPart::lvUsers), narrow.InForm(TPart::lvUsers));
    EXPECT_EQ(taller.InForm(TPart::PageControl).Height(),
              narrow.InForm(TPart::PageControl).Height() + 200);
}

TEST(TColumnLayoutTest, ANarrowTickerPutsItsButtonsOnASecondRowAcrossThePanel) {
    const TBarLayout narrow = LayOutBar(240, 600, TLayoutTable::Column, {17});
    EXPECT_TRUE(narrow.TickerTwoRows());
    EXPECT_EQ(narrow.InForm(TPart::msg_img).Width(), 240);
    EXPECT_EQ(narrow.InForm(TPart::msg_img).Height(), 2 * narrow.TickerRowHeight());
    EXPECT_GE(narrow.InForm(TPart::msg_img).top, narrow.InForm(TPart::LEDBtn).bottom);
    const TBarLayout wide = LayOutBar(480, 800, TLayoutTable::Column, {17});
    EXPECT_FALSE(wide.TickerTwoRows());
    EXPECT_EQ(wide.InForm(TPart::msg_img).Width(), 480 - 53 - 34);
    EXPECT_EQ(wide.TickerRowHeight(), 21);
}

TEST(TColumnLayoutTest, ACollapsedBannerAreaLeavesTheTickerWithItsRestoreButtonAndTheChats) {
    for (auto [w, h] : PANEL_SIZES) {
        const TBarLayout open = LayOutBar(w, h, TLayoutTable::Column, {17, false});
        const TBarLayout collapsed = LayOutBar(w, h, TLayoutTable::Column, {17, true});
        EXPECT_EQ(collapsed.Rect(TPart::CentralPanel).Height(), 0) << w;
        for (TPart part : {TPart::ResizeBtn, TPart::LEDBtn, TPart::msg_img, TPart::lvUsers,
                           TPart::Edit1, TPart::PageControl}) {
            EXPECT_TRUE(Inside(collapsed.InForm(part), {0, 0, w, h})) << Name(part) << " " << w;
            EXPECT_GT(collapsed.InForm(part).Height(), 0) << Name(part) << " " << w;
        }
        EXPECT_EQ(collapsed.InForm(TPart::ResizeBtn).top, 0) << w;
        EXPECT_GE(collapsed.InForm(TPart::PageControl).Height(),
                  open.InForm(TPart::PageControl).Height())
            << w;
    }
}

TEST(TColumnLayoutTest, ASidePanelAlwaysTakesTheColumnAndABandTheRow) {
    for (int32_t w : {200, 809, 810, 1600}) {
        EXPECT_EQ(ChooseLayoutTable(THostShape::SidePanel, w), TLayoutTable::Column) << w;
        EXPECT_EQ(ChooseLayoutTable(THostShape::Band, w), TLayoutTable::Row) << w;
    }
    for (size_t i = 0; i < PART_COUNT; ++i) {
        EXPECT_EQ(size_t(COLUMN_LAYOUT[i].part), i);
        EXPECT_EQ(COLUMN_LAYOUT[i].parent, BAR_LAYOUT[i].parent) << BAR_LAYOUT[i].name;
    }
}

size_t Position(const std::vector<TPart>& order, TPart part) {
    return size_t(std::find(order.begin(), order.end(), part) - order.begin());
}

TEST(TColumnLayoutTest, TheKeyboardGoesInReadingOrderAndSkipsWhatHasNoRoom) {
    const std::vector<TPart> narrow = ReadingOrder(LayOutBar(240, 600, TLayoutTable::Column));
    const TPart reading[] = {TPart::edNck,       TPart::edPwd,  TPart::sbLogin,
                             TPart::ResizeBtn,   TPart::LEDBtn, TPart::lvUsers,
                             TPart::PageControl, TPart::Edit1,  TPart::sbSendTxt};
    for (size_t i = 1; i < std::size(reading); ++i)
        EXPECT_LT(Position(narrow, reading[i - 1]), Position(narrow, reading[i]))
            << Name(reading[i - 1]) << " before " << Name(reading[i]);
    // The search panel's boxes and button follow each other.
    EXPECT_EQ(Position(narrow, TPart::edSearchMsg) + 1, Position(narrow, TPart::sbSearch));
    EXPECT_LT(Position(narrow, TPart::cbSearch), Position(narrow, TPart::edSearchMsg));

    // Collapsed, the banner panels' controls are out; the restore button is in.
    const std::vector<TPart> collapsed =
        ReadingOrder(LayOutBar(240, 600, TLayoutTable::Column, {16, true}));
    EXPECT_EQ(Position(collapsed, TPart::edNck), collapsed.size());
    EXPECT_LT(Position(collapsed, TPart::ResizeBtn), collapsed.size());

    // Two columns: the whole of the chats' column, then the people's.
    const std::vector<TPart> wide = ReadingOrder(LayOutBar(1000, 700, TLayoutTable::Column));
    EXPECT_LT(Position(wide, TPart::sbSendTxt), Position(wide, TPart::edNck));
    // A bar too short for its chat line leaves it out.
    const std::vector<TPart> low = ReadingOrder(LayOutBar(810, 40));
    EXPECT_EQ(Position(low, TPart::Edit1), low.size());
}

class TFormLayoutTest : public testing::BarTest {};

TEST_F(TFormLayoutTest, ASidePanelSizesItsRowsFromTheKitsTextAndTheChosenSize) {
    TNavlet& b = MakeBar();
    b.SetHostShape(THostShape::SidePanel);
    b.FormResized(240, 600);
    EXPECT_EQ(b.Layout().Table(), TLayoutTable::Column);
    EXPECT_EQ(b.FormFont(), PanelFont(TTextSize::Normal));
    const int32_t normal = b.Layout().Rect(TPart::edNck).Height();
    b.SetTextSize(TTextSize::Large);
    EXPECT_EQ(b.FormFont().pointSize, 12);
    EXPECT_GT(b.Layout().Rect(TPart::edNck).Height(), normal);
    // The choice is kept for the next panel.
    TNavlet& again = MakeBar();
    again.SetHostShape(THostShape::SidePanel);
    EXPECT_EQ(again.PanelStyle.TextSize(), TTextSize::Large);
    // A band keeps Verdana 7 pt whatever a panel chose.
    TNavlet& band = MakeBar();
    EXPECT_EQ(band.FormFont(), (TFont{"Verdana", 7, clWindowText}));
}

TEST_F(TFormLayoutTest, AResizedFormPlacesItsModelsAndRunsTheResizeHandlersOnce) {
    TNavlet& b = MakeBar();
    // Built at the design size.
    EXPECT_EQ(b.Form.Height(), FORM_DESIGN_HEIGHT);
    EXPECT_EQ(b.msg_img.Width(), FORM_DESIGN_WIDTH - 540 - 53 - 34);
    EXPECT_EQ(b.NavletBtn.Height(), 16);

    b.FormResized(1000, 52);
    EXPECT_EQ(b.Form.Width(), 1000);
    EXPECT_EQ(b.Form.Height(), 52);
    EXPECT_EQ(b.msg_img.Width(), 1000 - 540 - 53 - 34);
    EXPECT_EQ(b.bottom_bnr.Height(), 0);
    EXPECT_FALSE(b.ChatMsgPanel.Visible());
    EXPECT_EQ(b.Layout().Rect(TPart::PageControl).Height(), 52);

    b.FormResized(1000, BAR_MIN_HEIGHT);
    EXPECT_EQ(b.ResizeBtn.Glyph(), glRestore);
    b.FormResized(1000, 200);
    EXPECT_EQ(b.ResizeBtn.Glyph(), glMinimise);
    EXPECT_TRUE(b.ChatMsgPanel.Visible());
    EXPECT_EQ(b.bottom_bnr.Height(), 200 - BANNER_AREA_HEIGHT);
}

} // namespace
} // namespace navlet
