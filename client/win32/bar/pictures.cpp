#include "client/win32/bar/pictures.h"

#include "client/art/pictures.h"
#include "client/win32/kit/picture_bitmap.h"

namespace navlet::win32 {

namespace {

// Cell `index` of a strip of square cells; null outside the strip.
HBITMAP Cell(const art::TPicture& strip, int index, COLORREF background) {
    if (index < 0 || index >= art::CellCount(strip))
        return nullptr;
    const int32_t size = strip.height;
    return OpaqueBitmap(strip, index * size, 0, size, size, background);
}

} // namespace

HBITMAP Glyph16(int index, COLORREF background) {
    return Cell(art::barGlyphs, index, background);
}

HBITMAP ActionPicture16(TActionPicture picture, COLORREF background) {
    return Cell(art::actionGlyphs, int(picture), background);
}

HBITMAP PanelBackground(TBannerMode mode) {
    const art::TPicture* picture = &art::defaultBanner;
    if (mode == bmLogin)
        picture = &art::loginBackground;
    else if (mode == bmSearch)
        picture = &art::searchBackground;
    else if (mode == bmFriends)
        picture = &art::friendsBackground;
    return OpaqueBitmap(*picture, 0, 0, picture->width, picture->height, RGB(255, 255, 255));
}

void DrawLogo(HDC dc, int x, int y) {
    DrawBlended(dc, art::logo, x, y);
}

HIMAGELIST StateImageList() {
    const int32_t size = art::stateImages.height;
    const int count = art::CellCount(art::stateImages);
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32, count, 0);
    if (!list)
        return nullptr;
    const COLORREF background = GetSysColor(COLOR_WINDOW);
    for (int i = 0; i < count; ++i) {
        HBITMAP image = Cell(art::stateImages, i, background);
        ImageList_Add(list, image, nullptr);
        DeleteObject(image);
    }
    return list;
}

} // namespace navlet::win32
