// The pictures rendered from the bar's drawings, as Qt images.
#pragma once

#include <QImage>

#include "client/art/pictures.h"

namespace navlet::qt {

// A rendered picture as an image of its own (the pixels are copied).
QImage PictureImage(const art::TPicture& picture);

} // namespace navlet::qt
