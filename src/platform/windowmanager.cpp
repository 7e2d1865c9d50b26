// What the program asks of the X11 window manager directly, where Qt has no call for it.

#include "controls.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QThread>
#include <QWindow>

#if QT_CONFIG(xcb)
#include <QtGui/qguiapplication_platform.h>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#endif

namespace controls {

#if QT_CONFIG(xcb)
namespace {

    // How long the window manager has to answer; it answers within a round trip or not at all.
    constexpr int kFrameAnswerMs = 300;

    xcb_connection_t *x11Connection()
    {
        auto *x11
            = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
        return x11 ? x11->connection() : nullptr;
    }

    struct FreeReply
    {
        void operator()(void *reply) const { std::free(reply); }
    };
    template<class Reply> using ReplyPtr = std::unique_ptr<Reply, FreeReply>;

    xcb_atom_t atom(xcb_connection_t *connection, const char *name)
    {
        const ReplyPtr<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(connection,
            xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr));
        return reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    }

    xcb_window_t rootOf(xcb_connection_t *connection)
    {
        const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(connection));
        return screens.rem ? screens.data->root : xcb_window_t(XCB_WINDOW_NONE);
    }

    // Whether the window manager says it supports `wanted` (in _NET_SUPPORTED on the root).
    bool supported(xcb_connection_t *connection, xcb_window_t root, xcb_atom_t wanted)
    {
        const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection,
            xcb_get_property(
                connection, 0, root, atom(connection, "_NET_SUPPORTED"), XCB_ATOM_ATOM, 0, 4096),
            nullptr));
        if (!reply || reply->format != 32) {
            return false;
        }
        const auto *atoms = static_cast<const xcb_atom_t *>(xcb_get_property_value(reply.get()));
        const int count = xcb_get_property_value_length(reply.get()) / 4;
        return std::find(atoms, atoms + count, wanted) != atoms + count;
    }

    // The window's _NET_FRAME_EXTENTS (left, right, top, bottom), if it has them.
    bool frameExtents(
        xcb_connection_t *connection, xcb_window_t window, xcb_atom_t extents, QMargins *frame)
    {
        const ReplyPtr<xcb_get_property_reply_t> reply(xcb_get_property_reply(connection,
            xcb_get_property(connection, 0, window, extents, XCB_ATOM_CARDINAL, 0, 4), nullptr));
        if (!reply || reply->format != 32 || xcb_get_property_value_length(reply.get()) != 16) {
            return false;
        }
        const auto *values = static_cast<const uint32_t *>(xcb_get_property_value(reply.get()));
        *frame = QMargins(int(values[0]), int(values[2]), int(values[1]), int(values[3]));
        return true;
    }

} // namespace
#endif

QMargins windowFrameFor(QWidget *window)
{
#if QT_CONFIG(xcb)
    xcb_connection_t *connection = x11Connection();
    const xcb_window_t root = connection ? rootOf(connection) : xcb_window_t(XCB_WINDOW_NONE);
    const xcb_atom_t request
        = connection ? atom(connection, "_NET_REQUEST_FRAME_EXTENTS") : xcb_atom_t(XCB_ATOM_NONE);
    if (root != XCB_WINDOW_NONE && request != XCB_ATOM_NONE
        && supported(connection, root, request)) {
        // Asked for a stand-in of the same kind (type, decorations, whether it can be resized),
        // never shown: a window created early would take its position without the frame.
        QWidget probe(nullptr, window->windowFlags());
        probe.setMinimumSize(window->minimumSize());
        probe.setMaximumSize(window->maximumSize());
        probe.resize(window->size());
        const auto id = xcb_window_t(probe.winId());
        const xcb_atom_t extents = atom(connection, "_NET_FRAME_EXTENTS");
        xcb_client_message_event_t message = {};
        message.response_type = XCB_CLIENT_MESSAGE;
        message.format = 32;
        message.window = id;
        message.type = request;
        xcb_send_event(connection, 0, root,
            XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
            reinterpret_cast<const char *>(&message));
        xcb_flush(connection);
        const QDeadlineTimer deadline(kFrameAnswerMs);
        QMargins frame;
        do {
            if (frameExtents(connection, id, extents, &frame)) {
                return frame;
            }
            QThread::msleep(5);
        } while (!deadline.hasExpired());
    }
#endif
    return windowFrame();
}

void stackAbove(QWidget *box, QWindow *window)
{
#if QT_CONFIG(xcb)
    xcb_connection_t *connection = x11Connection();
    if (!connection) {
        return;
    }
    // What a dialog of `window` says of itself: the window manager keeps it in the window's
    // layer (the full-screen one too) and above it.
    const auto id = xcb_window_t(box->winId());
    if (window) {
        const auto over = xcb_window_t(window->winId());
        xcb_change_property(connection, XCB_PROP_MODE_REPLACE, id, XCB_ATOM_WM_TRANSIENT_FOR,
            XCB_ATOM_WINDOW, 32, 1, &over);
    } else {
        xcb_delete_property(connection, id, XCB_ATOM_WM_TRANSIENT_FOR);
    }
    xcb_flush(connection);
#else
    Q_UNUSED(box);
    Q_UNUSED(window);
#endif
}

} // namespace controls
