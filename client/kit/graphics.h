// Colours, rectangles, fonts and the display list: what the core draws, in a
// form every kit can paint.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "protocol/code_page.h"

namespace navlet {

// 0x00BBGGRR, or a system colour (high byte 0xFF, low byte the system index)
// that the kit resolves to the platform's theme.
using TColor = uint32_t;

inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clGray = 0x808080;
inline constexpr TColor clMaroon = 0x000080;
inline constexpr TColor clSkyBlue = 0xF0CAA6;
inline constexpr TColor SYS_COLOR_FLAG = 0xFF000000;
inline constexpr TColor clWindow = 0xFF000005;
inline constexpr TColor clWindowText = 0xFF000008;
inline constexpr TColor clBtnFace = 0xFF00000F;
inline constexpr TColor clInactiveCaptionText = 0xFF000013;

inline constexpr TColor Rgb(uint8_t r, uint8_t g, uint8_t b) {
    return TColor(r) | TColor(g) << 8 | TColor(b) << 16;
}
inline constexpr bool IsSystemColor(TColor c) {
    return (c & SYS_COLOR_FLAG) == SYS_COLOR_FLAG;
}

// Right and bottom edges are exclusive.
struct TRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;

    int32_t Width() const { return right - left; }
    int32_t Height() const { return bottom - top; }
    bool operator==(const TRect&) const = default;
};

struct TFont {
    std::string name;
    int pointSize = 0;
    TColor color = clWindowText;
    bool operator==(const TFont&) const = default;
};

struct TFillRect {
    TRect rect;
    TColor color;
};

// Text with its top-left at (x, y). With `opaque` its cells are painted in
// `background` first; with `clipped` nothing is drawn outside `clip`.
struct TTextOut {
    int32_t x = 0;
    int32_t y = 0;
    std::string text;
    TFont font;
    bool opaque = false;
    TColor background = 0;
    bool clipped = false;
    TRect clip;
};

// A rectangle with rounded corners, each corner a quarter of an ellipse of
// ellipseWidth x ellipseHeight, filled and outlined by a one-pixel pen.
struct TRoundRect {
    TRect rect;
    int32_t ellipseWidth = 0;
    int32_t ellipseHeight = 0;
    TColor fill = 0;
    TColor pen = clBlack;
};

using TDrawOp = std::variant<TFillRect, TTextOut, TRoundRect>;

// An off-screen image as a list of drawing operations, painted in order over
// a width x height surface.
struct TDisplayList {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TDrawOp> ops;

    void Reset(int32_t newWidth, int32_t newHeight) {
        width = newWidth;
        height = newHeight;
        ops.clear();
    }
};

// A surface the kit paints on, handed to a paint handler.
class TCanvas {
  public:
    virtual ~TCanvas() = default;
    // Paints the part `src` of `image` onto `dst` of this surface, one to one
    // (both have the same size); what `image` does not cover is left alone.
    virtual void PaintDisplayList(const TDisplayList& image, const TRect& src,
                                  const TRect& dst) = 0;
};

class TTextMetrics {
  public:
    virtual ~TTextMetrics() = default;
    // The code of the bar's strings on this host, both shown and typed. A
    // UTF-8 host's bar asks the server for UTF-8 at login.
    virtual TTextCode TextCode() const { return TTextCode::Cp1252; }
    // Advance width in pixels of `text` drawn in `font`.
    virtual int32_t TextWidth(const TFont& font, const std::string& text) = 0;
    // The height of a line of text in `font`, in pixels. Only a side panel's
    // column asks; this estimate serves a kit that never shows one.
    virtual int32_t LineHeight(const TFont& font) { return font.pointSize * 4 / 3 + 4; }
};

} // namespace navlet
