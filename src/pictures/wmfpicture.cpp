#include "wmfpicture.h"

#include "wmffile.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QHash>
#include <QImageReader>
#include <QMutex>
#include <QPainter>
#include <QPainterPath>
#include <QStringDecoder>
#include <QTransform>
#include <QtEndian>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include <libwmf/api.h>
#include <libwmf/ipa.h>

namespace pictures::wmf {

namespace {

    // Pixels per inch of the screen the natural size is given for; twips per pixel (15) assumes it.
    constexpr int kScreenDpi = 96;
    // A metafile larger than this is not a picture anyone drew by hand; refusing it bounds the
    // memory held for the file and the time spent walking it.
    constexpr qsizetype kMaxMetafileBytes = 64 * 1024 * 1024;
    // All that libwmf may allocate while reading one picture (records, objects, regions).
    constexpr size_t kMaxLibraryBytes = 256u * 1024 * 1024;
    // Records libwmf cannot play are blanked out and the picture read again, this many times at
    // most; Windows skips such records too, while a file with more of them is damaged.
    constexpr int kMaxDroppedRecords = 16;
    // Largest bitmap embedded in a metafile that is decoded (pixels).
    constexpr qint64 kMaxBitmapPixels = 16LL * 1024 * 1024;

    // Constants of the metafile format, named as the format names them.
    enum : unsigned {
        PS_NULL = 5,
        PS_STYLE_MASK = 0x000F,
        PS_ENDCAP_MASK = 0x0F00,
        PS_ENDCAP_SQUARE = 0x0100,
        PS_ENDCAP_FLAT = 0x0200,
        PS_JOIN_MASK = 0xF000,
        PS_JOIN_BEVEL = 0x1000,
        PS_JOIN_MITER = 0x2000,
        BS_SOLID = 0,
        BS_NULL = 1,
        BS_HATCHED = 2,
        BS_PATTERN = 3,
        BS_DIBPATTERN = 5,
        BS_DIBPATTERNPT = 6,
        OPAQUE = 2,
        WINDING = 2,
        R2_NOP = 11,
        SHIFTJIS_CHARSET = 128,
    };
    enum : U32 {
        SRCCOPY = 0x00CC0020,
        SRCPAINT = 0x00EE0086,
        SRCAND = 0x008800C6,
        SRCINVERT = 0x00660046,
        NOTSRCCOPY = 0x00330008,
        PATCOPY = 0x00F00021,
        PATINVERT = 0x005A0049,
        DSTINVERT = 0x00550009,
        BLACKNESS = 0x00000042,
        WHITENESS = 0x00FF0062,
    };

    // libwmf keeps global state in its font and player code; one picture is played at a time.
    QMutex s_libraryMutex;

    // Memory handed to libwmf comes out of a fixed budget, so no record can make it allocate
    // without bound; each block carries its size so frees and reallocations can be accounted.
    struct Budget
    {
        size_t used = 0;
        // Every block handed out and not yet freed, with its size: libwmf can leave a device
        // context pointing at an object slot since reused for another kind of object, so a pointer
        // read from its structures is used only when it is the start of a block it really holds.
        QHash<const void *, size_t> blocks;
    };

    struct alignas(std::max_align_t) BlockHeader
    {
        size_t size;
    };

    void *budgetMalloc(void *context, size_t size)
    {
        auto *budget = static_cast<Budget *>(context);
        if (size > kMaxLibraryBytes - budget->used) {
            return nullptr;
        }
        // Zeroed: libwmf leaves fields of its objects unset when a record is short (a font's face
        // name, for one) and reads them later; zero is the one value it and we can check.
        auto *block = static_cast<BlockHeader *>(std::calloc(1, sizeof(BlockHeader) + size));
        if (!block) {
            return nullptr;
        }
        block->size = size;
        budget->used += size;
        budget->blocks.insert(block + 1, size);
        return block + 1;
    }

    void budgetFree(void *context, void *memory)
    {
        if (!memory) {
            return;
        }
        auto *budget = static_cast<Budget *>(context);
        auto *block = static_cast<BlockHeader *>(memory) - 1;
        budget->used -= block->size;
        budget->blocks.remove(memory);
        std::free(block);
    }

    void *budgetRealloc(void *context, void *memory, size_t size)
    {
        if (!memory) {
            return budgetMalloc(context, size);
        }
        auto *budget = static_cast<Budget *>(context);
        auto *block = static_cast<BlockHeader *>(memory) - 1;
        const size_t old = block->size;
        if (size > old && size - old > kMaxLibraryBytes - budget->used) {
            return nullptr;
        }
        auto *grown = static_cast<BlockHeader *>(std::realloc(block, sizeof(BlockHeader) + size));
        if (!grown) {
            return nullptr;
        }
        if (size > old) {
            std::memset(reinterpret_cast<char *>(grown + 1) + old, 0, size - old);
        }
        grown->size = size;
        budget->used = budget->used - old + size;
        budget->blocks.remove(memory);
        budget->blocks.insert(grown + 1, size);
        return grown + 1;
    }

    // The metafile as libwmf reads it, byte by byte; `furthest` tells which record it was reading
    // when it gave up.
    struct Input
    {
        QByteArray data;
        long position = 0;
        long furthest = 0;
    };

    int inputRead(void *context)
    {
        auto *input = static_cast<Input *>(context);
        if (input->position >= input->data.size()) {
            return EOF;
        }
        const int byte = static_cast<unsigned char>(input->data.at(input->position));
        ++input->position;
        input->furthest = qMax(input->furthest, input->position);
        return byte;
    }

    int inputSeek(void *context, long position)
    {
        auto *input = static_cast<Input *>(context);
        if (position < 0 || position > input->data.size()) {
            return -1;
        }
        input->position = position;
        return 0;
    }

    long inputTell(void *context)
    {
        return static_cast<Input *>(context)->position;
    }

    bool isFinite(const wmfD_Coord &point)
    {
        return std::isfinite(point.x) && std::isfinite(point.y);
    }

    QPointF toPoint(const wmfD_Coord &point)
    {
        return QPointF(point.x, point.y);
    }

    QColor toColor(const wmfRGB &rgb)
    {
        return QColor(rgb.r, rgb.g, rgb.b);
    }

    // Where libwmf's drawing calls end up: a QImage with a painter whose world transform maps
    // libwmf's device coordinates onto the image.
    struct Canvas
    {
        QImage image;
        QPainter painter;
        bool placeable = false;
        QRectF bounds; // the drawn area libwmf found while scanning, device coordinates
        bool mapped = false;
        QTransform toImage;
        bool drawsText = false;
        const Budget *budget = nullptr; // libwmf's memory, for checking pointers it hands over
        QList<QImage *> bitmaps; // decoded embedded bitmaps not yet freed by libwmf

        ~Canvas() { qDeleteAll(bitmaps); }

        // The mapping is known at the first drawing call, when libwmf hands over the window of the
        // device context. A placeable picture shows the window in effect (its header box unless the
        // file sets its own) across the whole image, as the platform's picture object drew it; a
        // picture without that header has no box of its own, so what it draws fills the image.
        bool map(const wmfDC *dc)
        {
            if (mapped) {
                return true;
            }
            mapped = true;
            QRectF frame = bounds;
            if (placeable && dc) {
                const double width = std::abs(double(dc->Window.width) * dc->pixel_width);
                const double height = std::abs(double(dc->Window.height) * dc->pixel_height);
                if (std::isfinite(width) && std::isfinite(height) && width > 0 && height > 0) {
                    frame = QRectF(0, 0, width, height);
                }
            }
            if (!(frame.width() > 0) || !(frame.height() > 0)) {
                frame = QRectF(0, 0, 1, 1);
            }
            const double sx = image.width() / frame.width();
            const double sy = image.height() / frame.height();
            toImage = QTransform(sx, 0, 0, sy, -frame.left() * sx, -frame.top() * sy);
            painter.setWorldTransform(toImage);
            return true;
        }

        double scale() const { return std::sqrt(std::abs(toImage.determinant())); }

        // Patterns and hatches keep their size in image pixels, whatever the mapping.
        QTransform patternTransform() const
        {
            const double sx = toImage.m11();
            const double sy = toImage.m22();
            return sx != 0 && sy != 0 ? QTransform::fromScale(1 / sx, 1 / sy) : QTransform();
        }

        QPen pen(const wmfDC *dc) const
        {
            const wmfPen *source = dc->pen;
            if (!source || (source->lopnStyle & PS_STYLE_MASK) == PS_NULL) {
                return Qt::NoPen;
            }
            QPen pen(toColor(source->lopnColor));
            // A width under one pixel is the thinnest line the device draws (a width of 0 in the
            // file means exactly that).
            const double width = std::abs(source->width);
            pen.setWidthF(std::isfinite(width) && width * scale() >= 1.0 ? width : 0.0);
            switch (source->lopnStyle & PS_STYLE_MASK) {
            case 1:
                pen.setStyle(Qt::DashLine);
                break;
            case 2:
                pen.setStyle(Qt::DotLine);
                break;
            case 3:
                pen.setStyle(Qt::DashDotLine);
                break;
            case 4:
                pen.setStyle(Qt::DashDotDotLine);
                break;
            default:
                pen.setStyle(Qt::SolidLine);
                break;
            }
            switch (source->lopnStyle & PS_ENDCAP_MASK) {
            case PS_ENDCAP_SQUARE:
                pen.setCapStyle(Qt::SquareCap);
                break;
            case PS_ENDCAP_FLAT:
                pen.setCapStyle(Qt::FlatCap);
                break;
            default:
                pen.setCapStyle(Qt::RoundCap);
                break;
            }
            switch (source->lopnStyle & PS_JOIN_MASK) {
            case PS_JOIN_BEVEL:
                pen.setJoinStyle(Qt::BevelJoin);
                break;
            case PS_JOIN_MITER:
                pen.setJoinStyle(Qt::MiterJoin);
                break;
            default:
                pen.setJoinStyle(Qt::RoundJoin);
                break;
            }
            return pen;
        }

        QBrush brush(const wmfDC *dc) const
        {
            const wmfBrush *source = dc->brush;
            if (!source) {
                return Qt::NoBrush;
            }
            const QColor color = toColor(source->lbColor);
            switch (source->lbStyle) {
            case BS_NULL:
                return Qt::NoBrush;
            case BS_HATCHED: {
                static constexpr Qt::BrushStyle hatches[] = { Qt::HorPattern, Qt::VerPattern,
                    Qt::FDiagPattern, Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern };
                QBrush brush(
                    color, source->lbHatch < 6 ? hatches[source->lbHatch] : Qt::SolidPattern);
                brush.setTransform(patternTransform());
                return brush;
            }
            case BS_PATTERN:
            case BS_DIBPATTERN:
            case BS_DIBPATTERNPT:
                // libwmf leaves other data in a brush's bitmap than what bmp_read gave it (a
                // pattern brush made from a device-dependent bitmap); only a bitmap decoded here is
                // a QImage.
                if (const auto *pattern = static_cast<const QImage *>(source->bmp.data);
                    pattern && bitmaps.contains(pattern)) {
                    QBrush brush(*pattern);
                    brush.setTransform(patternTransform());
                    return brush;
                }
                return QBrush(color);
            case BS_SOLID:
            default:
                return QBrush(color);
            }
        }

        bool skips(const wmfDC *dc) const
        {
            return image.isNull() || !painter.isActive() || dc->ROPmode == R2_NOP;
        }

        // Fills and outlines a closed shape as the device context says: a hatch on an opaque
        // background gets the background colour behind it.
        void shape(const wmfDC *dc, const QPainterPath &path, bool fill = true)
        {
            if (fill) {
                const QBrush brush = this->brush(dc);
                if (brush.style() != Qt::NoBrush) {
                    if (dc->brush && dc->brush->lbStyle == BS_HATCHED && dc->bgmode == OPAQUE) {
                        painter.fillPath(path, toColor(dc->bgcolor));
                    }
                    painter.fillPath(path, brush);
                }
            }
            const QPen pen = this->pen(dc);
            if (pen.style() != Qt::NoPen) {
                painter.strokePath(path, pen);
            }
        }
    };

    Canvas *canvasOf(wmfAPI *api)
    {
        return static_cast<Canvas *>(api->device_data);
    }

    Canvas *drawingCanvas(wmfAPI *api, const wmfDC *dc)
    {
        Canvas *canvas = canvasOf(api);
        if (!canvas || !dc || canvas->skips(dc) || !canvas->map(dc)) {
            return nullptr;
        }
        return canvas;
    }

    void deviceBegin(wmfAPI *api)
    {
        Canvas *canvas = canvasOf(api);
        if (canvas && !canvas->image.isNull() && !canvas->painter.isActive()) {
            canvas->painter.begin(&canvas->image);
            canvas->painter.setRenderHint(QPainter::Antialiasing);
            canvas->painter.setRenderHint(QPainter::SmoothPixmapTransform);
            canvas->painter.setRenderHint(QPainter::TextAntialiasing);
        }
    }

    void deviceEnd(wmfAPI *api)
    {
        Canvas *canvas = canvasOf(api);
        if (canvas && canvas->painter.isActive()) {
            canvas->painter.end();
        }
    }

    void drawPixel(wmfAPI *api, wmfDrawPixel_t *pixel)
    {
        Canvas *canvas = drawingCanvas(api, pixel->dc);
        if (!canvas || !isFinite(pixel->pt)) {
            return;
        }
        const QRectF rect(toPoint(pixel->pt), QSizeF(pixel->pixel_width, pixel->pixel_height));
        canvas->painter.fillRect(rect.normalized(), toColor(pixel->color));
    }

    // The box of an ellipse and its start and end points as Qt's angles: the point where the line
    // from the centre through each given point meets the ellipse, counter-clockwise on screen.
    struct ArcAngles
    {
        QRectF box;
        double start = 0;
        double sweep = 360;
    };

    std::optional<ArcAngles> arcAngles(const wmfDrawArc_t *arc)
    {
        if (!isFinite(arc->TL) || !isFinite(arc->BR) || !isFinite(arc->start)
            || !isFinite(arc->end)) {
            return std::nullopt;
        }
        ArcAngles angles;
        angles.box = QRectF(toPoint(arc->TL), toPoint(arc->BR)).normalized();
        if (angles.box.isEmpty()) {
            return std::nullopt;
        }
        const QPointF centre = angles.box.center();
        const double rx = angles.box.width() / 2;
        const double ry = angles.box.height() / 2;
        auto angleOf = [&](const wmfD_Coord &point) {
            return std::atan2(-(point.y - centre.y()) / ry, (point.x - centre.x()) / rx) * 180.0
                / std::numbers::pi;
        };
        angles.start = angleOf(arc->start);
        double sweep = angleOf(arc->end) - angles.start;
        while (sweep <= 0) {
            sweep += 360;
        }
        angles.sweep = sweep;
        return angles;
    }

    void drawArc(wmfAPI *api, wmfDrawArc_t *arc)
    {
        Canvas *canvas = drawingCanvas(api, arc->dc);
        const auto angles = arcAngles(arc);
        if (!canvas || !angles) {
            return;
        }
        QPainterPath path;
        path.arcMoveTo(angles->box, angles->start);
        path.arcTo(angles->box, angles->start, angles->sweep);
        canvas->shape(arc->dc, path, false);
    }

    void drawPie(wmfAPI *api, wmfDrawArc_t *arc)
    {
        Canvas *canvas = drawingCanvas(api, arc->dc);
        const auto angles = arcAngles(arc);
        if (!canvas || !angles) {
            return;
        }
        QPainterPath path(angles->box.center());
        path.arcTo(angles->box, angles->start, angles->sweep);
        path.closeSubpath();
        canvas->shape(arc->dc, path);
    }

    void drawChord(wmfAPI *api, wmfDrawArc_t *arc)
    {
        Canvas *canvas = drawingCanvas(api, arc->dc);
        const auto angles = arcAngles(arc);
        if (!canvas || !angles) {
            return;
        }
        QPainterPath path;
        path.arcMoveTo(angles->box, angles->start);
        path.arcTo(angles->box, angles->start, angles->sweep);
        path.closeSubpath();
        canvas->shape(arc->dc, path);
    }

    void drawEllipse(wmfAPI *api, wmfDrawArc_t *arc)
    {
        Canvas *canvas = drawingCanvas(api, arc->dc);
        if (!canvas || !isFinite(arc->TL) || !isFinite(arc->BR)) {
            return;
        }
        QPainterPath path;
        path.addEllipse(QRectF(toPoint(arc->TL), toPoint(arc->BR)).normalized());
        canvas->shape(arc->dc, path);
    }

    void drawLine(wmfAPI *api, wmfDrawLine_t *line)
    {
        Canvas *canvas = drawingCanvas(api, line->dc);
        if (!canvas || !isFinite(line->from) || !isFinite(line->to)) {
            return;
        }
        QPainterPath path(toPoint(line->from));
        path.lineTo(toPoint(line->to));
        canvas->shape(line->dc, path, false);
    }

    std::optional<QPolygonF> polygonOf(const wmfD_Coord *points, unsigned count)
    {
        if (!points || count < 2) {
            return std::nullopt;
        }
        QPolygonF polygon;
        polygon.reserve(count);
        for (unsigned i = 0; i < count; ++i) {
            if (!isFinite(points[i])) {
                return std::nullopt;
            }
            polygon.append(toPoint(points[i]));
        }
        return polygon;
    }

    void polyLine(wmfAPI *api, wmfPolyLine_t *line)
    {
        Canvas *canvas = drawingCanvas(api, line->dc);
        const auto polygon = polygonOf(line->pt, line->count);
        if (!canvas || !polygon) {
            return;
        }
        QPainterPath path;
        path.addPolygon(*polygon);
        canvas->shape(line->dc, path, false);
    }

    Qt::FillRule fillRule(const wmfDC *dc)
    {
        return dc->polyfillmode == WINDING ? Qt::WindingFill : Qt::OddEvenFill;
    }

    void drawPolygon(wmfAPI *api, wmfPolyLine_t *polygon)
    {
        Canvas *canvas = drawingCanvas(api, polygon->dc);
        const auto points = polygonOf(polygon->pt, polygon->count);
        if (!canvas || !points) {
            return;
        }
        QPainterPath path;
        path.setFillRule(fillRule(polygon->dc));
        path.addPolygon(*points);
        path.closeSubpath();
        canvas->shape(polygon->dc, path);
    }

    void drawPolyPolygon(wmfAPI *api, wmfPolyPoly_t *polygons)
    {
        Canvas *canvas = drawingCanvas(api, polygons->dc);
        if (!canvas || !polygons->pt || !polygons->count) {
            return;
        }
        QPainterPath path;
        path.setFillRule(fillRule(polygons->dc));
        for (unsigned i = 0; i < polygons->npoly; ++i) {
            if (const auto points = polygonOf(polygons->pt[i], polygons->count[i])) {
                path.addPolygon(*points);
                path.closeSubpath();
            }
        }
        canvas->shape(polygons->dc, path);
    }

    void drawRectangle(wmfAPI *api, wmfDrawRectangle_t *rectangle)
    {
        Canvas *canvas = drawingCanvas(api, rectangle->dc);
        if (!canvas || !isFinite(rectangle->TL) || !isFinite(rectangle->BR)) {
            return;
        }
        const QRectF rect = QRectF(toPoint(rectangle->TL), toPoint(rectangle->BR)).normalized();
        QPainterPath path;
        if (rectangle->width > 0 && rectangle->height > 0) {
            path.addRoundedRect(rect, rectangle->width / 2, rectangle->height / 2);
        } else {
            path.addRect(rect);
        }
        canvas->shape(rectangle->dc, path);
    }

    void ropDraw(wmfAPI *api, wmfROP_Draw_t *rop)
    {
        Canvas *canvas = drawingCanvas(api, rop->dc);
        if (!canvas || !isFinite(rop->TL) || !isFinite(rop->BR)) {
            return;
        }
        const QRectF rect = QRectF(toPoint(rop->TL), toPoint(rop->BR)).normalized();
        QPainter &painter = canvas->painter;
        switch (rop->ROP) {
        case PATCOPY:
            painter.fillRect(rect, canvas->brush(rop->dc));
            break;
        case BLACKNESS:
            painter.fillRect(rect, Qt::black);
            break;
        case WHITENESS:
            painter.fillRect(rect, Qt::white);
            break;
        case DSTINVERT:
        case PATINVERT:
            // Inverting needs opaque pixels underneath; difference with white (or the pattern) is
            // the same on them and leaves transparent parts alone.
            painter.save();
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
            painter.fillRect(
                rect, rop->ROP == DSTINVERT ? QBrush(Qt::white) : canvas->brush(rop->dc));
            painter.restore();
            break;
        default:
            break;
        }
    }

    // The embedded bitmaps are device-independent bitmaps without the file header; Qt's reader
    // gets one put in front, after the header's sizes were checked against the data.
    QImage decodeBitmap(const unsigned char *data, long length)
    {
        if (!data || length < 12) {
            return QImage();
        }
        const QByteArray dib(reinterpret_cast<const char *>(data), qsizetype(length));
        const quint32 headerSize = qFromLittleEndian<quint32>(dib.constData());
        qint64 width = 0;
        qint64 height = 0;
        int bitCount = 0;
        quint32 compression = 0;
        qint64 colours = 0;
        int colourBytes = 4;
        if (headerSize == 12) {
            width = qFromLittleEndian<quint16>(dib.constData() + 4);
            height = qFromLittleEndian<quint16>(dib.constData() + 6);
            bitCount = qFromLittleEndian<quint16>(dib.constData() + 10);
            colourBytes = 3;
        } else if (headerSize >= 40 && headerSize <= 124 && length >= 40) {
            width = qFromLittleEndian<qint32>(dib.constData() + 4);
            height = std::abs(qint64(qFromLittleEndian<qint32>(dib.constData() + 8)));
            bitCount = qFromLittleEndian<quint16>(dib.constData() + 14);
            compression = qFromLittleEndian<quint32>(dib.constData() + 16);
            colours = qFromLittleEndian<quint32>(dib.constData() + 32);
        } else {
            return QImage();
        }
        if (width <= 0 || height <= 0 || width > 0xFFFF || height > 0xFFFF
            || width * height > kMaxBitmapPixels) {
            return QImage();
        }
        if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24
            && bitCount != 32) {
            return QImage();
        }
        if (colours == 0 && bitCount <= 8) {
            colours = qint64(1) << bitCount;
        }
        if (colours > 256) {
            return QImage();
        }
        qint64 bitsOffset = headerSize + colours * colourBytes;
        if (headerSize == 40 && compression == 3) {
            bitsOffset += 12; // the three colour masks of a bit-field bitmap
        }
        // Uncompressed rows must all be there; compressed ones are checked by the decoder.
        if (compression == 0) {
            const qint64 stride = ((width * bitCount + 31) / 32) * 4;
            if (bitsOffset + stride * height > length) {
                return QImage();
            }
        }
        if (bitsOffset > length) {
            return QImage();
        }
        QByteArray file("BM");
        file.resize(14);
        qToLittleEndian<quint32>(quint32(14 + length), file.data() + 2);
        qToLittleEndian<quint32>(0, file.data() + 6);
        qToLittleEndian<quint32>(quint32(14 + bitsOffset), file.data() + 10);
        file.append(dib);
        QBuffer buffer(&file);
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "bmp");
        return reader.read();
    }

    void bmpRead(wmfAPI *api, wmfBMP_Read_t *read)
    {
        read->bmp.data = nullptr;
        Canvas *canvas = canvasOf(api);
        if (!canvas) {
            return;
        }
        QImage image = decodeBitmap(read->buffer, read->length);
        if (image.isNull()) {
            return;
        }
        auto *kept = new QImage(std::move(image));
        canvas->bitmaps.append(kept);
        read->bmp.width = static_cast<U16>(kept->width());
        read->bmp.height = static_cast<U16>(kept->height());
        read->bmp.data = kept;
    }

    void bmpFree(wmfAPI *api, wmfBMP *bmp)
    {
        Canvas *canvas = canvasOf(api);
        auto *image = static_cast<QImage *>(bmp->data);
        if (canvas && image && canvas->bitmaps.removeOne(image)) {
            delete image;
        }
        bmp->data = nullptr;
    }

    void bmpDraw(wmfAPI *api, wmfBMP_Draw_t *draw)
    {
        Canvas *canvas = drawingCanvas(api, draw->dc);
        const auto *bitmap = static_cast<const QImage *>(draw->bmp.data);
        if (!canvas || !bitmap || !canvas->bitmaps.contains(bitmap) || !isFinite(draw->pt)) {
            return;
        }
        const QRect source = QRect(draw->crop.x, draw->crop.y, draw->crop.w, draw->crop.h)
                                 .intersected(bitmap->rect());
        if (source.isEmpty() || !std::isfinite(draw->pixel_width)
            || !std::isfinite(draw->pixel_height)) {
            return;
        }
        const QSizeF size(source.width() * draw->pixel_width, source.height() * draw->pixel_height);
        QImage part = bitmap->copy(source);
        // Negative sizes mean the bitmap is drawn mirrored.
        part = part.mirrored(size.width() < 0, size.height() < 0);
        const QRectF target = QRectF(toPoint(draw->pt), size).normalized();
        QPainter &painter = canvas->painter;
        painter.save();
        switch (draw->type) {
        case SRCAND:
            painter.setCompositionMode(QPainter::CompositionMode_Multiply);
            break;
        case SRCPAINT:
            painter.setCompositionMode(QPainter::CompositionMode_Screen);
            break;
        case SRCINVERT:
            painter.setCompositionMode(QPainter::CompositionMode_Difference);
            break;
        case NOTSRCCOPY:
            part.invertPixels();
            break;
        default:
            break;
        }
        painter.drawImage(target, part);
        painter.restore();
    }

    QString textOf(const char *text, const wmfFont *font)
    {
        if (font && font->lfCharSet == SHIFTJIS_CHARSET) {
            QStringDecoder decoder("Shift_JIS");
            if (decoder.isValid()) {
                return decoder.decode(QByteArrayView(text, qsizetype(std::strlen(text))));
            }
        }
        // Text in the Western character set, which is what most metafiles carry.
        return QString::fromLatin1(text);
    }

    void drawText(wmfAPI *api, wmfDrawText_t *text)
    {
        Canvas *canvas = drawingCanvas(api, text->dc);
        // Drawing text needs Qt's font database, which exists only with a QGuiApplication.
        if (!canvas || !canvas->drawsText || !text->str || !isFinite(text->pt)) {
            return;
        }
        const double sy = std::abs(canvas->toImage.m22());
        const double sx = std::abs(canvas->toImage.m11());
        const double pixels = text->font_height * sy;
        if (!std::isfinite(pixels) || pixels < 1.0 || pixels > kMaxSide || sy == 0) {
            return;
        }
        const wmfFont *source = text->dc->font;
        QString family = QStringLiteral("Helvetica");
        if (source && source->lfFaceName && canvas->budget) {
            const size_t size = canvas->budget->blocks.value(source->lfFaceName, 0);
            if (size > 0) {
                family = QString::fromLatin1(
                    source->lfFaceName, qsizetype(strnlen(source->lfFaceName, size)));
            }
        }
        QFont font(family);
        font.setPixelSize(qMax(1, qRound(pixels)));
        if (source) {
            font.setWeight(
                QFont::Weight(qBound(1, int(source->lfWeight ? source->lfWeight : 400), 1000)));
            font.setItalic(source->lfItalic);
            font.setUnderline(source->lfUnderline);
            font.setStrikeOut(source->lfStrikeOut);
        }
        QPainter &painter = canvas->painter;
        if (text->dc->bgmode == OPAQUE) {
            QPolygonF box;
            for (const wmfD_Coord &corner :
                { text->bbox.TL, text->bbox.TR, text->bbox.BR, text->bbox.BL }) {
                box.append(toPoint(corner));
            }
            QPainterPath path;
            path.addPolygon(box);
            painter.fillPath(path, toColor(text->dc->bgcolor));
        }
        painter.save();
        painter.setWorldTransform(QTransform());
        painter.translate(canvas->toImage.map(toPoint(text->pt)));
        if (source && source->lfEscapement != 0) {
            painter.rotate(-source->lfEscapement / 10.0);
        }
        const QString string = textOf(text->str, source);
        // libwmf placed and aligned the text by the widths of its own fonts; stretching Qt's
        // rendering to that width keeps centred and right-aligned text where the file put it.
        double stretch = sx / sy;
        const auto *fonts = static_cast<const wmfFontData *>(api->font_data);
        const double advance = QFontMetricsF(font).horizontalAdvance(string);
        if (source && fonts && fonts->stringwidth && advance > 0) {
            const double width = double(fonts->stringwidth(api, text->dc->font, text->str))
                * text->font_height * sx;
            if (std::isfinite(width) && width > 0) {
                stretch = width / advance;
            }
        }
        painter.scale(qBound(0.05, stretch, 20.0), 1.0);
        painter.setFont(font);
        painter.setPen(toColor(text->dc->textcolor));
        painter.drawText(QPointF(0, 0), string);
        painter.restore();
    }

    QPainterPath rectanglesPath(const wmfPolyRectangle_t *rectangles)
    {
        QPainterPath path;
        for (unsigned i = 0; i < rectangles->count; ++i) {
            if (isFinite(rectangles->TL[i]) && isFinite(rectangles->BR[i])) {
                path.addRect(
                    QRectF(toPoint(rectangles->TL[i]), toPoint(rectangles->BR[i])).normalized());
            }
        }
        return path;
    }

    void regionPaint(wmfAPI *api, wmfPolyRectangle_t *rectangles)
    {
        Canvas *canvas = drawingCanvas(api, rectangles->dc);
        if (!canvas || !rectangles->TL || !rectangles->BR) {
            return;
        }
        canvas->painter.fillPath(rectanglesPath(rectangles), canvas->brush(rectangles->dc));
    }

    void regionFrame(wmfAPI *api, wmfPolyRectangle_t *rectangles)
    {
        Canvas *canvas = drawingCanvas(api, rectangles->dc);
        if (!canvas || !rectangles->TL || !rectangles->BR) {
            return;
        }
        const double w = rectangles->width;
        const double h = rectangles->height;
        QPainterPath frame;
        for (unsigned i = 0; i < rectangles->count; ++i) {
            if (!isFinite(rectangles->TL[i]) || !isFinite(rectangles->BR[i])) {
                continue;
            }
            const QRectF rect
                = QRectF(toPoint(rectangles->TL[i]), toPoint(rectangles->BR[i])).normalized();
            frame.addRect(rect);
            frame.addRect(rect.adjusted(w, h, -w, -h));
        }
        canvas->painter.fillPath(frame, canvas->brush(rectangles->dc));
    }

    void regionClip(wmfAPI *api, wmfPolyRectangle_t *rectangles)
    {
        Canvas *canvas = canvasOf(api);
        if (!canvas || !canvas->painter.isActive() || !canvas->map(rectangles->dc)) {
            return;
        }
        if (rectangles->count == 0 || !rectangles->TL || !rectangles->BR) {
            canvas->painter.setClipping(false);
            return;
        }
        canvas->painter.setClipPath(rectanglesPath(rectangles));
    }

    void installDevice(wmfAPI *api)
    {
        auto *functions = static_cast<wmfFunctionReference *>(api->function_reference);
        functions->device_begin = deviceBegin;
        functions->device_end = deviceEnd;
        functions->draw_pixel = drawPixel;
        functions->draw_pie = drawPie;
        functions->draw_chord = drawChord;
        functions->draw_arc = drawArc;
        functions->draw_ellipse = drawEllipse;
        functions->draw_line = drawLine;
        functions->poly_line = polyLine;
        functions->draw_polygon = drawPolygon;
        functions->draw_polypolygon = drawPolyPolygon;
        functions->draw_rectangle = drawRectangle;
        functions->rop_draw = ropDraw;
        functions->bmp_draw = bmpDraw;
        functions->bmp_read = bmpRead;
        functions->bmp_free = bmpFree;
        functions->draw_text = drawText;
        functions->region_frame = regionFrame;
        functions->region_paint = regionPaint;
        functions->region_clip = regionClip;
        // Flood fills are left undone: they depend on the exact colours of pixels already drawn,
        // which antialiased drawing does not reproduce, and the pictures people keep rarely use
        // them. The remaining entries (device open/close, user data) have nothing to do here.
    }

    // One reading of a metafile by libwmf, destroyed with everything libwmf allocated whichever
    // way the reading ends.
    class Session
    {
    public:
        explicit Session(QByteArray data, Canvas *canvas)
        {
            m_input.data = std::move(data);
            wmfAPI_Options options {};
            options.context = &m_budget;
            options.malloc = budgetMalloc;
            options.realloc = budgetRealloc;
            options.free = budgetFree;
            options.function = installDevice;
            // Fonts come from the library's built-in list (the URW base-35 fonts); without them it
            // cannot measure text and refuses to start.
            const unsigned long flags = WMF_OPT_ALLOC | WMF_OPT_FUNCTION | WMF_OPT_IGNORE_NONFATAL
                | WMF_OPT_NO_ERROR | WMF_OPT_NO_DEBUG;
            if (wmf_api_create(&m_api, flags, &options) != wmf_E_None) {
                m_api = nullptr;
                return;
            }
            m_api->device_data = canvas;
            canvas->budget = &m_budget;
            if (wmf_bbuf_input(m_api, inputRead, inputSeek, inputTell, &m_input) != wmf_E_None) {
                wmf_api_destroy(m_api);
                m_api = nullptr;
            }
        }
        ~Session()
        {
            if (m_api) {
                wmf_api_destroy(m_api);
            }
        }
        Session(const Session &) = delete;
        Session &operator=(const Session &) = delete;

        wmfAPI *api() const { return m_api; }
        const Input &input() const { return m_input; }

    private:
        Budget m_budget;
        Input m_input;
        wmfAPI *m_api = nullptr;
    };



} // namespace

LoadResult decode(const QByteArray &bytes, const QSize &target, bool pixels)
{
    if (bytes.size() > kMaxMetafileBytes) {
        return failedLoad(Failure::TooLarge, QStringLiteral("The metafile is too large."));
    }
    QString why;
    const std::optional<Layout> layout = walk(bytes, &why);
    if (!layout) {
        return failedLoad(Failure::NotAPicture, why);
    }
    QSize natural;
    if (layout->placeable) {
        // Without units per inch the picture has no size at all (libwmf would make its box
        // infinite), and a tiny unit count asks for an enormous image: both are refused here,
        // before libwmf sees the file.
        if (layout->placeable->inch == 0) {
            return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile gives no scale."));
        }
        natural = placeableSize(*layout->placeable, kScreenDpi);
        if (exceedsLimits(natural)) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        if (natural.isEmpty()) {
            return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile has no size."));
        }
    }

    QMutexLocker lock(&s_libraryMutex);
    QList<int> dropped;
    for (;;) {
        Canvas canvas;
        canvas.placeable = layout->placeable.has_value();
        const QByteArray data = sanitized(bytes, *layout, dropped);
        Session session(data, &canvas);
        if (!session.api()) {
            return failedLoad(
                Failure::Unreadable, QStringLiteral("The metafile reader could not start."));
        }
        // A record libwmf gives up on is blanked out and the whole file read again.
        auto retry = [&]() {
            const int record = recordAt(*layout, session.input().furthest - 1, data.size());
            if (record < 0 || dropped.contains(record) || dropped.size() >= kMaxDroppedRecords) {
                return false;
            }
            dropped.append(record);
            return true;
        };
        wmfD_Rect box {};
        if (wmf_scan(session.api(), 0, &box) != wmf_E_None) {
            if (retry()) {
                continue;
            }
            return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile is damaged."));
        }
        if (!isFinite(box.TL) || !isFinite(box.BR)) {
            return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile has no size."));
        }
        canvas.bounds = QRectF(toPoint(box.TL), toPoint(box.BR)).normalized();
        if (!layout->placeable) {
            // wmf_display_size converts a float to unsigned: keep it to values that fit.
            const double extent = qMax(canvas.bounds.width(), canvas.bounds.height());
            if (!(extent < 1e7)) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
            }
            unsigned width = 0;
            unsigned height = 0;
            wmf_display_size(session.api(), &width, &height, kScreenDpi, kScreenDpi);
            if (width > unsigned(kMaxSide) || height > unsigned(kMaxSide)) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
            }
            natural = QSize(int(width), int(height));
            if (exceedsLimits(natural)) {
                return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
            }
            if (natural.isEmpty()) {
                return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile draws nothing."));
            }
        }
        LoadResult result;
        result.picture.naturalSize = natural;
        if (!pixels) {
            return result;
        }
        QSize size = natural;
        if (target.isValid() && !target.isEmpty()) {
            size = natural.scaled(target, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
        }
        if (exceedsLimits(size)) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        canvas.image = QImage(size, QImage::Format_ARGB32_Premultiplied);
        if (canvas.image.isNull()) {
            return failedLoad(Failure::TooLarge, QStringLiteral("Not enough memory for the picture."));
        }
        // The platform drew metafiles over whatever was behind them.
        canvas.image.fill(Qt::transparent);
        canvas.drawsText = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        const wmf_error_t played = wmf_play(session.api(), 0, &box);
        if (canvas.painter.isActive()) {
            canvas.painter.end();
        }
        if (played != wmf_E_None) {
            if (retry()) {
                continue;
            }
            return failedLoad(Failure::NotAPicture, QStringLiteral("The metafile is damaged."));
        }
        result.picture.image = std::move(canvas.image);
        return result;
    }
}

} // namespace pictures::wmf
