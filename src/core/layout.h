#pragma once

#include <QRectF>
#include <QSizeF>

#include <optional>

// The proportional layout: each control keeps the place it has at the window's design size as
// fractions of the window's inner area, so later sizes scale from the design without drift.
namespace layout {

enum class ControlKind { Timer, CommonDialog, MenuItem, PictureBox, DriveList, Other };

// Fractions of the inner area, single precision.
struct ControlProportion
{
    float width = 0;
    float height = 0;
    float top = 0;
    float left = 0;
};

// The proportion to record for a control at `rect` (twips) in an inner area of `inner` twips;
// nothing for kinds that are not recorded. A drive list records no height.
std::optional<ControlProportion> record(ControlKind kind, const QRectF &rect, const QSizeF &inner);

// Where the layout puts a control for an inner area of `inner` twips; nothing for kinds it does
// not move. A drive list keeps `current`'s height.
std::optional<QRectF> apply(
    ControlKind kind, const ControlProportion &p, const QRectF &current, const QSizeF &inner);

} // namespace layout
