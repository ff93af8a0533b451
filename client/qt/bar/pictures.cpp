#include "client/qt/bar/pictures.h"

#include "client/art/pictures.h"
#include "client/core/module_state.h"
#include "client/qt/kit/qt_kit.h"
#include "client/qt/kit/qt_picture.h"

namespace navlet::qt {

namespace {

// Cell `index` of a strip of square cells; a null pixmap outside the strip.
QPixmap Cell(const art::TPicture& strip, int index) {
    if (index < 0 || index >= art::CellCount(strip))
        return {};
    return QPixmap::fromImage(
        PictureImage(strip).copy(index * strip.height, 0, strip.height, strip.height));
}

} // namespace

QPixmap Glyph16(int index) {
    return Cell(art::barGlyphs, index);
}

QPixmap ActionGlyph16(TActionGlyph glyph) {
    return Cell(art::actionGlyphs, int(glyph));
}

QPixmap StateImage12(int index) {
    return Cell(art::stateImages, index);
}

QImage DefaultBannerImage() {
    FillDefBannerPixels();
    QImage image(DEF_BANNER_WIDTH, DEF_BANNER_HEIGHT, QImage::Format_RGB32);
    for (int x = 0; x < DEF_BANNER_WIDTH; ++x) {
        for (int y = 0; y < DEF_BANNER_HEIGHT; ++y)
            image.setPixelColor(x, y, ColorOf(defBannerPixels[size_t(x * DEF_BANNER_HEIGHT + y)]));
    }
    return image;
}

QImage PanelBackground(TBannerMode mode) {
    switch (mode) {
    case bmLogin:
        return PictureImage(art::loginBackground);
    case bmSearch:
        return PictureImage(art::searchBackground);
    case bmFriends:
        return PictureImage(art::friendsBackground);
    default:
        return DefaultBannerImage();
    }
}

QPixmap LogoImage() {
    return QPixmap::fromImage(PictureImage(art::logo));
}

} // namespace navlet::qt
