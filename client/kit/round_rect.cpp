#include "client/kit/round_rect.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

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

void ForEachRoundRectPixel(const TRect& rect, int32_t ew, int32_t eh,
                           const std::function<void(int32_t, int32_t, int32_t)>& fillRow,
                           const std::function<void(int32_t, int32_t)>& outline) {
    const int32_t rows = std::max(0, rect.Height());
    std::vector<std::pair<int32_t, int32_t>> spans(size_t(rows), {0, -1});
    for (int32_t i = 0; i < rows; ++i)
        RoundRectRowSpan(rect, ew, eh, rect.top + i, spans[size_t(i)].first,
                         spans[size_t(i)].second);
    auto inside = [&](int32_t x, int32_t i) {
        return i >= 0 && i < rows && x >= spans[size_t(i)].first && x <= spans[size_t(i)].second;
    };
    for (int32_t i = 0; i < rows; ++i) {
        const int32_t y = rect.top + i;
        const auto [x0, x1] = spans[size_t(i)];
        if (x0 > x1)
            continue;
        fillRow(x0, x1, y);
        for (int32_t x = x0; x <= x1; ++x) {
            if (!inside(x - 1, i) || !inside(x + 1, i) || !inside(x, i - 1) || !inside(x, i + 1))
                outline(x, y);
        }
    }
}

} // namespace navlet
