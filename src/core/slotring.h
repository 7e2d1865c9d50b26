#pragma once

#include <QList>
#include <QRectF>
#include <QString>

#include <array>

// The twenty thumbnail slots as a ring: which file each slot shows, the slot the next selection
// fills, and the slot last clicked or focused. The ring never looks for an empty slot: after the
// last slot the first one is reused.
class SlotRing
{
public:
    static constexpr int kSlotCount = 20;
    // Three entries past the slots are part of the table, never shown; a current slot there
    // names no file.
    static constexpr int kFileCount = 23;

    // The slot the next selection fills, taken round to the first after the last.
    int take();
    int nextSlot() const { return m_next; }
    void setNextSlot(int slot) { m_next = slot; }

    int currentSlot() const { return m_current; }
    void setCurrentSlot(int slot) { m_current = slot; }
    // The file of the current slot; empty for an empty slot or a current slot outside the table.
    QString currentFile() const { return file(m_current); }

    // The file slot `slot` shows; empty for an empty slot or an index outside the table.
    QString file(int slot) const;
    void setFile(int slot, const QString &path);
    // The slots (0..19, in order) that show `path` under the file system's case rule; an empty
    // path is shown by no slot.
    QList<int> slotsShowing(const QString &path, Qt::CaseSensitivity rule) const;

    // The next selection goes to the first slot again; the slots keep their files.
    void reset() { m_next = 0; }
    // Every slot empty, and the next selection goes to the first slot.
    void clear();

    // A slot's picture box as start-up recorded it, whole twips: where Clear puts it back.
    struct Geometry
    {
        int left = 0;
        int top = 0;
        int width = 0;
        int height = 0;
        QRectF rect() const { return QRectF(left, top, width, height); }
    };
    const Geometry &geometry(int slot) const { return m_geometry[std::size_t(slot)]; }
    // Records slot `slot`'s picture box `twips`, each value rounded to the nearest whole twip.
    void setGeometry(int slot, const QRectF &twips);

private:
    std::array<QString, kFileCount> m_files;
    std::array<Geometry, kSlotCount> m_geometry {};
    int m_next = 0;
    int m_current = 0;
};
