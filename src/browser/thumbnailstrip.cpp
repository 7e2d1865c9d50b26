#include "thumbnailstrip.h"

#include "core/fit.h"
#include "core/palette.h"
#include "core/paths.h"
#include "core/slotring.h"
#include "pictures/asyncpictureloader.h"
#include "platform/controls.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QTimer>

#include <cmath>

QRectF ThumbnailStrip::designPictureBox(int slot)
{
    // Five across, four down; the bottom row is a little taller.
    const float left = 2220.0f + 1440.0f * float(slot % 5);
    const int row = slot / 5;
    return row < 3 ? QRectF(left, 120.0f + 1440.0f * float(row), 1455, 1155)
                   : QRectF(left, 4440, 1455, 1215);
}

QRectF ThumbnailStrip::designCaptionBox(int slot)
{
    const float left = 2220.0f + 1440.0f * float(slot % 5);
    const int row = slot / 5;
    return QRectF(left, row < 3 ? 1260.0f + 1440.0f * float(row) : 5640.0f, 1455, 285);
}

ThumbnailStrip::ThumbnailStrip(QWidget *area, float twipsPerPixel)
    : QObject(area)
    , m_tpp(twipsPerPixel)
{
    m_decoder = new AsyncPictureLoader(this);
    // The latest selection first, on every core; the desktop's thumbnails are shared with other
    // programs both ways.
    m_decoder->setOrder(AsyncPictureLoader::Order::NewestFirst);
    m_decoder->setThumbnailCache(ThumbnailCache());
    connect(m_decoder, &AsyncPictureLoader::loaded, this, &ThumbnailStrip::decoded);
    m_sharpenTimer = new QTimer(this);
    m_sharpenTimer->setSingleShot(true);
    m_sharpenTimer->setInterval(150);
    connect(m_sharpenTimer, &QTimer::timeout, this, &ThumbnailStrip::sharpen);

    for (int i = 0; i < kSlotCount; ++i) {
        auto *picture = new ImageBox(twipsPerPixel, area);
        picture->setObjectName(QStringLiteral("open%1").arg(i));
        picture->setOutlinedWhenEmpty(true);
        picture->setAcceptDrops(true);
        picture->setAccessibleDescription(
            QStringLiteral("A click shows the picture on the whole screen"));
        m_pictures[std::size_t(i)] = picture;
        connect(picture, &ImageBox::mouseUp, this, [this, i](int button, int shift, int x, int y) {
            Q_EMIT pictureReleased(i, button, shift, x, y);
        });
        connect(picture, &ImageBox::dropped, this, [this, i]() { Q_EMIT pictureDropped(i); });
    }
    for (int i = 0; i < kSlotCount; ++i) {
        auto *caption = new CaptionBox(area);
        caption->setObjectName(QStringLiteral("filename%1").arg(i));
        caption->setBackground(palette::color(palette::kPlain));
        caption->setAccessibleName(QStringLiteral("File name %1").arg(i + 1));
        caption->setAccessibleDescription(
            QStringLiteral("The file thumbnail %1 shows; focusing it makes it the current file")
                .arg(i + 1));
        m_captions[std::size_t(i)] = caption;
        connect(caption, &CaptionBox::gotFocus, this, [this, i]() { Q_EMIT captionGotFocus(i); });
        connect(caption, &CaptionBox::lostFocus, this, [this, i]() { Q_EMIT captionLostFocus(i); });
    }
    for (int i = 0; i < kSlotCount; ++i) {
        nameSlot(i, QString());
    }
}

void ThumbnailStrip::nameSlot(int slot, const QString &path)
{
    const QString name = QStringLiteral("Thumbnail %1").arg(slot + 1);
    picture(slot)->setAccessibleName(
        path.isEmpty() ? name : name + QStringLiteral(": ") + QFileInfo(path).fileName());
}

void ThumbnailStrip::fill(int slot, const QString &path, const Picture &header)
{
    picture(slot)->setPicture(header);
    caption(slot)->setText(path);
    nameSlot(slot, path);
    if (header.isEmpty()) {
        cancelThumbnail(slot);
    } else {
        requestThumbnail(slot);
    }
}

void ThumbnailStrip::empty(int slot)
{
    cancelThumbnail(slot);
    picture(slot)->clearPicture();
    caption(slot)->setText(QString());
    nameSlot(slot, QString());
}

void ThumbnailStrip::clear()
{
    for (int i = 0; i < kSlotCount; ++i) {
        empty(i);
        setHighlighted(i, false);
    }
}

void ThumbnailStrip::rename(int slot, const QString &newName)
{
    caption(slot)->setText(newName);
    nameSlot(slot, newName);
    // The slot keeps its picture, now under the new name; a decode still on its way was asked
    // for under the old one and is asked for again.
    Picture held = picture(slot)->picture();
    held.file = newName;
    picture(slot)->setPicture(held);
    if (m_tickets[std::size_t(slot)]) {
        requestThumbnail(slot);
    }
}

void ThumbnailStrip::setHighlighted(int slot, bool highlighted)
{
    caption(slot)->setBackground(
        palette::color(highlighted ? palette::kHighlight : palette::kPlain));
}

void ThumbnailStrip::highlightShowing(
    const SlotRing &ring, const QString &current, Qt::CaseSensitivity rule, int count)
{
    for (int i = 0; i < count && i < kSlotCount; ++i) {
        const QString file = ring.file(i);
        if (!paths::same(file, current, rule)) {
            setHighlighted(i, false);
        } else if (!file.isEmpty()) {
            setHighlighted(i, true);
        }
    }
}

void ThumbnailStrip::highlightOnly(const SlotRing &ring, int slot)
{
    for (int i = 0; i < kSlotCount; ++i) {
        setHighlighted(i, i == slot && !ring.file(i).isEmpty());
    }
}

std::optional<double> ThumbnailStrip::fit(
    int slot, const QSizeF &pictureTwips, const QRectF &reference, const QRectF &box)
{
    const float width = float(pictureTwips.width());
    const float height = float(pictureTwips.height());
    const auto d = fit::divisor(width, height, float(reference.width()), float(reference.height()));
    if (d) {
        ImageBox *target = picture(slot);
        const QRectF fitted = fit::fitSlot(controls::twipRect(target, m_tpp), width, height, *d);
        controls::setTwipRect(target, fit::withinSlot(fitted, box), m_tpp);
    }
    return d;
}

void ThumbnailStrip::refit(
    const SlotRing &ring, const QRectF &reference, const std::function<QRectF(int)> &boxOf)
{
    for (int i = 0; i < kSlotCount; ++i) {
        const Picture &held = picture(i)->picture();
        if (ring.file(i).size() >= 2 && !held.isEmpty()) {
            fit(i, held.sizeTwips(m_tpp), reference, boxOf(i));
        }
    }
}

void ThumbnailStrip::scheduleSharpening()
{
    m_sharpenTimer->start();
}

void ThumbnailStrip::requestThumbnail(int slot)
{
    ImageBox *box = picture(slot);
    cancelThumbnail(slot);
    const qreal ratio = box->devicePixelRatioF();
    const QSize target(std::max(1, int(std::ceil(box->width() * ratio))),
        std::max(1, int(std::ceil(box->height() * ratio))));
    m_tickets[std::size_t(slot)]
        = m_decoder->request(pictures::DecodeRequest::within(box->picture().file, target));
}

void ThumbnailStrip::cancelThumbnail(int slot)
{
    int &ticket = m_tickets[std::size_t(slot)];
    if (ticket) {
        m_decoder->cancel(ticket);
        ticket = 0;
    }
}

void ThumbnailStrip::decoded(int ticket, const pictures::LoadResult &result)
{
    for (int i = 0; i < kSlotCount; ++i) {
        if (m_tickets[std::size_t(i)] != ticket) {
            continue;
        }
        m_tickets[std::size_t(i)] = 0;
        // The slot may have been emptied or filled again while the decode ran.
        if (result.ok() && result.picture.file == picture(i)->picture().file) {
            picture(i)->setPicture(result.picture);
        }
        return;
    }
}

void ThumbnailStrip::sharpen()
{
    for (int i = 0; i < kSlotCount; ++i) {
        const Picture &held = picture(i)->picture();
        if (held.image.isNull() || m_tickets[std::size_t(i)]) {
            continue;
        }
        const QSize heldSize = held.image.size();
        const QSize shown = picture(i)->size() * picture(i)->devicePixelRatioF();
        const bool smallerThanShown
            = shown.width() > heldSize.width() + 1 || shown.height() > heldSize.height() + 1;
        const bool moreToHave = heldSize.width() < held.naturalSize.width();
        if (smallerThanShown && moreToHave) {
            requestThumbnail(i);
        }
    }
}

void ThumbnailStrip::waitForThumbnails()
{
    m_decoder->waitUntilIdle();
}
