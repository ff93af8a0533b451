// The bar's pictures as GDI bitmaps: the small buttons' glyphs (ImageList2),
// the action buttons, the people's state images (ImageList1), the default
// banner from the module's pixel table and the logo. The glyphs follow the
// Linux bar's drawings; the banner comes from the same pixel table.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

namespace navlet::win32 {

enum class TActionPicture { Search, Friends, Options };

// Each returns a new bitmap the caller deletes (null for an unknown index).
// Glyphs are drawn over `background`, the colour of the button they sit on.
HBITMAP Glyph16(int index, COLORREF background);
HBITMAP ActionPicture16(TActionPicture picture, COLORREF background);
// The 290 x 114 default banner; `shade` 0..255 darkens it towards navy, so
// that white labels read over it.
HBITMAP DefaultBannerBitmap(int shade);
// The navlet logo, 73 x 25, drawn over what `at` holds.
void DrawLogo(HDC dc, const RECT& at);
inline constexpr int LOGO_WIDTH = 73;
inline constexpr int LOGO_HEIGHT = 25;

// ImageList1 as a list view's state image list: image 0 is none, the state
// index i is image i + 1. The caller destroys it.
HIMAGELIST StateImageList();

} // namespace navlet::win32
