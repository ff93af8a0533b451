// The bar's pictures as Qt images: the small buttons' glyphs (ImageList2 and
// the three action buttons), the people's state images (ImageList1), the
// default banner from the module's pixel table, the panel backgrounds and the
// logo, all rendered from the drawings in client/resources/pictures.
#pragma once

#include <QImage>
#include <QPixmap>

#include "client/core/components.h"

namespace navlet::qt {

// The glyphs of the search, friends and options buttons, in their order.
enum class TActionGlyph { Search, Friends, Options };

// Image `index` of ImageList2 (16 x 16); a null pixmap for -1.
QPixmap Glyph16(int index);
// The glyph of one of the three action buttons (16 x 16).
QPixmap ActionGlyph16(TActionGlyph glyph);
// Image `index` of ImageList1 (12 x 12); a null pixmap outside the list.
QPixmap StateImage12(int index);
// The 290 x 114 default banner from defBannerPixels.
QImage DefaultBannerImage();
// The 290 x 114 background of the login, search or friends panel.
QImage PanelBackground(TBannerMode mode);
// The navlet logo, 73 x 25.
QPixmap LogoImage();

} // namespace navlet::qt
