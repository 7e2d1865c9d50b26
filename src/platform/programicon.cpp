#include "programicon.h"

QIcon programIcon()
{
    // Up to 64 pixels, a 32-pixel icon on a 2x screen: every window hands each size to the window
    // system, and the larger ones serve only the desktop entry, from the installed icon theme.
    QIcon icon;
    for (const int size : { 16, 24, 32, 48, 64 }) {
        icon.addFile(QStringLiteral(":/icons/querndal-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}
