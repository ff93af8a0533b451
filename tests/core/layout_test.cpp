// The bar's layout at the sizes a user meets: every control inside its panel
// and inside the bar, the strips following the width, the chat line's rule,
// and the form's models taking their sizes from it.
#include <gtest/gtest.h>

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

// Every part inside its parent, and every control the user reaches inside
// the panel, at one size of one table.
void ExpectEveryControlInside(TLayoutTable table, int32_t w, int32_t h) {
    const TBarLayout layout = LayOutBar(w, h, table);
    const TRect panel{0, 0, w, h};
    for (const TLayoutRow& row : LayoutTable(table)) {
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
          TPart::lvUsers, TPart::msg_img, TPart::NavletBtn, TPart::LEDBtn, TPart::cbSearch,
          TPart::sbSearch, TPart::lvFriends, TPart::PageControl}) {
        const TRect r = layout.InForm(control);
        EXPECT_GT(r.Width(), 0) << Name(control) << " at " << w << " x " << h;
        EXPECT_GT(r.Height(), 0) << Name(control) << " at " << w << " x " << h;
    }
}

TEST(TColumnLayoutTest, EveryControlFitsASidePanelAtItsNarrowestAndAWideOne) {
    ExpectEveryControlInside(TLayoutTable::Column, 300, 600);
    ExpectEveryControlInside(TLayoutTable::Column, 500, 900);
    // A panel wide enough takes the horizontal table, which fits it too.
    ExpectEveryControlInside(ChooseLayoutTable(THostShape::SidePanel, 1000), 1000, 700);
}

TEST(TColumnLayoutTest, TheColumnRunsFromTheBannerAreaDownToTheChatLine) {
    const TBarLayout layout = LayOutBar(300, 600, TLayoutTable::Column);
    EXPECT_EQ(layout.InForm(TPart::BannerPanel), (TRect{0, 0, 300, BANNER_AREA_HEIGHT}));
    const TRect logo = layout.InForm(TPart::navlet_left_img);
    EXPECT_GE(logo.top, BANNER_AREA_HEIGHT);
    EXPECT_LE(logo.bottom, COLUMN_BANNER_HEIGHT);
    EXPECT_EQ(layout.InForm(TPart::msg_pnl),
              (TRect{0, COLUMN_BANNER_HEIGHT, 300, COLUMN_BANNER_HEIGHT + 16}));
    EXPECT_EQ(layout.InForm(TPart::msg_img).Width(), 300 - 53 - 34);
    EXPECT_EQ(layout.InForm(TPart::lvUsers),
              (TRect{0, COLUMN_BANNER_HEIGHT + 16, 300,
                     COLUMN_BANNER_HEIGHT + 16 + COLUMN_USERS_HEIGHT}));
    EXPECT_EQ(layout.InForm(TPart::PageControl).top, layout.InForm(TPart::lvUsers).bottom);
    EXPECT_EQ(layout.InForm(TPart::Edit1), (TRect{0, 585, 300 - 28, 600}));
    EXPECT_EQ(layout.InForm(TPart::sbSendTxt), (TRect{300 - 28, 585, 300, 600}));

    // A taller panel gives its extra height to the chat alone.
    const TBarLayout taller = LayOutBar(300, 800, TLayoutTable::Column);
    EXPECT_EQ(taller.InForm(TPart::lvUsers), layout.InForm(TPart::lvUsers));
    EXPECT_EQ(taller.InForm(TPart::PageControl).Height(),
              layout.InForm(TPart::PageControl).Height() + 200);
}

TEST(TColumnLayoutTest, OnlyASidePanelTooNarrowForTheRowTakesTheColumn) {
    EXPECT_EQ(ChooseLayoutTable(THostShape::SidePanel, 300), TLayoutTable::Column);
    EXPECT_EQ(ChooseLayoutTable(THostShape::SidePanel, ROW_LAYOUT_MIN_WIDTH - 1),
              TLayoutTable::Column);
    EXPECT_EQ(ChooseLayoutTable(THostShape::SidePanel, ROW_LAYOUT_MIN_WIDTH), TLayoutTable::Row);
    // A band narrower than its design keeps its row whatever its width.
    EXPECT_EQ(ChooseLayoutTable(THostShape::Band, 300), TLayoutTable::Row);
    for (size_t i = 0; i < PART_COUNT; ++i) {
        EXPECT_EQ(size_t(COLUMN_LAYOUT[i].part), i);
        EXPECT_EQ(COLUMN_LAYOUT[i].parent, BAR_LAYOUT[i].parent) << BAR_LAYOUT[i].name;
    }
}

class TFormLayoutTest : public testing::BarTest {};

TEST_F(TFormLayoutTest, ASidePanelFormSwitchesTablesWithItsWidth) {
    TNavlet& b = MakeBar();
    b.SetHostShape(THostShape::SidePanel);
    b.FormResized(300, 600);
    EXPECT_EQ(b.Layout().Table(), TLayoutTable::Column);
    EXPECT_EQ(b.msg_img.Width(), 300 - 53 - 34);
    EXPECT_TRUE(b.ChatMsgPanel.Visible());
    b.FormResized(900, 600);
    EXPECT_EQ(b.Layout().Table(), TLayoutTable::Row);
    EXPECT_EQ(b.msg_img.Width(), 900 - 540 - 53 - 34);
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
