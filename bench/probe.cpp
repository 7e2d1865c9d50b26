// viewer_probe: starts a program on the X display and watches its windows with the Damage
// extension, the way a user sees them. Prints one line a script can read:
//   probe <first paint ms> <settled ms> <peak resident MB> <paints>
// first paint: from starting the process to its first drawing into a window it mapped; settled:
// to its last drawing before `--quiet` ms pass without any (a window that lists or loads after
// its first paint is settled when that shows); peak resident: the process's own maximum, read
// from the kernel when it ends (it is ended once settled).
// Usage: viewer_probe [--quiet ms] [--timeout ms] <program> [arguments...]
#include <xcb/damage.h>
#include <xcb/xcb.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

double msSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main(int argc, char **argv)
{
    double quiet = 400;
    double timeout = 20000;
    int first = 1;
    while (first + 1 < argc && argv[first][0] == '-' && argv[first][1] == '-') {
        if (std::strcmp(argv[first], "--quiet") == 0) {
            quiet = std::atof(argv[first + 1]);
        } else if (std::strcmp(argv[first], "--timeout") == 0) {
            timeout = std::atof(argv[first + 1]);
        } else {
            break;
        }
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: viewer_probe [--quiet ms] [--timeout ms] program [args...]\n");
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
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(connection, root, XCB_CW_EVENT_MASK, &mask);
    // The server has taken the mask before the program starts.
    free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr));

    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::fprintf(stderr, "viewer_probe: cannot start %s\n", argv[first]);
        _exit(127);
    }
    double firstPaint = -1;
    double lastPaint = -1;
    int paints = 0;
    bool exited = false;
    int status = 0;
    rusage usage {};
    pollfd fd { xcb_get_file_descriptor(connection), POLLIN, 0 };
    for (;;) {
        const double now = msSince(start);
        if (now > timeout || (firstPaint >= 0 && now - lastPaint >= quiet)) {
            break;
        }
        if (wait4(child, &status, WNOHANG, &usage) == child) {
            exited = true;
            break;
        }
        poll(&fd, 1, 5);
        while (xcb_generic_event_t *event = xcb_poll_for_event(connection)) {
            const uint8_t type = event->response_type & 0x7f;
            if (type == XCB_MAP_NOTIFY) {
                const auto *map = reinterpret_cast<xcb_map_notify_event_t *>(event);
                const xcb_damage_damage_t id = xcb_generate_id(connection);
                xcb_damage_create(
                    connection, id, map->window, XCB_DAMAGE_REPORT_LEVEL_RAW_RECTANGLES);
                xcb_flush(connection);
            } else if (type == damageNotify) {
                const double at = msSince(start);
                if (firstPaint < 0) {
                    firstPaint = at;
                }
                lastPaint = at;
                ++paints;
            }
            free(event);
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
    std::printf(
        "probe %.2f %.2f %.1f %d\n", firstPaint, lastPaint, usage.ru_maxrss / 1024.0, paints);
    return 0;
}
