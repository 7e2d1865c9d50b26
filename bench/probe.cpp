// viewer_probe: starts a program on the X display and watches its windows the way a user sees
// them: woken by the Damage extension, it reads the pixels back from the server. Prints one line
// a script can read:
//   probe <first damage ms> <shown ms> <settled ms> <peak resident MB> <paints> <width>x<height>
// first damage: from starting the process to its first drawing into one of its windows; shown:
// to the first frame whose pixels show the window's content (`--expect`; -1 without it), read
// from the server when a drawing woke the probe; settled: to its last drawing before `--quiet` ms
// pass without any (a window that lists or loads after its first paint is settled when that
// shows); peak resident: the process's own maximum, read from the kernel when it ends (it is
// ended once settled); the size of the window that showed the content (0x0 without `--expect`).
//
// Under a window manager (`--window-manager` waits for one) the program's windows are the ones
// the manager lists as its clients, so the frame it draws around them is not counted; without
// one, every window mapped on the root.
//
// --expect x,y,width,height,dark: the content is there when that rectangle of the window (its
// own coordinates) is painted in light pixels (the window's colour: at least half of it, all but
// 2 % when dark is 0) and holds at least `dark` dark pixels (its text). The screen underneath must
// be dark (Xvfb -br), so that nothing but the window's own paint passes.
// Usage: viewer_probe [--quiet ms] [--timeout ms] [--window-manager] [--expect x,y,w,h,dark]
//                     <program> [arguments...]
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct Expected
{
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int dark = 0;
};

xcb_atom_t atom(xcb_connection_t *connection, const char *name)
{
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t result = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    free(reply);
    return result;
}

// The windows a property of the root lists (the manager's clients, its check window).
std::vector<xcb_window_t> windowsOf(
    xcb_connection_t *connection, xcb_window_t root, xcb_atom_t property)
{
    std::vector<xcb_window_t> windows;
    xcb_get_property_reply_t *reply = xcb_get_property_reply(connection,
        xcb_get_property(connection, 0, root, property, XCB_ATOM_WINDOW, 0, 4096), nullptr);
    if (reply && reply->format == 32) {
        const auto *values = static_cast<const xcb_window_t *>(xcb_get_property_value(reply));
        windows.assign(values, values + xcb_get_property_value_length(reply) / 4);
    }
    free(reply);
    return windows;
}

// Whether the expected rectangle of `window` shows the content now; `width` and `height` get
// the window's size.
bool showsContent(xcb_connection_t *connection, xcb_window_t window, const Expected &expected,
    int &width, int &height)
{
    xcb_get_geometry_reply_t *geometry
        = xcb_get_geometry_reply(connection, xcb_get_geometry(connection, window), nullptr);
    if (!geometry) {
        return false;
    }
    width = geometry->width;
    height = geometry->height;
    free(geometry);
    if (expected.x + expected.width > width || expected.y + expected.height > height) {
        return false;
    }
    xcb_get_image_reply_t *image = xcb_get_image_reply(connection,
        xcb_get_image(connection, XCB_IMAGE_FORMAT_Z_PIXMAP, window, int16_t(expected.x),
            int16_t(expected.y), uint16_t(expected.width), uint16_t(expected.height), ~0u),
        nullptr);
    if (!image) {
        return false;
    }
    const int pixels = expected.width * expected.height;
    bool shown = false;
    // 24- and 32-bit windows come back four bytes a pixel, blue, green, red.
    if ((image->depth == 24 || image->depth == 32)
        && xcb_get_image_data_length(image) >= pixels * 4) {
        const uint8_t *data = xcb_get_image_data(image);
        int light = 0;
        int dark = 0;
        for (int i = 0; i < pixels; ++i) {
            const uint8_t *p = data + 4 * i;
            light += std::min({ p[0], p[1], p[2] }) >= 200 ? 1 : 0;
            dark += std::max({ p[0], p[1], p[2] }) <= 120 ? 1 : 0;
        }
        shown = expected.dark > 0 ? light * 2 >= pixels && dark >= expected.dark
                                  : light * 50 >= pixels * 49;
    }
    free(image);
    return shown;
}

} // namespace

int main(int argc, char **argv)
{
    double quiet = 400;
    double timeout = 20000;
    bool windowManager = false;
    bool expecting = false;
    Expected expected;
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) == 0) {
        if (std::strcmp(argv[first], "--window-manager") == 0) {
            windowManager = true;
            first += 1;
            continue;
        }
        if (first + 1 >= argc) {
            break;
        }
        if (std::strcmp(argv[first], "--quiet") == 0) {
            quiet = std::atof(argv[first + 1]);
        } else if (std::strcmp(argv[first], "--timeout") == 0) {
            timeout = std::atof(argv[first + 1]);
        } else if (std::strcmp(argv[first], "--expect") == 0) {
            expecting = std::sscanf(argv[first + 1], "%d,%d,%d,%d,%d", &expected.x, &expected.y,
                            &expected.width, &expected.height, &expected.dark)
                    == 5
                && expected.width > 0 && expected.height > 0;
            if (!expecting) {
                std::fprintf(stderr, "viewer_probe: --expect x,y,width,height,dark\n");
                return 2;
            }
        } else {
            break;
        }
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr,
            "usage: viewer_probe [--quiet ms] [--timeout ms] [--window-manager] "
            "[--expect x,y,w,h,dark] program [args...]\n");
        return 2;
    }
    xcb_connection_t *connection = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(connection)) {
        std::fprintf(stderr, "viewer_probe: no X display\n");
        return 2;
    }
    const xcb_query_extension_reply_t *damage = xcb_get_extension_data(connection, &xcb_damage_id);
    if (!damage || !damage->present) {
        std::fprintf(stderr, "viewer_probe: the X server has no Damage extension\n");
        return 2;
    }
    free(xcb_damage_query_version_reply(
        connection, xcb_damage_query_version(connection, 1, 1), nullptr));
    const uint8_t damageNotify = damage->first_event + XCB_DAMAGE_NOTIFY;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(connection)).data->root;
    const xcb_atom_t clientList = atom(connection, "_NET_CLIENT_LIST");
    const xcb_atom_t wmCheck = atom(connection, "_NET_SUPPORTING_WM_CHECK");
    // A window manager started just before may not have announced itself yet.
    bool managed = !windowsOf(connection, root, wmCheck).empty();
    for (const auto wait = Clock::now(); windowManager && !managed && msSince(wait) < 5000;) {
        usleep(10000);
        managed = !windowsOf(connection, root, wmCheck).empty();
    }
    if (windowManager && !managed) {
        std::fprintf(stderr, "viewer_probe: no window manager on the display\n");
        return 2;
    }
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY | XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    // The windows of a program ended just before go first: their ids may come back for the new
    // program's windows (the server hands a closed connection's ids out again) while the manager
    // still lists them, and their tear-down would run beside the start measured. Clients still
    // there after that belong to no run of ours.
    std::vector<xcb_window_t> before = windowsOf(connection, root, clientList);
    for (const auto wait = Clock::now(); !before.empty() && msSince(wait) < 2000;) {
        usleep(10000);
        before = windowsOf(connection, root, clientList);
    }
    std::set<xcb_window_t> watched(before.begin(), before.end());
    std::vector<xcb_window_t> windows;

    const auto start = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "viewer_probe: cannot start %s\n", argv[first]);
        _exit(127);
    }
    double firstPaint = -1;
    double lastPaint = -1;
    double shown = -1;
    int shownWidth = 0;
    int shownHeight = 0;
    int paints = 0;
    bool exited = false;
    int status = 0;
    rusage usage {};
    pollfd fd { xcb_get_file_descriptor(connection), POLLIN, 0 };
    const auto watch = [&](xcb_window_t window) {
        if (!watched.insert(window).second) {
            return;
        }
        windows.push_back(window);
        xcb_damage_create(connection, xcb_generate_id(connection), window,
            XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
        xcb_flush(connection);
    };
    // Reads the windows' pixels back, until one shows the content.
    const auto look = [&] {
        if (!expecting || shown >= 0) {
            return;
        }
        const double at = msSince(start);
        for (xcb_window_t window : windows) {
            if (showsContent(connection, window, expected, shownWidth, shownHeight)) {
                shown = at;
                return;
            }
        }
    };
    for (;;) {
        const double now = msSince(start);
        if (now > timeout
            || (firstPaint >= 0 && (shown >= 0 || !expecting) && now - lastPaint >= quiet)) {
            break;
        }
        if (wait4(child, &status, WNOHANG, &usage) == child) {
            exited = true;
            break;
        }
        poll(&fd, 1, 5);
        bool drawn = false;
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY && !managed) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                if (!map->override_redirect) {
                    watch(map->window);
                    drawn = true; // it may have been drawn before the watch began
                }
            } else if (type == XCB_PROPERTY_NOTIFY && managed) {
                const auto *property = reinterpret_cast<xcb_property_notify_event_t *>(event);
                if (property->atom == clientList) {
                    for (xcb_window_t window : windowsOf(connection, root, clientList)) {
                        watch(window);
                    }
                    drawn = true;
                }
            } else if (type == damageNotify) {
                const double at = msSince(start);
                if (firstPaint < 0) {
                    firstPaint = at;
                }
                lastPaint = at;
                ++paints;
                drawn = true;
            }
            free(event);
        }
        if (drawn) {
            look();
        }
    }
    if (!exited) {
        kill(child, SIGTERM);
        wait4(child, &status, 0, &usage);
    }
    xcb_disconnect(connection);
    if (firstPaint < 0) {
        std::fprintf(stderr, "viewer_probe: %s painted no window\n", argv[first]);
        return 1;
    }
    if (expecting && shown < 0) {
        std::fprintf(stderr, "viewer_probe: %s never showed the expected content\n", argv[first]);
        return 1;
    }
    std::printf("probe %.2f %.2f %.2f %.1f %d %dx%d\n", firstPaint, shown, lastPaint,
        usage.ru_maxrss / 1024.0, paints, shownWidth, shownHeight);
    return 0;
}
