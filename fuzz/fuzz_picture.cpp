// Feeds arbitrary bytes to the picture loader: BMP, PNG, WebP and TIFF (through Qt and its image
// plugins), GIF, JPEG (through libjpeg) and WMF (through libwmf) all go through the one entry point
// that decides by content. JPEG input is
// also decoded from a file for the part a screen shows and reduced, the paths that crop, skip
// rows and scale in libjpeg.
#include "pictures/picture.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Metafile text is drawn only with a QGuiApplication; without one that code would go
    // unfuzzed.
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // Decoders warn about every damaged input; the fuzzer's output is for its own findings.
    setenv("QT_LOGGING_RULES", "qt.gui.imageio*=false", 1);
    static QGuiApplication app(*argc, *argv);
    // Qt loads its image plugins and fonts once and keeps them; doing it here keeps those
    // allocations out of the leak check of the first inputs.
    QImage image(4, 4, QImage::Format_RGB32);
    image.fill(Qt::red);
    for (const char *format : { "BMP", "JPEG", "PNG", "WEBP", "TIFF" }) {
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, format);
        pictures::loadData(bytes, QSize(2, 2), QStringLiteral("input.png"));
    }
    pictures::loadData(
        QByteArray::fromHex("47494638396101000100800000000000ffffff21f90401000000002c"
                            "00000000010001000002024401003b"));
    for (const QString &file : QDir(QStringLiteral(VIEWER_CORPUS_DIR "/wmf/good/libwmf"))
                                   .entryList({ QStringLiteral("text.wmf") })) {
        QFile wmf(QStringLiteral(VIEWER_CORPUS_DIR "/wmf/good/libwmf/") + file);
        if (wmf.open(QIODevice::ReadOnly)) {
            pictures::loadData(wmf.readAll());
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes
        = QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // The thumbnail path is the one every picture in a folder goes through.
    // Named as a PNG, so that PNG, WebP and TIFF are read too; the content decides the decoder.
    const pictures::LoadResult result
        = pictures::loadData(bytes, QSize(97, 77), QStringLiteral("input.png"));
    if (result.ok() == result.picture.image.isNull()) {
        std::abort(); // a success always carries pixels, a failure never does
    }
    if (!result.ok() && result.reason.isEmpty()) {
        std::abort(); // a failure always says why
    }
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xD8) {
        static QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("input.jpg"));
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            file.write(bytes);
            file.close();
            for (const pictures::LoadResult &other :
                { pictures::load(pictures::DecodeRequest::visible(path, QSize(24, 16))),
                    pictures::load(pictures::DecodeRequest::reduced(path, QSize(40, 30))) }) {
                if (other.ok() == other.picture.image.isNull()
                    || (!other.ok() && other.reason.isEmpty())) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
