#pragma once

#include "core/slotring.h"
#include "pictures/picture.h"

#include <QObject>

#include <array>
#include <functional>
#include <optional>

class AsyncPictureLoader;
class CaptionBox;
class ImageBox;
class QTimer;
class QWidget;

// The twenty thumbnail slots and their captions: the image controls `open(i)` and the caption
// boxes `filename(i)`, placed by the main window's layout, and the decodes that fill them at the
// size they are shown, away from the user-interface thread.
class ThumbnailStrip : public QObject
{
    Q_OBJECT
public:
    static constexpr int kSlotCount = SlotRing::kSlotCount;

    // The controls are made inside `area`, twips at `twipsPerPixel`.
    ThumbnailStrip(QWidget *area, float twipsPerPixel);

    // Where slot `slot`'s picture and caption stand at the window's design size, twips.
    static QRectF designPictureBox(int slot);
    static QRectF designCaptionBox(int slot);

    ImageBox *picture(int slot) const { return m_pictures[std::size_t(slot)]; }
    CaptionBox *caption(int slot) const { return m_captions[std::size_t(slot)]; }

    // Slot `slot` shows `path`: `header` is the picture as far as its header tells (its size),
    // an empty picture for a file that cannot be read; the pixels are decoded for the slot.
    void fill(int slot, const QString &path, const Picture &header);
    // The slot shows nothing: no picture, no caption.
    void empty(int slot);
    // Every slot empty and every caption plain.
    void clear();
    // The slot's file was renamed: same picture, new name.
    void rename(int slot, const QString &newName);
    void setHighlighted(int slot, bool highlighted);
    // The highlight refresh for the first `count` slots: highlighted where the slot shows
    // `current` under `rule`, plain where it shows another file; an empty slot under an empty
    // `current` keeps its colour.
    void highlightShowing(const SlotRing &ring, const QString &current, Qt::CaseSensitivity rule,
        int count = kSlotCount);
    // Every caption plain but slot `slot`'s, highlighted when the slot is filled.
    void highlightOnly(const SlotRing &ring, int slot);
    // Fits slot `slot` to a picture of `pictureTwips` against the reference box, kept inside the
    // slot's picture box `box`; the slot is left as it is when the fit cannot be made. Returns the
    // divisor used.
    std::optional<double> fit(
        int slot, const QSizeF &pictureTwips, const QRectF &reference, const QRectF &box);
    // Every filled slot of `ring` fitted again from the picture it holds (no file is read), each
    // inside the picture box `boxOf(slot)` gives.
    void refit(
        const SlotRing &ring, const QRectF &reference, const std::function<QRectF(int)> &boxOf);
    // Slots shown larger than the pictures they hold are decoded again, once resizing settles.
    void scheduleSharpening();

    // Tests and benchmarks: waits until every thumbnail decode asked for has arrived.
    void waitForThumbnails();

Q_SIGNALS:
    void pictureReleased(int slot, int button, int shift, int x, int y);
    void pictureDropped(int slot);
    void captionGotFocus(int slot);
    void captionLostFocus(int slot);

private:
    // Names the slot's picture for assistive technology after the file it shows.
    void nameSlot(int slot, const QString &path);
    // Asks for the slot's picture at the slot's current resolution.
    void requestThumbnail(int slot);
    // Forgets the decode still on its way for the slot, if any.
    void cancelThumbnail(int slot);
    void decoded(int ticket, const pictures::LoadResult &result);
    void sharpen();

    std::array<ImageBox *, kSlotCount> m_pictures {};
    std::array<CaptionBox *, kSlotCount> m_captions {};
    std::array<int, kSlotCount> m_tickets {};
    AsyncPictureLoader *m_decoder = nullptr;
    QTimer *m_sharpenTimer = nullptr;
    float m_tpp;
};
