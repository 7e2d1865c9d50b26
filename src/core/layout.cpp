#include "layout.h"

namespace layout {

namespace {
    float ratio(double part, double whole)
    {
        return float(part / whole);
    }
} // namespace

std::optional<ControlProportion> record(ControlKind kind, const QRectF &rect, const QSizeF &inner)
{
    if (kind == ControlKind::Timer || kind == ControlKind::CommonDialog
        || kind == ControlKind::MenuItem) {
        return std::nullopt;
    }
    if (inner.width() <= 0 || inner.height() <= 0) {
        return std::nullopt;
    }
    ControlProportion p;
    p.width = ratio(float(rect.width()), float(inner.width()));
    if (kind != ControlKind::DriveList) {
        p.height = ratio(float(rect.height()), float(inner.height()));
    }
    p.top = ratio(float(rect.top()), float(inner.height()));
    p.left = ratio(float(rect.left()), float(inner.width()));
    return p;
}

std::optional<QRectF> apply(
    ControlKind kind, const ControlProportion &p, const QRectF &current, const QSizeF &inner)
{
    if (kind != ControlKind::DriveList && kind != ControlKind::Other) {
        return std::nullopt; // picture boxes are recorded but never moved
    }
    const float w = float(inner.width());
    const float h = float(inner.height());
    const float left = p.left * w;
    const float top = p.top * h;
    const float width = p.width * w;
    const float height = kind == ControlKind::DriveList ? float(current.height()) : p.height * h;
    return QRectF(left, top, width, height);
}

} // namespace layout
