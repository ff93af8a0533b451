#include "client/qt/kit/qt_picture.h"

namespace navlet::qt {

QImage PictureImage(const art::TPicture& picture) {
    // The pixels are 32-bit 0xAARRGGBB values, the layout of Qt's ARGB32 on
    // every byte order; copy() detaches the image from the module's data.
    const QImage view(reinterpret_cast<const uchar*>(picture.pixels), picture.width, picture.height,
                      picture.width * 4, QImage::Format_ARGB32);
    return view.copy();
}

} // namespace navlet::qt
