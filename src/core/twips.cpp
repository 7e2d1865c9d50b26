#include "twips.h"

#include <cmath>

namespace twips {

float perPixel(qreal logicalDpi)
{
    if (!(logicalDpi > 0)) {
        return 15.0f;
    }
    return static_cast<float>(kPerInch / logicalDpi);
}

int toPixels(float twips, float twipsPerPixel)
{
    return static_cast<int>(std::lround(twips / twipsPerPixel));
}

QRect toPixels(const QRectF &r, float tpp)
{
    // Convert the edges, not the sizes, so neighbouring controls share their edges exactly.
    const int left = toPixels(float(r.left()), tpp);
    const int top = toPixels(float(r.top()), tpp);
    const int right = toPixels(float(r.left() + r.width()), tpp);
    const int bottom = toPixels(float(r.top() + r.height()), tpp);
    return QRect(left, top, right - left, bottom - top);
}

float fromPixels(int pixels, float twipsPerPixel)
{
    return static_cast<float>(pixels) * twipsPerPixel;
}

} // namespace twips
