// Measures the time from starting the program to its window being mapped on the X display
// named by DISPLAY (for example Xvfb :99), against a minimal Qt Widgets window built by the
// same CMake, in one run. The map is seen as the X event itself (MapNotify on the root
// window), not by polling. Settings and tool folder live in a temporary folder, kept across
// runs as a user's are, so every start after the first is a warm one. Prints figures only.
#include <QByteArray>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <vector>
#include <xcb/xcb.h>

extern char** environ;

namespace {

// Milliseconds from the start of the program to the map of its first top-level window.
double mappedMs(xcb_connection_t* x, const char* program) {
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program), nullptr};
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    double ms = -1;
    while (xcb_generic_event_t* event = xcb_wait_for_event(x)) {
        const bool mapped = (event->response_type & 0x7F) == XCB_MAP_NOTIFY &&
                            !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect;
        free(event);
        if (mapped) {
            ms = double(timer.nsecsElapsed()) / 1e6;
            break;
        }
    }
    kill(pid, SIGTERM); // our own child, not yet waited for
    int status = 0;
    waitpid(pid, &status, 0);
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs("usage: bench_startup <program> <minimal window> [runs]\n", stderr);
        return 2;
    }
    const int runs = argc > 3 ? std::atoi(argv[3]) : 15;
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fputs("no X display: start Xvfb and set DISPLAY\n", stderr);
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    xcb_flush(x);

    QTemporaryDir home;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit().constData(),
           1);
    setenv("TEMP", home.path().toLocal8Bit().constData(), 1);
    // The first start of each writes its settings and fills the caches.
    mappedMs(x, argv[1]);
    mappedMs(x, argv[2]);
    std::vector<double> program;
    std::vector<double> minimal;
    for (int run = 0; run < runs; ++run) {
        program.push_back(mappedMs(x, argv[1]));
        minimal.push_back(mappedMs(x, argv[2]));
    }
    std::printf("start to window mapped (median of %d warm starts): %.1f ms; minimal Qt Widgets "
                "window: %.1f ms; ratio %.3f (target: at most 1.2)\n",
                runs, median(program), median(minimal), median(program) / median(minimal));
    xcb_disconnect(x);
    return 0;
}
