#include "client/win32/kit/gdi.h"

#include <algorithm>
#include <variant>
#include <vector>

#include "client/kit/round_rect.h"

namespace navlet::win32 {

COLORREF ColorRefOf(TColor color) {
    if (IsSystemColor(color))
        return GetSysColor(int(color & 0xFF));
    return COLORREF(color & 0xFFFFFF); // the kit's colours are COLORREFs already
}

TFontCache::~TFontCache() {
    for (auto& style : fonts)
        for (auto& [key, font] : style)
            DeleteObject(font);
}

HFONT TFontCache::Font(const TFont& font, TStyle style) {
    auto& table = fonts[int(style)];
    const auto key = std::make_pair(font.name, font.pointSize);
    auto it = table.find(key);
    if (it != table.end())
        return it->second;
    HDC screen = GetDC(nullptr);
    const int height = -MulDiv(font.pointSize, GetDeviceCaps(screen, LOGPIXELSY), 72);
    ReleaseDC(nullptr, screen);
    const HFONT made = CreateFontA(height, 0, 0, 0, style == TStyle::Bold ? FW_BOLD : FW_NORMAL,
                                   style == TStyle::Italic, FALSE, FALSE, DEFAULT_CHARSET,
                                   OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                                   DEFAULT_PITCH | FF_SWISS, font.name.c_str());
    const HFONT result = made ? made : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    if (made)
        table[key] = made;
    return result;
}

TGdiTextMetrics::TGdiTextMetrics(TFontCache& f) : fonts(f), dc(CreateCompatibleDC(nullptr)) {}

TGdiTextMetrics::~TGdiTextMetrics() {
    if (dc)
        DeleteDC(dc);
}

int32_t TGdiTextMetrics::TextWidth(const TFont& font, const std::string& text) {
    if (!dc || text.empty())
        return 0;
    const HGDIOBJ old = SelectObject(dc, fonts.Font(font));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.data(), int(text.size()), &size);
    SelectObject(dc, old);
    return size.cx;
}

namespace {

void FillSolid(HDC dc, const RECT& r, COLORREF color) {
    SetBkColor(dc, color);
    ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &r, nullptr, 0, nullptr);
}

void PaintOp(HDC dc, TFontCache&, const TFillRect& op) {
    const RECT r{op.rect.left, op.rect.top, op.rect.right, op.rect.bottom};
    FillSolid(dc, r, ColorRefOf(op.color));
}

void PaintOp(HDC dc, TFontCache& fonts, const TTextOut& op) {
    const HGDIOBJ old = SelectObject(dc, fonts.Font(op.font));
    SetTextColor(dc, ColorRefOf(op.font.color));
    SetBkMode(dc, op.opaque ? OPAQUE : TRANSPARENT);
    if (op.opaque)
        SetBkColor(dc, ColorRefOf(op.background));
    const RECT clip{op.clip.left, op.clip.top, op.clip.right, op.clip.bottom};
    ExtTextOutA(dc, op.x, op.y, op.clipped ? ETO_CLIPPED : 0, op.clipped ? &clip : nullptr,
                op.text.data(), UINT(op.text.size()), nullptr);
    SelectObject(dc, old);
}

// Pixel for pixel the shape of the ticker's hit map, so that the hand cursor
// shows exactly over a button's inside.
void PaintOp(HDC dc, TFontCache&, const TRoundRect& op) {
    const COLORREF fill = ColorRefOf(op.fill);
    const COLORREF pen = ColorRefOf(op.pen);
    ForEachRoundRectPixel(
        op.rect, op.ellipseWidth, op.ellipseHeight,
        [&](int32_t x0, int32_t x1, int32_t y) {
            FillSolid(dc, RECT{x0, y, x1 + 1, y + 1}, fill);
        },
        [&](int32_t x, int32_t y) { SetPixelV(dc, x, y, pen); });
}

} // namespace

void TGdiCanvas::PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) {
    const int saved = SaveDC(dc);
    IntersectClipRect(dc, dst.left, dst.top, dst.right, dst.bottom);
    POINT origin{};
    OffsetViewportOrgEx(dc, dst.left - src.left, dst.top - src.top, &origin);
    IntersectClipRect(dc, 0, 0, image.width, image.height);
    for (const TDrawOp& op : image.ops)
        std::visit([this](const auto& o) { PaintOp(dc, fonts, o); }, op);
    RestoreDC(dc, saved);
}

TDib::TDib(int32_t w, int32_t h) : width(std::max(1, w)), height(std::max(1, h)) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    dc = CreateCompatibleDC(nullptr);
    void* pixels = nullptr;
    bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
    if (!dc || !bitmap)
        return;
    previous = SelectObject(dc, bitmap);
    bits = static_cast<uint32_t*>(pixels);
}

TDib::~TDib() {
    if (dc && previous)
        SelectObject(dc, previous);
    if (bitmap)
        DeleteObject(bitmap);
    if (dc)
        DeleteDC(dc);
}

COLORREF TDib::Pixel(int32_t x, int32_t y) const {
    if (!bits || x < 0 || y < 0 || x >= width || y >= height)
        return 0;
    GdiFlush();
    const uint32_t bgra = bits[size_t(y) * size_t(width) + size_t(x)];
    return RGB(bgra >> 16 & 0xFF, bgra >> 8 & 0xFF, bgra & 0xFF);
}

} // namespace navlet::win32
