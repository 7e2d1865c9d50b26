// The benchmark table as a picture: one row a comparison, our bar against the reference's, each
// row scaled to its larger value, the figures and the target written beside them.
#include "measurement.h"

#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {
struct Row
{
    QString name;
    double ours = 0;
    QString referenceName;
    double reference = 0;
    QString target;
    bool met = false;
};
} // namespace

int drawChart(const QString &tablePath, const QString &pngPath)
{
    QFile file(tablePath);
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(tablePath));
        return 1;
    }
    std::vector<Row> rows;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QList<QByteArray> f = line.split('\t');
        if (f.size() < 6 || line.startsWith('#')) {
            continue;
        }
        rows.push_back({ QString::fromUtf8(f[0]), f[1].toDouble(), QString::fromUtf8(f[2]),
            f[3].toDouble(), QString::fromUtf8(f[4]), f[5].trimmed() == "1" });
    }
    const int rowHeight = 58;
    const int labelWidth = 330;
    const int barWidth = 520;
    // The target with the ratio, and for ratios taken round by round their spread, in two lines.
    const int targetWidth = 260;
    const int width = labelWidth + barWidth + 70 + targetWidth;
    const int height = 60 + int(rows.size()) * rowHeight + 20;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font = painter.font();
    font.setPixelSize(13);
    painter.setFont(font);
    QFont bold = font;
    bold.setBold(true);
    bold.setPixelSize(16);
    painter.setFont(bold);
    painter.drawText(12, 28, QStringLiteral("Viewer against reference tools (shorter is better)"));
    painter.setFont(font);
    painter.setPen(QColor(90, 90, 90));
    painter.drawText(12, 48,
        QStringLiteral("blue: the viewer   grey: reference   green/red: target met / missed"));
    int y = 60;
    for (const Row &row : rows) {
        const double scale = std::max({ row.ours, row.reference, 1e-9 });
        const int ours = int(barWidth * row.ours / scale);
        const int reference = int(barWidth * row.reference / scale);
        painter.setPen(Qt::black);
        painter.drawText(
            QRect(12, y, labelWidth - 20, 20), Qt::AlignLeft | Qt::AlignVCenter, row.name);
        painter.setPen(QColor(90, 90, 90));
        painter.drawText(QRect(12, y + 22, labelWidth - 20, 20), Qt::AlignLeft | Qt::AlignVCenter,
            row.referenceName);
        painter.fillRect(labelWidth, y + 3, std::max(ours, 1), 16, QColor(52, 101, 164));
        if (row.reference > 0) {
            painter.fillRect(labelWidth, y + 25, std::max(reference, 1), 16, QColor(160, 160, 160));
        }
        painter.setPen(Qt::black);
        painter.drawText(labelWidth + ours + 6, y + 16, QString::number(row.ours, 'f', 2));
        if (row.reference > 0) {
            painter.drawText(
                labelWidth + reference + 6, y + 38, QString::number(row.reference, 'f', 2));
        }
        painter.setPen(row.met ? QColor(30, 130, 30) : QColor(190, 30, 30));
        painter.drawText(QRect(labelWidth + barWidth + 70, y, targetWidth - 10, 44),
            Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap, row.target);
        y += rowHeight;
    }
    painter.end();
    if (!image.save(pngPath)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(pngPath));
        return 1;
    }
    return 0;
}
