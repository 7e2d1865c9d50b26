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

#include <fontconfig/fontconfig.h>
#include <libwmf/api.h>
#include <libwmf/ipa.h>

namespace pictures::wmf {

namespace {

    // Pixels per inch of the screen the natural size is given for; twips per pixel (15) assumes it.
    constexpr int kScreenDpi = 96;
    // All that libwmf may allocate while reading one picture (records, objects, regions).
    constexpr size_t kMaxLibraryBytes = 256u * 1024 * 1024;
    // Records libwmf cannot play are blanked out and the picture read again, this many times at
    // most; Windows skips such records too, while a file with more of them is damaged.
    constexpr int kMaxDroppedRecords = 16;
    // Largest bitmap embedded in a metafile that is decoded (pixels).
    constexpr qint64 kMaxBitmapPixels = 16LL * 1024 * 1024;

    // The most pixels one drawing of a picture gets without a size asked for (the whole picture
    // at its own size, or the part a viewport shows), and with one (a thumbnail, a zoom step).
    // A larger picture is drawn smaller, its natural size unchanged: a few bytes of records may
    // claim any size, and only what is shown is worth memory.
    constexpr qint64 kMaxDrawnPixels = 4096LL * 2048;
    constexpr qint64 kMaxScaledPixels = 32LL * 1024 * 1024;

    // `size` shrunk (aspect kept) to at most `pixels` pixels.
    QSize withinPixels(const QSize &size, qint64 pixels)
    {
        const qint64 area = qint64(size.width()) * size.height();
        if (area <= pixels) {
            return size.expandedTo(QSize(1, 1));
        }
        const double factor = std::sqrt(double(pixels) / double(area));
        return QSize(int(size.width() * factor), int(size.height() * factor))
            .expandedTo(QSize(1, 1));
    }

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
        ANSI_CHARSET = 0,
        DEFAULT_CHARSET = 1,
        SYMBOL_CHARSET = 2,
        SHIFTJIS_CHARSET = 128,
        TA_UPDATECP = 1,
        TA_RIGHT = 2,
        TA_CENTER = 6,
        TA_BOTTOM = 8,
        TA_BASELINE = 24,
        ETO_OPAQUE = 2,
        ETO_CLIPPED = 4,
        META_LINETO = 0x0213,
        META_MOVETO = 0x0214,
        META_CREATEFONTINDIRECT = 0x02FB,
        META_TEXTOUT = 0x0521,
        META_EXTTEXTOUT = 0x0A32,
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

    struct LogFont
    {
        int height = 0;
        int width = 0;
    };

    // Where libwmf's drawing calls end up: a QImage with a painter whose world transform maps
    // libwmf's device coordinates onto the image.
    struct Canvas
    {
        QImage image; // the `part` of the picture drawn at `drawnSize`
        QSize drawnSize;
        QRect part;
        QPainter painter;
        bool placeable = false;
        QRectF bounds; // the drawn area libwmf found while scanning, device coordinates
        bool mapped = false;
        QTransform toImage;
        bool drawsText = false;
        const Budget *budget = nullptr; // libwmf's memory, for checking pointers it hands over
        QList<QImage *> bitmaps; // decoded embedded bitmaps not yet freed by libwmf
        // The file as libwmf reads it, to find the record being played and read text records
        // whole.
        const Input *input = nullptr;
        const Layout *layout = nullptr;
        // The logical font as the file wrote it, for each font libwmf made. libwmf keeps only the
        // magnitudes and fills a width of zero with the height, losing what the signs and the zero
        // mean: a negative height is the character height, a positive one the cell height, and a
        // zero width the face's own proportions.
        QHash<const wmfFont *, LogFont> fonts;
        wmfMap libraryMap = nullptr;
        int lastTextRecord = -1;
        // The current position for text aligned to it (logical units), and the last record
        // looked at for moves.
        QPointF currentPoint;
        int movesFollowed = -1;
        QList<QRectF> *textRuns = nullptr; // where each text run went, image pixels

        int currentRecord() const
        {
            if (!input || !layout || input->position <= 0) {
                return -1;
            }
            return recordAt(*layout, input->position - 1, input->data.size());
        }

        // Moves the current position along the MoveTo and LineTo records played before `index`.
        void followCurrentPoint(int index)
        {
            for (int i = movesFollowed + 1; i < index && i < layout->records.size(); ++i) {
                const qsizetype at = layout->records.at(i);
                const quint16 function
                    = qFromLittleEndian<quint16>(input->data.constData() + at + 4);
                if ((function == META_MOVETO || function == META_LINETO)
                    && qFromLittleEndian<quint32>(input->data.constData() + at) >= 5) {
                    currentPoint
                        = QPointF(qFromLittleEndian<qint16>(input->data.constData() + at + 8),
                            qFromLittleEndian<qint16>(input->data.constData() + at + 6));
                }
            }
            movesFollowed = qMax(movesFollowed, index);
        }

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
                    // A drawing as large as the box or smaller, placed partly outside it, was
                    // written against another origin than the box's: the platform's player fitted
                    // such pictures by what they draw, so the box moves over the drawing.
                    if (!bounds.isEmpty() && !frame.contains(bounds)
                        && bounds.width() <= width * 1.001 && bounds.height() <= height * 1.001) {
                        frame.moveLeft(qBound(bounds.right() - width, 0.0, bounds.left()));
                        frame.moveTop(qBound(bounds.bottom() - height, 0.0, bounds.top()));
                    }
                }
            }
            if (!(frame.width() > 0) || !(frame.height() > 0)) {
                frame = QRectF(0, 0, 1, 1);
            }
            const double sx = drawnSize.width() / frame.width();
            const double sy = drawnSize.height() / frame.height();
            toImage = QTransform(
                sx, 0, 0, sy, -frame.left() * sx - part.x(), -frame.top() * sy - part.y());
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

    // A text record as written: where it starts (logical units), its bytes, the ExtTextOut options
    // and rectangle and the advance of each byte.
    struct TextRecord
    {
        QPointF reference;
        QByteArray bytes;
        quint16 options = 0;
        std::optional<QRectF> rect;
        QList<int> advances;
    };

    qint16 s16(const QByteArray &bytes, qsizetype at)
    {
        return qFromLittleEndian<qint16>(bytes.constData() + at);
    }

    std::optional<TextRecord> textRecord(const QByteArray &data, qsizetype at)
    {
        if (at < 0 || data.size() - at < 6) {
            return std::nullopt;
        }
        const qint64 words = qFromLittleEndian<quint32>(data.constData() + at);
        const quint16 function = qFromLittleEndian<quint16>(data.constData() + at + 4);
        const qsizetype end = at + qsizetype(qMin<qint64>(words * 2, data.size() - at));
        const qsizetype params = at + 6;
        TextRecord record;
        if (function == META_TEXTOUT) {
            if (end - params < 2) {
                return std::nullopt;
            }
            const int count = s16(data, params);
            const qsizetype text = params + 2;
            const qsizetype after = text + count + (count & 1);
            if (count < 0 || after + 4 > end) {
                return std::nullopt;
            }
            record.bytes = data.mid(text, count);
            record.reference = QPointF(s16(data, after + 2), s16(data, after));
            return record;
        }
        if (function != META_EXTTEXTOUT || end - params < 8) {
            return std::nullopt;
        }
        record.reference = QPointF(s16(data, params + 2), s16(data, params));
        const int count = s16(data, params + 4);
        record.options = qFromLittleEndian<quint16>(data.constData() + params + 6);
        qsizetype text = params + 8;
        if (record.options & (ETO_OPAQUE | ETO_CLIPPED)) {
            if (end - text < 8) {
                return std::nullopt;
            }
            record.rect = QRectF(QPointF(s16(data, text), s16(data, text + 2)),
                QPointF(s16(data, text + 4), s16(data, text + 6)))
                              .normalized();
            text += 8;
        }
        if (count < 0 || text + count > end) {
            return std::nullopt;
        }
        record.bytes = data.mid(text, count);
        // The advances follow the string (padded to a word), one for each byte, when present.
        const qsizetype advances = text + count + (count & 1);
        if (end - advances >= qsizetype(count) * 2) {
            for (int i = 0; i < count; ++i) {
                record.advances.append(s16(data, advances + 2 * i));
            }
        }
        return record;
    }

    // Symbol fonts carry their own encoding: the Greek letters and mathematical signs sit where
    // Latin letters are elsewhere. Mapped to Unicode, any font with those characters draws them.
    QString fromSymbolEncoding(const QByteArray &bytes)
    {
        static const QHash<uchar, char16_t> special = { { 0x22, u'∀' }, { 0x24, u'∃' },
            { 0x27, u'∋' }, { 0x2A, u'∗' }, { 0x2D, u'−' }, { 0x40, u'≅' }, { 0x5C, u'∴' },
            { 0x5E, u'⊥' }, { 0x60, u'‾' }, { 0xA1, u'ϒ' }, { 0xA2, u'′' }, { 0xA3, u'≤' },
            { 0xA4, u'⁄' }, { 0xA5, u'∞' }, { 0xA6, u'ƒ' }, { 0xA7, u'♣' }, { 0xA8, u'♦' },
            { 0xA9, u'♥' }, { 0xAA, u'♠' }, { 0xAB, u'↔' }, { 0xAC, u'←' }, { 0xAD, u'↑' },
            { 0xAE, u'→' }, { 0xAF, u'↓' }, { 0xB0, u'°' }, { 0xB1, u'±' }, { 0xB2, u'″' },
            { 0xB3, u'≥' }, { 0xB4, u'×' }, { 0xB5, u'∝' }, { 0xB6, u'∂' }, { 0xB7, u'•' },
            { 0xB8, u'÷' }, { 0xB9, u'≠' }, { 0xBA, u'≡' }, { 0xBB, u'≈' }, { 0xBC, u'…' },
            { 0xC0, u'ℵ' }, { 0xC1, u'ℑ' }, { 0xC2, u'ℜ' }, { 0xC3, u'℘' }, { 0xC4, u'⊗' },
            { 0xC5, u'⊕' }, { 0xC6, u'∅' }, { 0xC7, u'∩' }, { 0xC8, u'∪' }, { 0xC9, u'⊃' },
            { 0xCA, u'⊇' }, { 0xCB, u'⊄' }, { 0xCC, u'⊂' }, { 0xCD, u'⊆' }, { 0xCE, u'∈' },
            { 0xCF, u'∉' }, { 0xD0, u'∠' }, { 0xD1, u'∇' }, { 0xD5, u'∏' }, { 0xD6, u'√' },
            { 0xD7, u'⋅' }, { 0xD8, u'¬' }, { 0xD9, u'∧' }, { 0xDA, u'∨' }, { 0xDB, u'⇔' },
            { 0xDC, u'⇐' }, { 0xDD, u'⇑' }, { 0xDE, u'⇒' }, { 0xDF, u'⇓' }, { 0xE0, u'◊' },
            { 0xE1, u'〈' }, { 0xE5, u'∑' }, { 0xF1, u'〉' }, { 0xF2, u'∫' }, { 0xBD, u'⏐' },
            { 0xBE, u'⎯' }, { 0xBF, u'↵' }, { 0xD2, u'®' }, { 0xD3, u'©' }, { 0xD4, u'™' },
            { 0xE2, u'®' }, { 0xE3, u'©' }, { 0xE4, u'™' }, { 0xE6, u'⎛' }, { 0xE7, u'⎜' },
            { 0xE8, u'⎝' }, { 0xE9, u'⎡' }, { 0xEA, u'⎢' }, { 0xEB, u'⎣' }, { 0xEC, u'⎧' },
            { 0xED, u'⎨' }, { 0xEE, u'⎩' }, { 0xEF, u'⎪' }, { 0xF3, u'⌠' }, { 0xF4, u'⎮' },
            { 0xF5, u'⌡' }, { 0xF6, u'⎞' }, { 0xF7, u'⎟' }, { 0xF8, u'⎠' }, { 0xF9, u'⎤' },
            { 0xFA, u'⎥' }, { 0xFB, u'⎦' }, { 0xFC, u'⎫' }, { 0xFD, u'⎬' }, { 0xFE, u'⎭' } };
        // Greek in the order of the Latin letters it replaces (A..Z, a..z).
        static const char16_t upper[] = u"ΑΒΧΔΕΦΓΗΙϑΚΛΜΝΟΠΘΡΣΤΥςΩΞΨΖ";
        static const char16_t lower[] = u"αβχδεφγηιϕκλμνοπθρστυϖωξψζ";
        QString text;
        for (const char c : bytes) {
            const auto byte = static_cast<uchar>(c);
            if (byte >= 'A' && byte <= 'Z') {
                text.append(QChar(upper[byte - 'A']));
            } else if (byte >= 'a' && byte <= 'z') {
                text.append(QChar(lower[byte - 'a']));
            } else if (const auto it = special.constFind(byte); it != special.constEnd()) {
                text.append(QChar(*it));
            } else {
                text.append(QChar::fromLatin1(c));
            }
        }
        return text;
    }

    // The text of a record in its font's character set. Single-byte sets keep one character for
    // each byte, so each keeps its advance.
    bool symbolEncoded(const wmfFont *font, const QString &family)
    {
        return font && font->lfCharSet == SYMBOL_CHARSET
            && family.compare(QLatin1String("Symbol"), Qt::CaseInsensitive) == 0;
    }

    QString textOf(const QByteArray &bytes, const wmfFont *font, const QString &family)
    {
        const int charset = font ? font->lfCharSet : 0;
        if (symbolEncoded(font, family)) {
            return fromSymbolEncoding(bytes);
        }
        const char *codec = nullptr;
        switch (charset) {
        case SHIFTJIS_CHARSET:
            codec = "Shift_JIS";
            break;
        case 161:
            codec = "windows-1253";
            break;
        case 162:
            codec = "windows-1254";
            break;
        case 204:
            codec = "windows-1251";
            break;
        case 238:
            codec = "windows-1250";
            break;
        case ANSI_CHARSET:
        case DEFAULT_CHARSET:
            codec = "windows-1252";
            break;
        default:
            break;
        }
        if (codec) {
            QStringDecoder decoder(codec);
            if (decoder.isValid()) {
                const QString text = decoder.decode(bytes);
                if (!decoder.hasError()) {
                    return text;
                }
            }
        }
        return QString::fromLatin1(bytes);
    }

    // The font family hinted by the pitch-and-family byte, for faces fontconfig does not know.
    QFont::StyleHint styleHint(const wmfFont *font)
    {
        switch (font ? font->lfPitchAndFamily & 0xF0 : 0) {
        case 0x10:
            return QFont::Serif;
        case 0x20:
            return QFont::SansSerif;
        case 0x30:
            return QFont::TypeWriter;
        case 0x40:
            return QFont::Cursive;
        case 0x50:
            return QFont::Decorative;
        default:
            return QFont::AnyStyle;
        }
    }

    // The family fontconfig matches for `names` (in order of preference).
    QString matchedFamily(const QList<QByteArray> &names)
    {
        QString family;
        FcPattern *pattern = FcPatternCreate();
        if (!pattern) {
            return family;
        }
        for (const QByteArray &name : names) {
            FcPatternAddString(
                pattern, FC_FAMILY, reinterpret_cast<const FcChar8 *>(name.constData()));
        }
        FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
        FcDefaultSubstitute(pattern);
        FcResult result = FcResultNoMatch;
        if (FcPattern *match = FcFontMatch(nullptr, pattern, &result)) {
            FcChar8 *matched = nullptr;
            if (FcPatternGetString(match, FC_FAMILY, 0, &matched) == FcResultMatch && matched) {
                family = QString::fromUtf8(reinterpret_cast<const char *>(matched));
            }
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pattern);
        return family;
    }

    // The face fontconfig offers for a face the file names: the face itself when installed, else
    // the metric-compatible one it is configured to stand in for it (Times New Roman: a Times
    // clone with the same advances), else one of the generic family the file hints at.
    QString availableFamily(const QString &face, QFont::StyleHint hint)
    {
        static QHash<QString, QString> known; // guarded by s_libraryMutex, held while playing
        const QString key = face + QLatin1Char('/') + QString::number(int(hint));
        if (const auto it = known.constFind(key); it != known.constEnd()) {
            return *it;
        }
        QString family = matchedFamily({ face.toUtf8() });
        // A face fontconfig knows nothing of gets its default face; the file's hint is better.
        const char *generic = hint == QFont::Serif ? "serif"
            : hint == QFont::TypeWriter            ? "monospace"
                                                   : nullptr;
        if (generic && family == matchedFamily({ QByteArrayLiteral("sans-serif") })) {
            family = matchedFamily({ face.toUtf8(), QByteArray(generic) });
        }
        if (family.isEmpty()) {
            family = face;
        }
        known.insert(key, family);
        return family;
    }

    // Draws a text record as the file lays it out: the reference point, alignment, escapement and
    // advances come from the record and the device context; the glyphs come from the named face
    // or the one fontconfig offers in its place, sized to the logical font's height and width and
    // narrowed where they would not fit the advances the file gives.
    void drawText(wmfAPI *api, wmfDrawText_t *text)
    {
        Canvas *canvas = drawingCanvas(api, text->dc);
        // Drawing text needs Qt's font database, which exists only with a QGuiApplication.
        if (!canvas || !canvas->drawsText || !text->str || !canvas->input || !canvas->layout) {
            return;
        }
        // libwmf splits a run with advances into one call per character; the first call draws
        // the whole run from the record.
        const int index = canvas->currentRecord();
        if (index < 0 || index == canvas->lastTextRecord) {
            return;
        }
        canvas->lastTextRecord = index;
        const wmfDC *dc = text->dc;
        const QByteArray &data = canvas->input->data;
        const std::optional<TextRecord> record
            = textRecord(data, canvas->layout->records.at(index));
        if (!record || record->bytes.isEmpty()) {
            return;
        }
        const double unitX = dc->pixel_width * canvas->toImage.m11();
        const double unitY = dc->pixel_height * canvas->toImage.m22();
        if (!std::isfinite(unitX) || !std::isfinite(unitY) || unitX == 0 || unitY == 0) {
            return;
        }
        auto toImage = [&](const QPointF &logical) {
            return canvas->toImage.map(QPointF((logical.x() - dc->Window.Ox) * dc->pixel_width,
                (logical.y() - dc->Window.Oy) * dc->pixel_height));
        };

        const wmfFont *source = dc->font;
        const LogFont logical = canvas->fonts.value(
            source, LogFont { qRound(text->font_height / std::abs(dc->pixel_height)), 0 });
        QString family = QStringLiteral("Helvetica");
        if (source && source->lfFaceName && canvas->budget) {
            const size_t size = canvas->budget->blocks.value(source->lfFaceName, 0);
            if (size > 0) {
                family = QString::fromLatin1(
                    source->lfFaceName, qsizetype(strnlen(source->lfFaceName, size)));
            }
        }
        // The symbol face installed draws only its own encoding; the same characters in Unicode
        // come from a text face with Greek and mathematical signs.
        QFont font(symbolEncoded(source, family)
                ? availableFamily(QStringLiteral("Times New Roman"), QFont::Serif)
                : availableFamily(family, styleHint(source)));
        font.setStyleHint(styleHint(source));
        if (source) {
            font.setWeight(
                QFont::Weight(qBound(1, int(source->lfWeight ? source->lfWeight : 400), 1000)));
            font.setItalic(source->lfItalic);
            font.setFixedPitch((source->lfPitchAndFamily & 3) == 1);
        }
        font.setKerning(false);
        // Glyphs are drawn from a font at a whole pixel size and scaled to the exact size.
        constexpr int kDrawnSize = 64;
        font.setPixelSize(kDrawnSize);
        const QFontMetricsF metrics(font);
        if (metrics.height() <= 0) {
            return;
        }
        // Image pixels for one pixel of the drawn font.
        double em = std::abs(logical.height * unitY) / kDrawnSize;
        if (logical.height > 0) {
            // The cell height: ascent and descent. The faces files name have cells of about 1.15
            // em; the clones standing in for them often declare taller lines, which would make
            // the letters smaller than the file's.
            em /= qBound(1.0, metrics.height() / kDrawnSize, 1.15);
        } else if (logical.height == 0) {
            em = std::abs(12 * unitY) / kDrawnSize;
        }
        if (!std::isfinite(em) || em * kDrawnSize < 0.5 || em * kDrawnSize > kMaxSide) {
            return;
        }
        double stretch = std::abs(unitX / unitY);
        if (logical.width != 0 && metrics.averageCharWidth() > 0) {
            stretch = std::abs(logical.width * unitX) / (metrics.averageCharWidth() * em);
        }
        const QString string = textOf(record->bytes, source, family);
        const bool perByte = string.size() == record->bytes.size();
        const double extra = dc->charextra * std::abs(unitX);

        // Where each character starts, in image pixels along the run, and the run's width.
        QList<double> starts;
        double width = 0;
        if (perByte && record->advances.size() == string.size()) {
            double natural = 0;
            for (const QChar c : string) {
                starts.append(0);
                natural += metrics.horizontalAdvance(c) * em;
            }
            for (int i = 0; i < string.size(); ++i) {
                starts[i] = width;
                width += record->advances.at(i) * std::abs(unitX);
            }
            // Never wider than the advances leave room for: letters must not run into each
            // other or past the run.
            if (natural * stretch > width && natural > 0 && width > 0) {
                stretch = width / natural;
            }
        } else {
            for (const QChar c : string) {
                starts.append(width);
                width += metrics.horizontalAdvance(c) * em * stretch + extra;
            }
        }
        const double ascent = metrics.ascent() * em;
        const double descent = metrics.descent() * em;

        const unsigned align = dc->textalign;
        QPointF reference = toImage(record->reference);
        if (align & TA_UPDATECP) {
            canvas->followCurrentPoint(index);
            reference = toImage(canvas->currentPoint);
        }
        double shiftX = 0;
        if ((align & TA_CENTER) == TA_CENTER) {
            shiftX = -width / 2;
        } else if (align & TA_RIGHT) {
            shiftX = -width;
        }
        double shiftY = 0;
        if ((align & TA_BASELINE) == TA_BASELINE) {
            shiftY = 0;
        } else if (align & TA_BOTTOM) {
            shiftY = -descent;
        } else {
            shiftY = ascent;
        }
        if (align & TA_UPDATECP) {
            // The current position moves past the run (left-aligned) or before it
            // (right-aligned); centred text leaves it where it was.
            const double advance = width / std::abs(unitX);
            if ((align & TA_CENTER) == TA_RIGHT) {
                canvas->currentPoint.rx() -= advance;
            } else if ((align & TA_CENTER) == 0) {
                canvas->currentPoint.rx() += advance;
            }
        }

        QPainter &painter = canvas->painter;
        painter.save();
        if (record->rect) {
            QPainterPath box;
            box.addPolygon(canvas->toImage.map(
                QPolygonF(QRectF(QPointF((record->rect->left() - dc->Window.Ox) * dc->pixel_width,
                                     (record->rect->top() - dc->Window.Oy) * dc->pixel_height),
                    QPointF((record->rect->right() - dc->Window.Ox) * dc->pixel_width,
                        (record->rect->bottom() - dc->Window.Oy) * dc->pixel_height)))));
            painter.setWorldTransform(QTransform());
            if (record->options & ETO_OPAQUE) {
                painter.fillPath(box, toColor(dc->bgcolor));
            }
            if (record->options & ETO_CLIPPED) {
                painter.setClipPath(
                    box, painter.hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
            }
        }
        QTransform run;
        run.translate(reference.x(), reference.y());
        if (source && source->lfEscapement != 0) {
            run.rotate(-source->lfEscapement / 10.0);
        }
        run.translate(shiftX, shiftY);
        painter.setWorldTransform(run);
        const QRectF cell(0, -ascent, width, ascent + descent);
        if (dc->bgmode == OPAQUE) {
            painter.fillRect(cell, toColor(dc->bgcolor));
        }
        if (canvas->textRuns) {
            canvas->textRuns->append(run.mapRect(cell));
        }
        const QColor color = toColor(dc->textcolor);
        painter.setPen(color);
        painter.setFont(font);
        const QTransform glyphs = QTransform::fromScale(em * stretch, em);
        if (perByte) {
            for (int i = 0; i < string.size(); ++i) {
                painter.setWorldTransform(
                    glyphs * QTransform::fromTranslate(starts.at(i), 0) * run);
                painter.drawText(QPointF(0, 0), QString(string.at(i)));
            }
        } else {
            painter.setWorldTransform(glyphs * run);
            painter.drawText(QPointF(0, 0), string);
        }
        // Underline and strike-out run across the whole run, gaps between letters included.
        painter.setWorldTransform(run);
        const double line = qMax(metrics.lineWidth() * em, 0.5);
        if (source && source->lfUnderline) {
            painter.fillRect(QRectF(0, metrics.underlinePos() * em, width, line), color);
        }
        if (source && source->lfStrikeOut) {
            painter.fillRect(QRectF(0, -metrics.strikeOutPos() * em, width, line), color);
        }
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

    // Called by libwmf for each font it makes, while the record making it is being played.
    void mapFont(wmfAPI *api, wmfFont *font)
    {
        Canvas *canvas = canvasOf(api);
        if (!canvas) {
            return;
        }
        if (canvas->libraryMap) {
            canvas->libraryMap(api, font);
        }
        const int index = canvas->currentRecord();
        if (index < 0) {
            canvas->fonts.remove(font);
            return;
        }
        const QByteArray &data = canvas->input->data;
        const qsizetype at = canvas->layout->records.at(index);
        if (qFromLittleEndian<quint16>(data.constData() + at + 4) == META_CREATEFONTINDIRECT
            && qFromLittleEndian<quint32>(data.constData() + at) >= 5) {
            canvas->fonts.insert(font,
                LogFont { qFromLittleEndian<qint16>(data.constData() + at + 6),
                    qFromLittleEndian<qint16>(data.constData() + at + 8) });
        } else {
            canvas->fonts.remove(font);
        }
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
            canvas->input = &m_input;
            // libwmf tells of each font it makes through its font map; the hook reads the record
            // behind it.
            if (auto *fonts = static_cast<wmfFontData *>(m_api->font_data); fonts && fonts->map) {
                canvas->libraryMap = fonts->map;
                fonts->map = mapFont;
            }
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

LoadResult decode(const QByteArray &bytes, const DecodeRequest &request,
    const std::atomic_bool *cancelled, QList<QRectF> *textRuns)
{
    using What = DecodeRequest::What;
    const bool pixels = request.what != What::Header;
    const QSize target
        = request.what == What::Within || request.what == What::Reduced ? request.size : QSize();
    const QSize viewport = request.what == What::Visible ? request.size : QSize();
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
        canvas.layout = &*layout;
        canvas.textRuns = textRuns;
        if (textRuns) {
            textRuns->clear();
        }
        const QByteArray data = sanitized(bytes, *layout, dropped);
        Session session(data, &canvas);
        if (session.api() && cancelled) {
            // libwmf asks between records whether to go on; a cancelled decode stops there.
            wmf_status_function(session.api(), const_cast<std::atomic_bool *>(cancelled),
                [](void *flag, float) -> int {
                    return static_cast<const std::atomic_bool *>(flag)->load(
                        std::memory_order_relaxed);
                });
        }
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
        const wmf_error_t scanned = wmf_scan(session.api(), 0, &box);
        if (cancelled && cancelled->load()) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
        }
        if (scanned != wmf_E_None) {
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
                return failedLoad(
                    Failure::NotAPicture, QStringLiteral("The metafile draws nothing."));
            }
        }
        LoadResult result;
        result.picture.naturalSize = natural;
        result.picture.scalable = true;
        if (!pixels) {
            return result;
        }
        // The size the picture is drawn at and the part of it kept. Being vector, it is drawn
        // straight at the size it is shown at, never at a size nobody asked for.
        QSize size = natural;
        QRect part(QPoint(0, 0), natural);
        if (target.isValid() && !target.isEmpty()) {
            size = withinPixels(natural.scaled(target, Qt::KeepAspectRatio), kMaxScaledPixels);
            part = QRect(QPoint(0, 0), size);
        } else if (viewport.isValid() && !viewport.isEmpty()) {
            const QSize shown = withinPixels(natural.boundedTo(viewport), kMaxDrawnPixels);
            part = QRect(QPoint((natural.width() - shown.width()) / 2,
                             (natural.height() - shown.height()) / 2),
                shown);
            if (part.size() != natural) {
                result.picture.region = part;
            }
        } else {
            size = withinPixels(natural, kMaxDrawnPixels);
            part = QRect(QPoint(0, 0), size);
        }
        if (exceedsLimits(part.size())) {
            return failedLoad(Failure::TooLarge, QStringLiteral("The picture is too large."));
        }
        canvas.drawnSize = size;
        canvas.part = part;
        canvas.image = QImage(part.size(), QImage::Format_ARGB32_Premultiplied);
        if (canvas.image.isNull()) {
            return failedLoad(
                Failure::TooLarge, QStringLiteral("Not enough memory for the picture."));
        }
        // A metafile draws only what its records draw: the rest shows what lies behind it.
        canvas.image.fill(Qt::transparent);
        canvas.drawsText = qobject_cast<QGuiApplication *>(QCoreApplication::instance());
        const wmf_error_t played = wmf_play(session.api(), 0, &box);
        if (canvas.painter.isActive()) {
            canvas.painter.end();
        }
        if (cancelled && cancelled->load()) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
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
