// The pictures rendered from the bar's drawings at build time: each has the
// size the bar lays out, none came out blank or flat, and the default banner
// reaches the pixel table in the bar's own colour order.
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "client/art/pictures.h"
#include "client/core/module_state.h"
#include "client/kit/graphics.h"

namespace navlet::testing {
namespace {

using art::TPicture;

struct TExpected {
    const char* name;
    const TPicture& picture;
    int32_t width;
    int32_t height;
    bool opaque; // shown as a whole background, never over another picture
};

const TExpected PICTURES[] = {
    {"defaultBanner", art::defaultBanner, 290, 114, true},
    {"loginBackground", art::loginBackground, 290, 114, true},
    {"searchBackground", art::searchBackground, 290, 114, true},
    {"friendsBackground", art::friendsBackground, 290, 114, true},
    {"barGlyphs", art::barGlyphs, 6 * 16, 16, false},
    {"actionGlyphs", art::actionGlyphs, 3 * 16, 16, false},
    {"stateImages", art::stateImages, 12 * 12, 12, false},
    {"logo", art::logo, 73, 25, false},
    {"aboutPicture", art::aboutPicture, 449, 281, true},
};

constexpr uint32_t Alpha(uint32_t argb) {
    return argb >> 24;
}

// Distinct colours of the visible pixels in a rectangle of the picture.
size_t Colours(const TPicture& p, int32_t left, int32_t width) {
    std::set<uint32_t> seen;
    for (int32_t y = 0; y < p.height; ++y)
        for (int32_t x = left; x < left + width; ++x)
            if (Alpha(p.Pixel(x, y)) != 0)
                seen.insert(p.Pixel(x, y));
    return seen.size();
}

TEST(TPicturesTest, EachPictureHasItsSizeAndIsNeitherBlankNorFlat) {
    for (const TExpected& e : PICTURES) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(e.picture.pixels, nullptr);
        EXPECT_EQ(e.picture.width, e.width);
        EXPECT_EQ(e.picture.height, e.height);
        EXPECT_GE(Colours(e.picture, 0, e.picture.width), 8u);
        if (!e.opaque)
            continue;
        for (int32_t i = 0; i < e.picture.width * e.picture.height; ++i)
            ASSERT_EQ(Alpha(e.picture.pixels[i]), 0xFFu) << "pixel " << i;
    }
}

TEST(TPicturesTest, EveryCellOfTheImageListsHasItsOwnPicture) {
    for (const TPicture* strip : {&art::barGlyphs, &art::actionGlyphs, &art::stateImages}) {
        const int32_t cell = strip->height;
        std::set<std::vector<uint32_t>> cells;
        for (int32_t i = 0; i < art::CellCount(*strip); ++i) {
            SCOPED_TRACE(::testing::Message() << "cell " << i << " of " << strip->width);
            EXPECT_GE(Colours(*strip, i * cell, cell), 4u) << "an empty or one-colour cell";
            std::vector<uint32_t> pixels;
            for (int32_t y = 0; y < cell; ++y)
                for (int32_t x = i * cell; x < (i + 1) * cell; ++x)
                    pixels.push_back(strip->Pixel(x, y));
            cells.insert(pixels);
        }
        EXPECT_EQ(int32_t(cells.size()), art::CellCount(*strip)) << "two cells are the same";
    }
}

TEST(TPicturesTest, TheTickerRowsOfTheBannerAreLightAndBlue) {
    defBannerPixelsFilled = false;
    FillDefBannerPixels();
    ASSERT_TRUE(defBannerPixelsFilled);
    // The ticker's black text lies over column 0, rows 0 to 15. The table
    // holds 0x00BBGGRR: a sky that came out red-dominant had its channels
    // swapped on the way.
    for (int32_t y = 0; y < 16; ++y) {
        const TColor c = defBannerPixels[size_t(y)];
        const uint32_t r = c & 0xFF, g = c >> 8 & 0xFF, b = c >> 16 & 0xFF;
        EXPECT_GT(b, r) << "row " << y;
        EXPECT_GT((r * 299 + g * 587 + b * 114) / 1000, 150u) << "row " << y;
        EXPECT_EQ(c >> 24, 0u) << "row " << y;
    }
}

} // namespace
} // namespace navlet::testing
