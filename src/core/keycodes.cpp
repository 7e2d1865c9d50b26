#include "keycodes.h"

namespace vk {

int fromQtKey(int qtKey)
{
    switch (qtKey) {
    case Qt::Key_Pause:
        return Pause;
    case Qt::Key_Escape:
        return Escape;
    case Qt::Key_End:
        return End;
    case Qt::Key_PageUp:
        return PageUp;
    case Qt::Key_PageDown:
        return PageDown;
    case Qt::Key_Home:
        return Home;
    case Qt::Key_Left:
        return Left;
    case Qt::Key_Up:
        return Up;
    case Qt::Key_Right:
        return Right;
    case Qt::Key_Down:
        return Down;
    case Qt::Key_Delete:
        return Delete;
    default:
        break;
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return F1 + (qtKey - Qt::Key_F1);
    }
    return None;
}

int shiftState(Qt::KeyboardModifiers modifiers)
{
    int state = 0;
    if (modifiers & Qt::ShiftModifier) {
        state |= ShiftMask;
    }
    if (modifiers & Qt::ControlModifier) {
        state |= CtrlMask;
    }
    if (modifiers & Qt::AltModifier) {
        state |= AltMask;
    }
    return state;
}

} // namespace vk
