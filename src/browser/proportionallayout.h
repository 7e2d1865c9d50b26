#pragma once

#include "core/layout.h"

#include <QRectF>
#include <QSizeF>

#include <vector>

class QWidget;

// The main window's controls, each kept at the place it has at the design size as fixed
// proportions of the window's inner area. Controls are counted in the window's order, menu items
// included, though only placed controls are moved.
class ProportionalLayout
{
public:
    explicit ProportionalLayout(float twipsPerPixel);

    // A control placed at `designTwips`, or a menu item (no widget).
    void add(
        layout::ControlKind kind, QWidget *control = nullptr, const QRectF &designTwips = QRectF());
    // Records every control's place as proportions of `inner` (twips), once, at the design size.
    void record(const QSizeF &inner);
    // Puts every control back at its proportions of `inner`; nothing when `inner` is empty.
    void apply(const QSizeF &inner);
    // Where the layout places `control` at `inner`, whatever was done to it since.
    QRectF placeOf(const QWidget *control, const QSizeF &inner) const;

private:
    struct Control
    {
        layout::ControlKind kind;
        QWidget *widget;
    };

    float m_tpp;
    std::vector<Control> m_controls;
    std::vector<layout::ControlProportion> m_proportions;
};
