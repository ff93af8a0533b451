// The bar's pictures, drawn from code: the small buttons' glyphs (ImageList2),
// the people's state images (ImageList1), the default banner from the
// module's pixel table, the lower strip and the logo.
#pragma once

#include <QImage>
#include <QPixmap>

namespace navlet::qt {

// Image `index` of ImageList2 (16 x 16); a null pixmap for -1.
QPixmap Glyph16(int index);
// Image `index` of ImageList1 (12 x 12); a null pixmap outside the list.
QPixmap StateImage12(int index);
// The 290 x 114 default banner from defBannerPixels.
QImage DefaultBannerImage();
// The navlet logo strip, 73 x 25.
QPixmap LogoImage();

} // namespace navlet::qt
