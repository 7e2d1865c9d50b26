#include "jpegpicture.h"

#include <QColor>
#include <QColorSpace>
#include <QColorTransform>
#include <QIODevice>
#include <QImage>
#include <QTransform>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pictures::jpeg {

namespace {

    // Rows decoded in one call: few enough that a cancelled decode stops at once, enough that
    // libjpeg's per-call work stays out of the figures.
    constexpr int kRowBatch = 16;
    // Rows skipped in one call above the part of a picture decoded: a few row groups of blocks.
    constexpr JDIMENSION kSkipBatch = 128;
    // libjpeg reports an error by calling error_exit, which must not return; it jumps back to the
    // decoder, which then fails. Warnings (damaged data, which libjpeg decodes as far as it goes)
    // are neither printed nor fatal.
    struct ErrorManager
    {
        jpeg_error_mgr manager;
        std::jmp_buf jump;
        char message[JMSG_LENGTH_MAX];
    };

    void errorExit(j_common_ptr info)
    {
        auto *error = reinterpret_cast<ErrorManager *>(info->err);
        (*info->err->format_message)(info, error->message);
        std::longjmp(error->jump, 1);
    }

    void outputMessage(j_common_ptr)
    {
    }

    // The file's bytes, already in memory, or read from a device a block at a time as the
    // decoder asks. Past their end the decoder is given an end-of-image marker, so a file cut
    // short (or shortened while it is read) decodes as far as it goes; the source remembers it.
    struct Source
    {
        jpeg_source_mgr manager;
        bool cutShort;
        QIODevice *device;
        std::vector<JOCTET> block;
    };
    constexpr qint64 kReadBlock = 64 * 1024;

    const JOCTET kEndOfImage[2] = { 0xFF, JPEG_EOI };

    void initSource(j_decompress_ptr)
    {
    }

    boolean fillInput(j_decompress_ptr info)
    {
        auto *source = reinterpret_cast<Source *>(info->src);
        if (source->device && !source->cutShort) {
            const qint64 got
                = source->device->read(reinterpret_cast<char *>(source->block.data()), kReadBlock);
            if (got > 0) {
                source->manager.next_input_byte = source->block.data();
                source->manager.bytes_in_buffer = size_t(got);
                return TRUE;
            }
        }
        source->cutShort = true;
        source->manager.next_input_byte = kEndOfImage;
        source->manager.bytes_in_buffer = sizeof kEndOfImage;
        return TRUE;
    }

    void skipInput(j_decompress_ptr info, long count)
    {
        auto *source = reinterpret_cast<Source *>(info->src);
        if (count <= 0) {
            return;
        }
        size_t left = size_t(count);
        if (left > source->manager.bytes_in_buffer && source->device && !source->cutShort) {
            // Past the block in hand: the rest is skipped on the device, then read from there.
            left -= source->manager.bytes_in_buffer;
            source->manager.bytes_in_buffer = 0;
            if (source->device->skip(qint64(left)) != qint64(left)) {
                fillInput(info);
                source->cutShort = true;
                return;
            }
            left = 0;
            fillInput(info);
        }
        if (left >= source->manager.bytes_in_buffer) {
            fillInput(info);
            return;
        }
        source->manager.next_input_byte += left;
        source->manager.bytes_in_buffer -= left;
    }

    void termSource(j_decompress_ptr)
    {
    }

    // Called by libjpeg as it works (once a row group, and through every scan of a progressive
    // file, which is read whole before its first row comes out): a cancelled decode leaves there.
    struct Progress
    {
        jpeg_progress_mgr manager;
        const std::atomic_bool *cancelled;
        ErrorManager *error;
        bool stopped;

        bool shouldStop() const { return cancelled && cancelled->load(std::memory_order_relaxed); }
    };

    void checkProgress(j_common_ptr info)
    {
        auto *progress = reinterpret_cast<Progress *>(info->progress);
        if (progress->shouldStop()) {
            progress->stopped = true;
            std::longjmp(progress->error->jump, 1);
        }
    }

    // The orientation an EXIF block (the TIFF structure after "Exif\0\0") gives in its first
    // image directory; 1 (as stored) when it gives none or a value out of range.
    int tiffOrientation(const JOCTET *tiff, size_t size)
    {
        if (size < 8) {
            return 1;
        }
        const bool little = tiff[0] == 'I' && tiff[1] == 'I';
        if (!little && !(tiff[0] == 'M' && tiff[1] == 'M')) {
            return 1;
        }
        const auto word = [&](size_t at) {
            return little ? unsigned(tiff[at] | tiff[at + 1] << 8)
                          : unsigned(tiff[at] << 8 | tiff[at + 1]);
        };
        const auto longWord = [&](size_t at) {
            return little ? word(at) | word(at + 2) << 16 : word(at) << 16 | word(at + 2);
        };
        if (word(2) != 42) {
            return 1;
        }
        const size_t directory = longWord(4);
        if (directory > size - 2) {
            return 1;
        }
        const size_t entries = word(directory);
        for (size_t i = 0; i < entries; ++i) {
            const size_t at = directory + 2 + i * 12;
            if (at + 12 > size) {
                break;
            }
            if (word(at) != 0x0112) {
                continue;
            }
            const unsigned type = word(at + 2);
            const unsigned value = type == 3 ? word(at + 8) : type == 4 ? longWord(at + 8) : 0;
            return value >= 1 && value <= 8 ? int(value) : 1;
        }
        return 1;
    }

    int exifOrientation(jpeg_saved_marker_ptr marker)
    {
        for (; marker; marker = marker->next) {
            if (marker->marker == JPEG_APP0 + 1 && marker->data_length >= 6
                && std::memcmp(marker->data, "Exif\0\0", 6) == 0) {
                return tiffOrientation(marker->data + 6, marker->data_length - 6);
            }
        }
        return 1;
    }

    bool turned(int orientation)
    {
        return orientation >= 5;
    }

    // The stored pixel shown at natural pixel `at` of a picture stored `stored` pixels large.
    QPoint storedPoint(int orientation, const QPoint &at, const QSize &stored)
    {
        const int w = stored.width() - 1;
        const int h = stored.height() - 1;
        switch (orientation) {
        case 2:
            return QPoint(w - at.x(), at.y());
        case 3:
            return QPoint(w - at.x(), h - at.y());
        case 4:
            return QPoint(at.x(), h - at.y());
        case 5:
            return QPoint(at.y(), at.x());
        case 6:
            return QPoint(at.y(), h - at.x());
        case 7:
            return QPoint(w - at.y(), h - at.x());
        case 8:
            return QPoint(w - at.y(), at.x());
        default:
            return at;
        }
    }

    // The stored pixels shown in `natural` (natural pixels).
    QRect storedRect(int orientation, const QRect &natural, const QSize &stored)
    {
        const QPoint a = storedPoint(orientation, natural.topLeft(), stored);
        const QPoint b = storedPoint(orientation, natural.bottomRight(), stored);
        return QRect(QPoint(qMin(a.x(), b.x()), qMin(a.y(), b.y())),
            QPoint(qMax(a.x(), b.x()), qMax(a.y(), b.y())));
    }

    // `image` (as stored) turned and mirrored as the orientation says it is shown.
    QImage oriented(const QImage &image, int orientation)
    {
        switch (orientation) {
        case 2:
            return image.mirrored(true, false);
        case 3:
            return image.transformed(QTransform().rotate(180));
        case 4:
            return image.mirrored(false, true);
        case 5:
            return image.transformed(QTransform().rotate(90)).mirrored(true, false);
        case 6:
            return image.transformed(QTransform().rotate(90));
        case 7:
            return image.transformed(QTransform().rotate(90)).mirrored(false, true);
        case 8:
            return image.transformed(QTransform().rotate(270));
        default:
            return image;
        }
    }

    void freeBuffer(void *buffer)
    {
        std::free(buffer);
    }

    // The picture's colours, given in an embedded profile's `space`, as sRGB gives them (what
    // the screen is taken to show): a wide-gamut picture (Adobe RGB, ROMM) shown with its numbers
    // taken as sRGB looks greyish. Pictures without a profile, or with an sRGB one, are left as
    // they are.
    //
    // The profiles cameras and editors embed are a curve for each channel and a matrix: each
    // channel's value adds a fixed share to each channel of linear sRGB (its curve times a column
    // of the matrix). Three tables of 256 shares, read through Qt's own transform (unclamped, so
    // colours outside sRGB add up right), give a pixel as three sums of small integers and one
    // table back to sRGB's curve; the rows are converted as libjpeg hands them out, while they
    // are still in the cache. A profile that is not of that kind (its colours do not add up)
    // goes through Qt's general transform after the decode, a second pass at many times the cost.
    class SrgbConversion
    {
    public:
        explicit SrgbConversion(const QColorSpace &space)
        {
            if (!space.isValid() || space == QColorSpace(QColorSpace::SRgb)) {
                return;
            }
            m_space = space;
            const QColorTransform transform = space.transformationToColorSpace(
                QColorSpace(QColorSpace::Primaries::SRgb, QColorSpace::TransferFunction::Linear));
            const QColor black = transform.map(QColor::fromRgbF(0, 0, 0));
            const auto fixed = [](float value) {
                return qint16(std::clamp(std::lround(value * kOne), -32767L, 32767L));
            };
            // A share's lanes: red, green, blue of linear sRGB, and one unused.
            m_shares.resize(3 * 256 * 4);
            for (int c = 0; c < 3; ++c) {
                for (int v = 0; v < 256; ++v) {
                    const float f = float(v) / 255.0f;
                    const QColor linear = transform.map(
                        QColor::fromRgbF(c == 0 ? f : 0.0f, c == 1 ? f : 0.0f, c == 2 ? f : 0.0f));
                    // Black's own offset is counted once, with the red channel.
                    const float offset = c == 0 ? 0.0f : 1.0f;
                    qint16 *share = m_shares.data() + (c * 256 + v) * 4;
                    share[0] = fixed(linear.redF() - offset * black.redF());
                    share[1] = fixed(linear.greenF() - offset * black.greenF());
                    share[2] = fixed(linear.blueF() - offset * black.blueF());
                    share[3] = 0;
                }
            }
            m_rowWise = addsUp(transform);
        }

        // Whether the rows are to be converted as they are decoded.
        bool rowWise() const { return m_rowWise; }

        // Converts `count` rows of `width` RGB32 pixels, `stride` bytes apart.
        void convertRows(uchar *rows, size_t stride, int count, int width) const
        {
            for (int y = 0; y < count; ++y) {
                convertRow(reinterpret_cast<QRgb *>(rows + size_t(y) * stride), width);
            }
        }

        // After the decode: the general transform, for a profile whose colours do not add up.
        void convertImage(QImage &image) const
        {
            if (!m_space.isValid() || m_rowWise || image.format() != QImage::Format_RGB32) {
                return;
            }
            image.setColorSpace(m_space);
            image.convertToColorSpace(QColorSpace(QColorSpace::SRgb));
            image.setColorSpace(QColorSpace());
        }

    private:
        // Fixed point: linear 1.0 is 1 << 13, so that shares up to ±4 (the widest spaces'
        // matrices reach about 2) and their sums stay within 16 bits.
        static constexpr int kOne = 1 << 13;

        // sRGB's curve over linear values at 1/8192 steps.
        static const uchar *encodingCurve()
        {
            static const std::vector<uchar> curve = [] {
                std::vector<uchar> encoded(kOne + 1);
                for (size_t i = 0; i < encoded.size(); ++i) {
                    const double linear = double(i) / kOne;
                    const double value = linear <= 0.0031308
                        ? linear * 12.92
                        : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
                    encoded[i] = uchar(std::lround(std::clamp(value, 0.0, 1.0) * 255));
                }
                return encoded;
            }();
            return curve.data();
        }

        const qint16 *share(int channel, int value) const
        {
            return m_shares.data() + (channel * 256 + value) * 4;
        }

        // Whether mixed colours come out as the sums of their channels' shares, as they do for a
        // curve-and-matrix profile: a few colours across the cube, within a rounding step.
        bool addsUp(const QColorTransform &transform) const
        {
            const int probes[][3] = { { 255, 255, 255 }, { 200, 40, 90 }, { 30, 180, 220 },
                { 128, 128, 128 }, { 250, 250, 10 }, { 60, 70, 40 } };
            for (const auto &probe : probes) {
                const QColor linear = transform.map(QColor::fromRgbF(
                    float(probe[0]) / 255.0f, float(probe[1]) / 255.0f, float(probe[2]) / 255.0f));
                const float want[3] = { linear.redF(), linear.greenF(), linear.blueF() };
                for (int lane = 0; lane < 3; ++lane) {
                    const int sum = share(0, probe[0])[lane] + share(1, probe[1])[lane]
                        + share(2, probe[2])[lane];
                    if (std::abs(float(sum) / kOne - want[lane]) > 4.0f / kOne) {
                        return false;
                    }
                }
            }
            return true;
        }

        void convertRow(QRgb *pixel, int width) const
        {
            const uchar *encoded = encodingCurve();
            const auto pack = [encoded](int red, int green, int blue) {
                return qRgb(encoded[red], encoded[green], encoded[blue]);
            };
            int x = 0;
#if defined(__SSE2__)
            // Two pixels at a time: each one's three shares are added lane by lane, clamped to
            // 0 .. 1.0, and looked up in the curve.
            const __m128i zero = _mm_setzero_si128();
            const __m128i one = _mm_set1_epi16(kOne);
            const auto shares = [this](int channel, QRgb a, QRgb b) {
                const int shift = 16 - 8 * channel;
                return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(
                                              share(channel, int(a >> shift) & 0xFF))),
                    _mm_loadl_epi64(
                        reinterpret_cast<const __m128i *>(share(channel, int(b >> shift) & 0xFF))));
            };
            for (; x + 2 <= width; x += 2) {
                const QRgb a = pixel[x];
                const QRgb b = pixel[x + 1];
                __m128i sum = _mm_adds_epi16(shares(0, a, b), shares(1, a, b));
                sum = _mm_adds_epi16(sum, shares(2, a, b));
                sum = _mm_min_epi16(_mm_max_epi16(sum, zero), one);
                pixel[x] = pack(_mm_extract_epi16(sum, 0), _mm_extract_epi16(sum, 1),
                    _mm_extract_epi16(sum, 2));
                pixel[x + 1] = pack(_mm_extract_epi16(sum, 4), _mm_extract_epi16(sum, 5),
                    _mm_extract_epi16(sum, 6));
            }
#endif
            for (; x < width; ++x) {
                const QRgb p = pixel[x];
                const qint16 *r = share(0, qRed(p));
                const qint16 *g = share(1, qGreen(p));
                const qint16 *b = share(2, qBlue(p));
                const auto channel
                    = [&](int lane) { return std::clamp(r[lane] + g[lane] + b[lane], 0, kOne); };
                pixel[x] = pack(channel(0), channel(1), channel(2));
            }
        }

        QColorSpace m_space;
        std::vector<qint16> m_shares;
        bool m_rowWise = false;
    };

    // One decode. Every libjpeg call happens inside a method that set the jump target first and
    // holds no object with a destructor across those calls, so an error or a cancel leaves
    // through longjmp without skipping any cleanup; what must outlive it is a member.
    class Decoder
    {
    public:
        // Reads from `device`, from where it stands, a block at a time.
        Decoder(QIODevice *device, const std::atomic_bool *cancelled)
            : Decoder(QByteArrayView(), cancelled)
        {
            m_source.device = device;
            m_source.block.resize(size_t(kReadBlock));
        }
        Decoder(QByteArrayView data, const std::atomic_bool *cancelled)
        {
            std::memset(&m_info, 0, sizeof m_info);
            m_info.err = jpeg_std_error(&m_error.manager);
            m_error.manager.error_exit = errorExit;
            m_error.manager.output_message = outputMessage;
            m_error.message[0] = '\0';
            m_source.manager.next_input_byte = reinterpret_cast<const JOCTET *>(data.data());
            m_source.manager.bytes_in_buffer = size_t(data.size());
            m_source.manager.init_source = initSource;
            m_source.manager.fill_input_buffer = fillInput;
            m_source.manager.skip_input_data = skipInput;
            m_source.manager.resync_to_restart = jpeg_resync_to_restart;
            m_source.manager.term_source = termSource;
            m_source.cutShort = false;
            m_source.device = nullptr;
            m_progress.manager.progress_monitor = checkProgress;
            m_progress.cancelled = cancelled;
            m_progress.error = &m_error;
            m_progress.stopped = false;
        }
        ~Decoder()
        {
            if (m_created) {
                jpeg_destroy_decompress(&m_info);
            }
        }
        Decoder(const Decoder &) = delete;
        Decoder &operator=(const Decoder &) = delete;

        bool readHeader()
        {
            if (setjmp(m_error.jump)) {
                return false;
            }
            jpeg_create_decompress(&m_info);
            m_created = true;
            m_info.src = &m_source.manager;
            m_info.progress = &m_progress.manager;
            // A backstop beside the checks made from the header: libjpeg's whole-picture
            // buffers never pass what one decode may take.
            m_info.mem->max_memory_to_use = long(kMaxDecodeBytes);
            // The EXIF block gives the orientation.
            jpeg_save_markers(&m_info, JPEG_APP0 + 1, 0xFFFF);
            // An embedded colour profile comes in APP2 segments.
            jpeg_save_markers(&m_info, JPEG_APP0 + 2, 0xFFFF);
            if (jpeg_read_header(&m_info, TRUE) != JPEG_HEADER_OK) {
                return false;
            }
            m_orientation = exifOrientation(m_info.marker_list);
            m_stored = QSize(int(m_info.image_width), int(m_info.image_height));
            return true;
        }

        // Decodes at `eighths`/8, or at full size only `region` (stored pixels) of the picture.
        bool decode(int eighths, const QRect &region)
        {
            if (setjmp(m_error.jump)) {
                return false;
            }
            const Rows rows = start(eighths, region);
            if (!allocate(int(rows.width), int(rows.count), rows.skip, rows.shown)) {
                std::strcpy(m_error.message, "out of memory");
                return false;
            }
            return skipTo(rows.top) && readRows(0, rows.count);
        }

        void setScans(Scans scans) { m_scans = scans; }
        // Colour rows are converted with `conversion` as they are decoded.
        void setConversion(const SrgbConversion *conversion) { m_toSrgb = conversion; }
        QImage takeImage() { return m_copy ? m_image.copy() : std::move(m_image); }
        QSize stored() const { return m_stored; }
        bool progressive() const { return m_info.progressive_mode; }
        // The colour space an embedded profile gives the picture's colours; invalid when there
        // is none (the colours are sRGB) or Qt cannot read it.
        QColorSpace colorSpace()
        {
            JOCTET *profile = nullptr;
            unsigned int length = 0;
            if (setjmp(m_error.jump) || !jpeg_read_icc_profile(&m_info, &profile, &length)) {
                return QColorSpace();
            }
            const QColorSpace space = QColorSpace::fromIccProfile(
                QByteArray(reinterpret_cast<const char *>(profile), qsizetype(length)));
            std::free(profile);
            return space;
        }
        // What libjpeg holds of a progressive picture while it decodes, at any scale: every
        // coefficient of every component (64 of two bytes a block); nothing for a baseline one.
        qint64 coefficientBytes() const
        {
            if (!m_info.progressive_mode) {
                return 0;
            }
            qint64 bytes = 0;
            for (int i = 0; i < m_info.num_components; ++i) {
                const jpeg_component_info &component = m_info.comp_info[i];
                bytes += qint64(component.width_in_blocks) * component.height_in_blocks * 64
                    * qint64(sizeof(JCOEF));
            }
            return bytes;
        }
        int orientation() const { return m_orientation; }
        QSize natural() const { return turned(m_orientation) ? m_stored.transposed() : m_stored; }
        bool cutShort() const { return m_source.cutShort; }
        bool stopped() const { return m_progress.stopped; }
        QString message() const { return QString::fromLocal8Bit(m_error.message); }

    private:
        // The rows a decode gives: `count` rows from `top` on, `width` columns decoded from
        // `left` (whole blocks), of which the image shows `shown` from `skip` on.
        struct Rows
        {
            JDIMENSION left;
            JDIMENSION width;
            JDIMENSION top;
            JDIMENSION count;
            int skip;
            int shown;
        };

        // Starts libjpeg on the decode: the pixel format, the scale and the columns. Called with
        // the jump target set.
        Rows start(int eighths, const QRect &region)
        {
            switch (m_info.jpeg_color_space) {
            case JCS_GRAYSCALE:
                m_info.out_color_space = JCS_GRAYSCALE;
                break;
            case JCS_CMYK:
            case JCS_YCCK:
                m_info.out_color_space = JCS_CMYK;
                break;
            default:
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
                m_info.out_color_space = JCS_EXT_BGRX;
#else
                m_info.out_color_space = JCS_EXT_XRGB;
#endif
                break;
            }
            m_info.scale_num = unsigned(eighths);
            m_info.scale_denom = 8;
            // A progressive picture wanted from its first scan only is read in buffered-image
            // mode and put out as that scan leaves it: the rest of the file is never decoded.
            const bool firstScan = m_scans == Scans::First && m_info.progressive_mode;
            m_info.buffered_image = firstScan;
            jpeg_start_decompress(&m_info);
            if (firstScan) {
                jpeg_start_output(&m_info, 1);
            }
            Rows rows { 0, m_info.output_width, 0, m_info.output_height, 0, 0 };
            if (!region.isEmpty()) {
                rows.left = JDIMENSION(region.x());
                rows.width = JDIMENSION(region.width());
                rows.top = JDIMENSION(region.y());
                rows.count = JDIMENSION(region.height());
                // Columns are cropped to whole blocks: `left` may move left and `width` grow.
                jpeg_crop_scanline(&m_info, &rows.left, &rows.width);
            }
            rows.skip = region.isEmpty() ? 0 : region.x() - int(rows.left);
            rows.shown = region.isEmpty() ? int(rows.width) : region.width();
            return rows;
        }

        // Skipped rows are still entropy-decoded, so they are skipped a batch at a time with a
        // look at the flags in between. Called with the jump target set.
        bool skipTo(JDIMENSION line)
        {
            while (m_info.output_scanline < line) {
                if (cancelledNow()) {
                    return false;
                }
                const JDIMENSION count
                    = std::min<JDIMENSION>(kSkipBatch, line - m_info.output_scanline);
                if (jpeg_skip_scanlines(&m_info, count) != count) {
                    return false;
                }
            }
            return true;
        }

        // Rows `from` to `to` of the decode into their place in the rows. Called with the jump
        // target set.
        bool readRows(JDIMENSION from, JDIMENSION to)
        {
            const bool cmyk = m_info.out_color_space == JCS_CMYK;
            const JDIMENSION width = m_info.output_width;
            JSAMPROW batch[kRowBatch];
            JDIMENSION done = from;
            while (done < to) {
                if (cancelledNow()) {
                    return false;
                }
                const JDIMENSION want = std::min<JDIMENSION>(kRowBatch, to - done);
                for (JDIMENSION i = 0; i < want; ++i) {
                    batch[i] = cmyk ? m_cmyk.data() + size_t(i) * width * 4
                                    : m_rows + size_t(done + i) * m_stride;
                }
                const JDIMENSION read = jpeg_read_scanlines(&m_info, batch, want);
                if (read == 0) {
                    return false;
                }
                if (cmyk) {
                    convertCmyk(done, read, width);
                } else if (m_toSrgb && m_info.out_color_space != JCS_GRAYSCALE) {
                    m_toSrgb->convertRows(
                        m_rows + size_t(done) * m_stride, m_stride, int(read), int(width));
                }
                done += read;
            }
            return true;
        }

        bool cancelledNow()
        {
            if (m_progress.shouldStop()) {
                m_progress.stopped = true;
            }
            return m_progress.stopped;
        }

        // The image the rows go into: `width` decoded columns, of which it shows `shown` from
        // `skip` on. When libjpeg decodes exactly the columns shown, that is a plain image;
        // else the image shows part of a buffer holding the wider rows, so the rows still go
        // straight into their final place.
        bool allocate(int width, int rows, int skip, int shown)
        {
            const bool grey = m_info.out_color_space == JCS_GRAYSCALE;
            const QImage::Format format = grey ? QImage::Format_Grayscale8 : QImage::Format_RGB32;
            const int depth = grey ? 1 : 4;
            if (m_info.out_color_space == JCS_CMYK) {
                m_cmyk.resize(size_t(width) * 4 * kRowBatch);
            }
            if (skip == 0 && shown == width) {
                m_image = QImage(width, rows, format);
                if (m_image.isNull()) {
                    return false;
                }
                m_rows = m_image.bits();
                m_stride = size_t(m_image.bytesPerLine());
                return true;
            }
            m_stride = (size_t(width) * size_t(depth) + 3) & ~size_t(3);
            // One row more than the rows hold: the image starts `skip` pixels into the buffer, and
            // a whole-image copy reads its last row at full stride, past the rows' end.
            auto *buffer = static_cast<uchar *>(std::malloc(m_stride * (size_t(rows) + 1)));
            if (!buffer) {
                return false;
            }
            m_image = QImage(buffer + size_t(skip) * size_t(depth), shown, rows,
                qsizetype(m_stride), format, freeBuffer, buffer);
            // Qt wants rows starting on four bytes; a grey part starting elsewhere is copied.
            m_copy = (size_t(skip) * size_t(depth)) % 4 != 0;
            m_rows = buffer;
            return !m_image.isNull();
        }

        // Adobe's CMYK as JPEG stores it (inverted): each colour scaled by the black channel.
        void convertCmyk(JDIMENSION first, JDIMENSION count, JDIMENSION width)
        {
            for (JDIMENSION row = 0; row < count; ++row) {
                const uchar *in = m_cmyk.data() + size_t(row) * width * 4;
                auto *out = reinterpret_cast<QRgb *>(m_rows + size_t(first + row) * m_stride);
                for (JDIMENSION x = 0; x < width; ++x, in += 4) {
                    const int k = in[3];
                    out[x] = qRgb(k * in[0] / 255, k * in[1] / 255, k * in[2] / 255);
                }
            }
        }

        jpeg_decompress_struct m_info;
        ErrorManager m_error;
        Source m_source;
        Progress m_progress;
        bool m_created = false;
        Scans m_scans = Scans::All;
        QSize m_stored;
        int m_orientation = 1;
        QImage m_image;
        uchar *m_rows = nullptr;
        size_t m_stride = 0;
        bool m_copy = false;
        std::vector<uchar> m_cmyk;
        const SrgbConversion *m_toSrgb = nullptr;
    };

    LoadResult damaged(const Decoder &decoder)
    {
        const QString message = decoder.message();
        return failedLoad(Failure::NotAPicture,
            message.isEmpty() ? QStringLiteral("The JPEG file is damaged.")
                              : QStringLiteral("The JPEG file is damaged: %1").arg(message));
    }

    // Natural pixels `region` widened to whole eighths of the picture, so that at any n/8 scale
    // its edges fall on whole pixels; within `natural`.
    QRect alignedToEighths(const QRect &region, const QSize &natural)
    {
        const int left = region.left() / 8 * 8;
        const int top = region.top() / 8 * 8;
        const int right = qMin(natural.width(), (region.right() + 1 + 7) / 8 * 8);
        const int bottom = qMin(natural.height(), (region.bottom() + 1 + 7) / 8 * 8);
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    }

    // The decode itself, from either source.
    LoadResult decodeWith(Decoder &decoder, int eighths, const QRect &region, Scans scans)
    {
        decoder.setScans(scans);
        if (!decoder.readHeader()) {
            return damaged(decoder);
        }
        const int orientation = decoder.orientation();
        const QSize natural = decoder.natural();
        eighths = qBound(1, eighths, 8);
        QRect part = region & QRect(QPoint(0, 0), natural);
        if (eighths < 8 && !part.isEmpty()) {
            part = alignedToEighths(part, natural);
        }
        const bool cropped = !part.isEmpty() && part.size() != natural;
        // The part in the decode's pixels: at n/8, its edges scaled (whole pixels, being
        // aligned), the picture's own edges where libjpeg rounds up.
        const QSize scaledNatural = scaledSize(natural, eighths);
        const auto scaled = [&](int at, int whole, int scaledWhole) {
            return at >= whole ? scaledWhole : at * eighths / 8;
        };
        const QRect scaledPart(QPoint(scaled(part.left(), natural.width(), scaledNatural.width()),
                                   scaled(part.top(), natural.height(), scaledNatural.height())),
            QPoint(scaled(part.right() + 1, natural.width(), scaledNatural.width()) - 1,
                scaled(part.bottom() + 1, natural.height(), scaledNatural.height()) - 1));
        const QSize scaledStored = scaledSize(decoder.stored(), eighths);
        const SrgbConversion toSrgb(decoder.colorSpace());
        if (toSrgb.rowWise()) {
            decoder.setConversion(&toSrgb);
        }
        const bool decoded = decoder.decode(
            eighths, cropped ? storedRect(orientation, scaledPart, scaledStored) : QRect());
        if (decoder.stopped()) {
            return failedLoad(Failure::Cancelled, QStringLiteral("The decode was cancelled."));
        }
        if (!decoded) {
            return damaged(decoder);
        }
        LoadResult result;
        result.picture.naturalSize = natural;
        result.picture.image = oriented(decoder.takeImage(), orientation);
        toSrgb.convertImage(result.picture.image);
        if (cropped) {
            result.picture.region = part;
        }
        return result;
    }

} // namespace

bool looksLikeJpeg(QByteArrayView head)
{
    return head.size() >= 2 && uchar(head[0]) == 0xFF && uchar(head[1]) == 0xD8;
}

LoadResult readHeader(QByteArrayView data, HeaderInfo *info)
{
    Decoder decoder(data, nullptr);
    const bool read = decoder.readHeader();
    if (info) {
        info->cutShort = !read && decoder.cutShort();
        info->progressive = read && decoder.progressive();
        info->coefficientBytes = read ? decoder.coefficientBytes() : 0;
    }
    if (!read) {
        return damaged(decoder);
    }
    LoadResult result;
    result.picture.naturalSize = decoder.natural();
    return result;
}

QSize scaledSize(const QSize &natural, int eighths)
{
    return QSize(int((qint64(natural.width()) * eighths + 7) / 8),
        int((qint64(natural.height()) * eighths + 7) / 8));
}

int eighthsCovering(const QSize &natural, const QSize &target)
{
    int eighths = 1;
    while (eighths < 8) {
        const QSize size = scaledSize(natural, eighths);
        if (size.width() >= target.width() && size.height() >= target.height()) {
            break;
        }
        ++eighths;
    }
    return eighths;
}

LoadResult decode(QByteArrayView data, int eighths, const QRect &region,
    const std::atomic_bool *cancelled, Scans scans)
{
    Decoder decoder(data, cancelled);
    return decodeWith(decoder, eighths, region, scans);
}

LoadResult decode(QIODevice *device, int eighths, const QRect &region,
    const std::atomic_bool *cancelled, Scans scans)
{
    Decoder decoder(device, cancelled);
    return decodeWith(decoder, eighths, region, scans);
}

} // namespace pictures::jpeg
