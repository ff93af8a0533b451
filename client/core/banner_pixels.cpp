// The default banner's pixel table, read from the picture rendered from its
// drawing when the module was built.
#include "client/art/pictures.h"
#include "client/core/module_state.h"

namespace navlet {

namespace {

// The picture's 0xAARRGGBB to the bar's 0x00BBGGRR colours; the banner is
// opaque, so the alpha byte is dropped.
uint32_t ColourOf(uint32_t argb) {
    const uint32_t r = argb >> 16 & 0xFF;
    const uint32_t g = argb >> 8 & 0xFF;
    const uint32_t b = argb & 0xFF;
    return r | g << 8 | b << 16;
}

} // namespace

void FillDefBannerPixels() {
    if (defBannerPixelsFilled)
        return;
    const art::TPicture& banner = art::defaultBanner;
    for (int x = 0; x < DEF_BANNER_WIDTH; ++x)
        for (int y = 0; y < DEF_BANNER_HEIGHT; ++y)
            defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)] = ColourOf(banner.Pixel(x, y));
    defBannerPixelsFilled = true;
}

} // namespace navlet
