#include "proportionallayout.h"

#include "platform/controls.h"

#include <QWidget>

ProportionalLayout::ProportionalLayout(float twipsPerPixel)
    : m_tpp(twipsPerPixel)
{
}

void ProportionalLayout::add(layout::ControlKind kind, QWidget *control, const QRectF &designTwips)
{
    if (control) {
        controls::setTwipRect(control, designTwips, m_tpp);
    }
    m_controls.push_back({ kind, control });
}

void ProportionalLayout::record(const QSizeF &inner)
{
    m_proportions.assign(m_controls.size(), layout::ControlProportion());
    for (std::size_t k = 0; k < m_controls.size(); ++k) {
        const Control &control = m_controls[k];
        if (!control.widget) {
            continue;
        }
        if (const auto proportion
            = layout::record(control.kind, controls::twipRect(control.widget, m_tpp), inner)) {
            m_proportions[k] = *proportion;
        }
    }
}

void ProportionalLayout::apply(const QSizeF &inner)
{
    // A minimised window has no inner area; there is nothing to lay out.
    if (inner.width() <= 0 || inner.height() <= 0 || m_proportions.empty()) {
        return;
    }
    for (std::size_t k = 0; k < m_controls.size(); ++k) {
        if (QWidget *widget = m_controls[k].widget) {
            controls::setTwipRect(widget, placeOf(widget, inner), m_tpp);
        }
    }
}

QRectF ProportionalLayout::placeOf(const QWidget *control, const QSizeF &inner) const
{
    const QRectF now = controls::twipRect(control, m_tpp);
    for (std::size_t k = 0; k < m_controls.size() && k < m_proportions.size(); ++k) {
        if (m_controls[k].widget == control) {
            return layout::apply(m_controls[k].kind, m_proportions[k], now, inner).value_or(now);
        }
    }
    return now;
}
