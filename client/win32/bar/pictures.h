// The bar's pictures as GDI bitmaps, from the rendered drawings every kit
// shares (client/art): the small buttons' glyphs (ImageList2), the action
// buttons, the people's state images (ImageList1), the banner panels'
// backgrounds and the logo.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "client/core/components.h"

namespace navlet::win32 {

enum class TActionPicture { Search, Friends, Options };

// Each returns a new bitmap the caller deletes (null for an unknown index),
// drawn over `background`, the colour of what it sits on.
HBITMAP Glyph16(int index, COLORREF background);
HBITMAP ActionPicture16(TActionPicture picture, COLORREF background);
// The picture of a banner panel: the default banner, or the background of
// the login, search or friends panel; 290 x 114.
HBITMAP PanelBackground(TBannerMode mode);
// The logo, 73 x 25, drawn at (x, y) over what the surface holds.
void DrawLogo(HDC dc, int x, int y);

// ImageList1, image i for the state index i, over the lists' background. A
// list view shows image i for the item state INDEXTOSTATEIMAGEMASK(i + 1),
// 0 being none. The caller destroys it.
HIMAGELIST StateImageList();

} // namespace navlet::win32
