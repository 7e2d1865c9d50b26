#include "fit.h"

#include <algorithm>
#include <cmath>

namespace fit {

std::optional<double> divisor(float W, float H, float refWidth, float refHeight)
{
    // The product is rounded to single precision before the comparison, so a picture exactly
    // 1.2 times as wide as high compares equal and takes the height rule.
    const float threshold = float(double(H) * kWideThreshold);
    double d;
    if (threshold < W) {
        if (refWidth == 0.0f) {
            return std::nullopt;
        }
        d = (double(W) / double(refWidth)) / kWideFactor;
    } else {
        if (refHeight == 0.0f) {
            return std::nullopt;
        }
        d = (double(H) / double(refHeight)) / kTallFactor;
    }
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

QRectF fitSlot(const QRectF &slot, float W, float H, double d)
{
    if (!(d > 0.0) || !std::isfinite(d)) {
        return slot;
    }
    const double t = float(slot.top());
    const double l = float(slot.left());
    const double height = float(slot.height());
    const double width = float(slot.width());
    const float top = float(t + (height - double(H) / d) / 2.0);
    const float left = float(l + (width - double(W) / d) / 2.0);
    return QRectF(left, top, float(double(W) / d), float(double(H) / d));
}

QRectF withinSlot(const QRectF &fitted, const QRectF &box)
{
    if (fitted.width() <= box.width() && fitted.height() <= box.height()) {
        return fitted;
    }
    const double scale = std::min(box.width() / fitted.width(), box.height() / fitted.height());
    if (!(scale > 0.0) || !std::isfinite(scale)) {
        return fitted;
    }
    const double width = fitted.width() * scale;
    const double height = fitted.height() * scale;
    const QPointF centre = fitted.center();
    return QRectF(float(centre.x() - width / 2.0), float(centre.y() - height / 2.0), float(width),
        float(height));
}

std::optional<QSizeF> toScreen(const QSizeF &picture, const QSizeF &screen)
{
    if (picture.isEmpty() || screen.isEmpty()
        || (picture.width() <= screen.width() && picture.height() <= screen.height())) {
        return std::nullopt;
    }
    const double scale
        = std::min(screen.width() / picture.width(), screen.height() / picture.height());
    return QSizeF(float(picture.width() * scale), float(picture.height() * scale));
}

} // namespace fit
