// Text metrics, fonts, colours and the display-list canvas over GDI, and the
// off-screen DIB the ticker line is painted into.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>

#include <windows.h>

#include "client/kit/graphics.h"

namespace navlet::win32 {

// A kit colour as a COLORREF, system colours from the current theme.
COLORREF ColorRefOf(TColor color);

// The GDI fonts of the kit's (name, point size) pairs, made once and kept
// for the kit's lifetime; sizes are points at the screen's dots per inch.
class TFontCache {
  public:
    TFontCache() = default;
    ~TFontCache();
    TFontCache(const TFontCache&) = delete;
    TFontCache& operator=(const TFontCache&) = delete;

    enum class TStyle { Plain, Bold, Italic };
    HFONT Font(const TFont& font, TStyle style = TStyle::Plain);

  private:
    std::map<std::pair<std::string, int>, HFONT> fonts[3];
};

class TGdiTextMetrics : public TTextMetrics {
  public:
    explicit TGdiTextMetrics(TFontCache& fonts);
    ~TGdiTextMetrics() override;
    int32_t TextWidth(const TFont& font, const std::string& text) override;

  private:
    TFontCache& fonts;
    HDC dc = nullptr; // a screen-compatible memory DC, only measured on
};

// Paints display lists on a DC the caller holds during its paint.
class TGdiCanvas : public TCanvas {
  public:
    TGdiCanvas(HDC dc, TFontCache& fonts) : dc(dc), fonts(fonts) {}
    void PaintDisplayList(const TDisplayList& image, const TRect& src, const TRect& dst) override;

  private:
    HDC dc;
    TFontCache& fonts;
};

// A top-down 32-bit DIB section selected into its own memory DC.
class TDib {
  public:
    TDib(int32_t width, int32_t height);
    ~TDib();
    TDib(const TDib&) = delete;
    TDib& operator=(const TDib&) = delete;

    bool Valid() const { return bits != nullptr; }
    HDC Dc() const { return dc; }
    int32_t Width() const { return width; }
    int32_t Height() const { return height; }
    // The pixel as a COLORREF; out of range gives 0.
    COLORREF Pixel(int32_t x, int32_t y) const;

  private:
    int32_t width;
    int32_t height;
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint32_t* bits = nullptr;
};

} // namespace navlet::win32
