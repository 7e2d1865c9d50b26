#pragma once

#include <QRectF>

#include <optional>

// Fitting a picture into a thumbnail slot, keeping its aspect ratio. Sizes are in twips.
namespace fit {

constexpr double kWideThreshold = 1.2; // wide when height × 1.2 is less than width
constexpr double kWideFactor = 5.7; // a wide picture is 5.7 reference-box widths wide
constexpr double kTallFactor = 4.525; // any other is 4.525 reference-box heights high

// The factor that divides the picture's size (W × H) into the thumbnail's, against a reference
// box of refWidth × refHeight. Nothing when the divisions cannot be made (a zero reference box,
// or a picture with no size on the side that decides).
std::optional<double> divisor(float W, float H, float refWidth, float refHeight);

// The slot rectangle fitted to a picture of W × H with divisor d: the thumbnail's size is the
// picture's divided by d, centred where the slot's centre was. Computed in double precision and
// stored as single-precision twips. The slot is unchanged when d is not a usable divisor.
QRectF fitSlot(const QRectF &slot, float W, float H, double d);

// A fitted thumbnail kept inside the slot's picture box `box`: where it is larger on either side
// (wide screens make the fit taller than the slot), it is shrunk to fit, same centre and
// proportions; where it fits, it is returned unchanged.
QRectF withinSlot(const QRectF &fitted, const QRectF &box);

// The size a picture of `picture` opens at in the slide show when large pictures are fitted:
// where it is larger than `screen` on either side, the largest size of its proportions the
// screen holds; nothing where it fits at its own size (or either size is empty).
std::optional<QSizeF> toScreen(const QSizeF &picture, const QSizeF &screen);

} // namespace fit
