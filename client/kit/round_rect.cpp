#include "client/kit/round_rect.h"

#include <algorithm>
#include <cmath>

namespace navlet {

bool RoundRectRowSpan(const TRect& r, int32_t ew, int32_t eh, int32_t y, int32_t& x0, int32_t& x1) {
    if (y < r.top || y >= r.bottom || r.right <= r.left)
        return false;
    x0 = r.left;
    x1 = r.right - 1;
    const double rx = std::min(ew, r.Width()) / 2.0;
    const double ry = std::min(eh, r.Height()) / 2.0;
    if (rx <= 0 || ry <= 0)
        return true;
    // Vertical distance of the row's centre from the corner ellipses' centres;
    // 0 on the straight part of the sides.
    const double mid = y + 0.5;
    const double cy = std::clamp(mid, r.top + ry, r.bottom - ry);
    const double dy = (mid - cy) / ry;
    const double reach = rx * std::sqrt(std::max(0.0, 1.0 - dy * dy));
    // A pixel counts when its centre lies inside the corner ellipse.
    while (x0 <= x1 && (r.left + rx) - (x0 + 0.5) > reach)
        ++x0;
    while (x1 >= x0 && (x1 + 0.5) - (r.right - rx) > reach)
        --x1;
    return x0 <= x1;
}

} // namespace navlet
