#pragma once

#include <QIcon>

// The program's own icon (a picture in a frame), in the sizes a window needs, for its
// windows, its message boxes and the help viewer.
QIcon programIcon();
