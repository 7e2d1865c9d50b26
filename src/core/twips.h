#pragma once

#include <QRectF>

// Geometry is kept in twips (1/1440 inch) as single-precision values, the unit the window designs
// and the fit arithmetic are written in; pixels appear only where a widget is placed.
namespace twips {

constexpr float kPerInch = 1440.0f;

// Twips per pixel for a logical DPI (15 at 96 DPI).
float perPixel(qreal logicalDpi);

// A twip coordinate or length to whole pixels, rounded to nearest.
int toPixels(float twips, float twipsPerPixel);
QRect toPixels(const QRectF &twipRect, float twipsPerPixel);

float fromPixels(int pixels, float twipsPerPixel);

} // namespace twips
