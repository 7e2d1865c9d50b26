#include "palette.h"

#include <array>

namespace palette {

namespace {
    constexpr std::array<QRgb, kCount> s_colors = {
        qRgb(0, 0, 0),
        qRgb(0, 0, 128),
        qRgb(0, 128, 0),
        qRgb(0, 128, 128),
        qRgb(128, 0, 0),
        qRgb(128, 0, 128),
        qRgb(128, 128, 0),
        qRgb(192, 192, 192),
        qRgb(128, 128, 128),
        qRgb(0, 0, 255),
        qRgb(0, 255, 0),
        qRgb(0, 255, 255),
        qRgb(255, 0, 0),
        qRgb(255, 0, 255),
        qRgb(255, 255, 0),
        qRgb(255, 255, 255),
    };
} // namespace

bool isValidIndex(int index)
{
    return index >= 0 && index < kCount;
}

QColor color(int index)
{
    return isValidIndex(index) ? QColor(s_colors[std::size_t(index)]) : QColor(Qt::black);
}

int indexOf(const QColor &c)
{
    for (int i = 0; i < kCount; ++i) {
        if (s_colors[std::size_t(i)] == c.rgb()) {
            return i;
        }
    }
    return -1;
}

int advance(int index)
{
    const int next = index + 1;
    return next > kCount - 1 ? 0 : next;
}

} // namespace palette
