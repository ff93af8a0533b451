#include "client/win32/kit/picture_bitmap.h"

namespace navlet::win32 {

namespace {

// A top-down 32-bit DIB section; `bits` gets its pixels.
HBITMAP MakeDib(int32_t width, int32_t height, uint32_t*& bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    bits = static_cast<uint32_t*>(pixels);
    return bits ? bitmap : nullptr;
}

} // namespace

COLORREF BlendedPixel(uint32_t argb, COLORREF background) {
    const uint32_t a = argb >> 24;
    auto mix = [a](uint32_t front, uint32_t back) { return (front * a + back * (255 - a)) / 255; };
    return RGB(mix(argb >> 16 & 0xFF, GetRValue(background)),
               mix(argb >> 8 & 0xFF, GetGValue(background)),
               mix(argb & 0xFF, GetBValue(background)));
}

HBITMAP OpaqueBitmap(const art::TPicture& picture, int32_t left, int32_t top, int32_t width,
                     int32_t height, COLORREF background) {
    if (width <= 0 || height <= 0 || left < 0 || top < 0 || left + width > picture.width ||
        top + height > picture.height)
        return nullptr;
    uint32_t* bits = nullptr;
    HBITMAP bitmap = MakeDib(width, height, bits);
    if (!bitmap)
        return nullptr;
    for (int32_t y = 0; y < height; ++y) {
        for (int32_t x = 0; x < width; ++x) {
            const COLORREF c = BlendedPixel(picture.Pixel(left + x, top + y), background);
            bits[size_t(y) * size_t(width) + size_t(x)] =
                uint32_t(GetRValue(c)) << 16 | uint32_t(GetGValue(c)) << 8 | GetBValue(c);
        }
    }
    return bitmap;
}

void DrawBlended(HDC dc, const art::TPicture& picture, int32_t x, int32_t y) {
    uint32_t* bits = nullptr;
    HBITMAP bitmap = MakeDib(picture.width, picture.height, bits);
    if (!bitmap)
        return;
    // AlphaBlend takes premultiplied colours.
    for (int32_t row = 0; row < picture.height; ++row) {
        for (int32_t column = 0; column < picture.width; ++column) {
            const uint32_t p = picture.Pixel(column, row);
            const uint32_t a = p >> 24;
            auto pre = [a](uint32_t c) { return c * a / 255; };
            bits[size_t(row) * size_t(picture.width) + size_t(column)] =
                a << 24 | pre(p >> 16 & 0xFF) << 16 | pre(p >> 8 & 0xFF) << 8 | pre(p & 0xFF);
        }
    }
    HDC source = CreateCompatibleDC(dc);
    const HGDIOBJ old = SelectObject(source, bitmap);
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(dc, x, y, picture.width, picture.height, source, 0, 0, picture.width, picture.height,
               blend);
    SelectObject(source, old);
    DeleteDC(source);
    DeleteObject(bitmap);
}

} // namespace navlet::win32
