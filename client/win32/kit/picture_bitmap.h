// The bar's rendered pictures (client/art) as GDI bitmaps.
#pragma once

#include <cstdint>

#include <windows.h>

#include "client/art/pictures.h"

namespace navlet::win32 {

// The part of `picture` at (left, top) of width x height, over `background`:
// a new bitmap the caller deletes; null when it cannot be made.
HBITMAP OpaqueBitmap(const art::TPicture& picture, int32_t left, int32_t top, int32_t width,
                     int32_t height, COLORREF background);
// Draws the whole of `picture` at (x, y) of `dc`, blended over what is there.
void DrawBlended(HDC dc, const art::TPicture& picture, int32_t x, int32_t y);
// A picture pixel's colour over `background`.
COLORREF BlendedPixel(uint32_t argb, COLORREF background);

} // namespace navlet::win32
