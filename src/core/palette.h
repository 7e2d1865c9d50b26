#pragma once

#include <QColor>

// The fixed sixteen-colour palette; colours are stored and passed as an index 0..15.
namespace palette {

constexpr int kCount = 16;
constexpr int kHighlight = 14; // yellow: a highlighted caption, a held slide show
constexpr int kPlain = 15; // bright white: a plain caption, a running slide show

bool isValidIndex(int index);
// The colour of a valid index; black for anything else.
QColor color(int index);
// The index of a palette colour, or -1 when the colour is not in the palette.
int indexOf(const QColor &color);
// The next index: add one, 16 becomes 0.
int advance(int index);

} // namespace palette
