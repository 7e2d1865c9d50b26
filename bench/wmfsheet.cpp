// Draws every metafile of the corpus that should decode beside the reference rendering of it,
// one row each, into one sheet (and one pair per file), so a person can compare them by eye.
// Usage: wmf_sheet <corpus folder> <output folder> [name filter]

#include "pictures/picture.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QTextStream>

namespace {

constexpr int kCell = 480;
constexpr int kLabel = 22;

// The picture on white, as it would be shown on a white page.
QImage onWhite(const QImage &image)
{
    QImage page(image.size(), QImage::Format_RGB32);
    page.fill(Qt::white);
    QPainter painter(&page);
    painter.drawImage(0, 0, image);
    return page;
}

QImage fitted(const QImage &image, int side)
{
    if (image.isNull()) {
        return image;
    }
    return image.scaled(QSize(side, side), Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 3) {
        QTextStream(stderr) << "usage: wmf_sheet <corpus folder> <output folder> [filter]\n";
        return 2;
    }
    const QDir corpus(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    const QString filter = argc > 3 ? QString::fromLocal8Bit(argv[3]) : QString();
    QDir().mkpath(out.path());

    QStringList files;
    QDirIterator it(corpus.filePath(QStringLiteral("wmf/good")), { QStringLiteral("*.wmf") },
        QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (filter.isEmpty() || path.contains(filter)) {
            files.append(path);
        }
    }
    files.sort();

    QList<QImage> rows;
    for (const QString &path : files) {
        const QString relative = corpus.relativeFilePath(path);
        QString referenceName = relative.mid(4); // past "wmf/"
        referenceName.replace(QLatin1Char('/'), QStringLiteral("__"));
        referenceName.replace(QStringLiteral(".wmf"), QStringLiteral(".png"));
        const QImage reference(corpus.filePath(QStringLiteral("wmf-reference/") + referenceName));
        const pictures::LoadResult loaded
            = pictures::load(pictures::DecodeRequest::within(path, QSize(kCell * 2, kCell * 2)));
        const QImage ours = loaded.ok() ? onWhite(loaded.picture.image) : QImage();

        QImage row(QSize(kCell * 2 + 30, kCell + kLabel), QImage::Format_RGB32);
        row.fill(QColor(200, 200, 200));
        QPainter painter(&row);
        painter.drawText(QRect(4, 0, row.width(), kLabel), Qt::AlignVCenter,
            QStringLiteral("%1   ours %2x%3 (natural %4x%5)   |   reference")
                .arg(relative)
                .arg(ours.width())
                .arg(ours.height())
                .arg(loaded.picture.naturalSize.width())
                .arg(loaded.picture.naturalSize.height()));
        painter.drawImage(10, kLabel, fitted(ours, kCell));
        painter.drawImage(kCell + 20, kLabel, fitted(reference, kCell));
        painter.end();
        QFileInfo name(path);
        row.save(out.filePath(name.completeBaseName() + QStringLiteral(".png")));
        rows.append(row);
        QTextStream(stdout) << relative << (loaded.ok() ? " ok" : " FAILED ") << loaded.reason
                            << '\n';
    }

    // The sheet: two rows side by side.
    const int columns = 2;
    const int rowHeight = kCell + kLabel;
    const int rowWidth = kCell * 2 + 30;
    QImage sheet(QSize(rowWidth * columns, rowHeight * int((rows.size() + 1) / columns)),
        QImage::Format_RGB32);
    sheet.fill(Qt::darkGray);
    QPainter painter(&sheet);
    for (int i = 0; i < rows.size(); ++i) {
        painter.drawImage((i % columns) * rowWidth, (i / columns) * rowHeight, rows.at(i));
    }
    painter.end();
    sheet.save(out.filePath(QStringLiteral("sheet.png")));
    QTextStream(stdout) << out.filePath(QStringLiteral("sheet.png")) << '\n';
    return 0;
}
