#pragma once

#include <Qt>

// The virtual-key codes the key handlers are written against, and the one mapping from Qt keys.
namespace vk {

enum Code : int {
    None = 0,
    Pause = 19,
    Escape = 27,
    PageUp = 33,
    PageDown = 34,
    End = 35,
    Home = 36,
    Left = 37,
    Up = 38,
    Right = 39,
    Down = 40,
    Delete = 46,
    F1 = 112,
    F2 = 113,
    F4 = 115,
    F5 = 116,
    F7 = 118,
};

// Shift state as the handlers receive it: 1 Shift, 2 Ctrl, 4 Alt.
enum Shift : int { ShiftMask = 1, CtrlMask = 2, AltMask = 4 };

// The virtual-key code of a Qt key, or None for keys no handler knows.
int fromQtKey(int qtKey);
int shiftState(Qt::KeyboardModifiers modifiers);

} // namespace vk
