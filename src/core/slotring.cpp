#include "slotring.h"

#include <cmath>

#include "paths.h"

int SlotRing::take()
{
    if (m_next > kSlotCount - 1 || m_next < 0) {
        m_next = 0;
    }
    const int slot = m_next;
    m_next = slot + 1;
    return slot;
}

QString SlotRing::file(int slot) const
{
    return slot >= 0 && slot < kFileCount ? m_files[std::size_t(slot)] : QString();
}

void SlotRing::setFile(int slot, const QString &path)
{
    if (slot >= 0 && slot < kFileCount) {
        m_files[std::size_t(slot)] = path;
    }
}

QList<int> SlotRing::slotsShowing(const QString &path, Qt::CaseSensitivity rule) const
{
    QList<int> showing;
    if (path.isEmpty()) {
        return showing;
    }
    for (int i = 0; i < kSlotCount; ++i) {
        if (paths::same(m_files[std::size_t(i)], path, rule)) {
            showing.append(i);
        }
    }
    return showing;
}

void SlotRing::clear()
{
    for (QString &file : m_files) {
        file.clear();
    }
    m_next = 0;
}

void SlotRing::setGeometry(int slot, const QRectF &twips)
{
    m_geometry[std::size_t(slot)]
        = { int(std::nearbyint(twips.left())), int(std::nearbyint(twips.top())),
              int(std::nearbyint(twips.width())), int(std::nearbyint(twips.height())) };
}
