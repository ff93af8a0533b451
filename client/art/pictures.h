// The bar's pictures, rendered from the drawings in client/resources/pictures
// when the module is built. Toolkit-free: each kit turns them into its own
// images.
#pragma once

#include <cstddef>
#include <cstdint>

namespace navlet::art {

// A rendered picture: `height` rows of `width` pixels, top row first, each
// pixel 0xAARRGGBB with straight (not premultiplied) alpha. The pixels are
// constant data of the module and live as long as it is loaded.
struct TPicture {
    int32_t width;
    int32_t height;
    const uint32_t* pixels;

    uint32_t Pixel(int32_t x, int32_t y) const {
        return pixels[size_t(y) * size_t(width) + size_t(x)];
    }
};

// The default banner, 290 x 114: the ticker's background is its left column,
// the lower strip repeats its last two rows.
extern const TPicture defaultBanner;
// The backgrounds of the login, search and friends panels, 290 x 114 each;
// their controls lie over the right-hand part.
extern const TPicture loginBackground;
extern const TPicture searchBackground;
extern const TPicture friendsBackground;
// ImageList2: minimise, restore, then the LED's news, error, signed-in and
// connecting lights; six 16 x 16 cells side by side.
extern const TPicture barGlyphs;
// The search, friends and options buttons' glyphs, three 16 x 16 cells.
extern const TPicture actionGlyphs;
// ImageList1: the people's state images, nine 12 x 12 cells in the order of
// the gender images (boy, girl, boy member, girl member, neutral, neutral
// member, then boy, girl and neutral of a friend offline).
extern const TPicture stateImages;
// The logo over the lower strip, 73 x 25.
extern const TPicture logo;
// The logo strip beside the band on Windows, 24 x 700: the mark and the name
// within its top 114 rows.
extern const TPicture logoStrip;
// The About box's picture, 449 x 281.
extern const TPicture aboutPicture;

// The number of square cells in a strip of cells as wide as it is high.
inline int32_t CellCount(const TPicture& strip) {
    return strip.height > 0 ? strip.width / strip.height : 0;
}

} // namespace navlet::art
