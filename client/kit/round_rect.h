// The rounded rectangle's shape, pixel by pixel: the core's hit map and the
// kits that draw the ticker's buttons fill exactly the same pixels.
#pragma once

#include <cstdint>
#include <functional>

#include "client/kit/graphics.h"

namespace navlet {

// Inclusive column range [x0, x1] that a rounded rectangle covers on row y
// (top <= y < bottom); false when the row has none. Shared by the ticker's hit
// map and by kits that rasterise rounded rectangles themselves.
bool RoundRectRowSpan(const TRect& rect, int32_t ew, int32_t eh, int32_t y, int32_t& x0,
                      int32_t& x1);

// The shape as a kit paints it: fillRow(x0, x1, y) for each row's inside, and
// outline(x, y) for each of its pixels with a neighbour outside the shape.
void ForEachRoundRectPixel(const TRect& rect, int32_t ew, int32_t eh,
                           const std::function<void(int32_t, int32_t, int32_t)>& fillRow,
                           const std::function<void(int32_t, int32_t)>& outline);

} // namespace navlet
