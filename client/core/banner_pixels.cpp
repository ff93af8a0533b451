// The default banner's picture: a blue gradient, light at the top where the
// ticker continues it, with a lighter band across the lower middle. Drawn from
// code so that the bar carries no picture file of its own for it.
#include <algorithm>

#include "client/core/module_state.h"

namespace navlet {

namespace {

constexpr int BAND_TOP = 68;
constexpr int BAND_BOTTOM = 86;

uint8_t Mix(int from, int to, int step, int steps) {
    return uint8_t(from + (to - from) * step / steps);
}

uint32_t BannerPixel(int x, int y) {
    const int last = DEF_BANNER_HEIGHT - 1;
    // Sky blue at the top (the ticker's rows) down to a deep blue.
    int r = Mix(196, 36, y, last);
    int g = Mix(222, 88, y, last);
    int b = Mix(248, 168, y, last);
    // A band that is lightest in its middle row.
    if (y >= BAND_TOP && y < BAND_BOTTOM) {
        const int half = (BAND_BOTTOM - BAND_TOP) / 2;
        const int lift = 70 * (half - std::abs(y - (BAND_TOP + half))) / half;
        r += lift;
        g += lift;
        b += lift / 2;
    }
    // A little darker towards the right edge.
    const int shade = 24 * x / (DEF_BANNER_WIDTH - 1);
    r = std::clamp(r - shade, 0, 255);
    g = std::clamp(g - shade, 0, 255);
    b = std::clamp(b - shade / 2, 0, 255);
    return uint32_t(r) | uint32_t(g) << 8 | uint32_t(b) << 16;
}

} // namespace

void FillDefBannerPixels() {
    if (defBannerPixelsFilled)
        return;
    for (int x = 0; x < DEF_BANNER_WIDTH; ++x)
        for (int y = 0; y < DEF_BANNER_HEIGHT; ++y)
            defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)] = BannerPixel(x, y);
    defBannerPixelsFilled = true;
}

} // namespace navlet
