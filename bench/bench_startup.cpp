// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the time from starting the program to the first frame its window draws on the X
// display named by DISPLAY (for example Xvfb :99), against a window with the same controls
// and no logic behind them, built by the same CMake (plain_window), starts alternated in one
// run. The frame is seen as the X server's own damage report for the screen (the DAMAGE
// extension on the root window) inside the window mapped, not by polling. Settings and tool
// folder live in a temporary folder, kept across runs as a user's are, so every start after
// the first is a warm one. Prints figures only.
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
#include <xcb/damage.h>
#include <xcb/xcb.h>

extern char** environ;

namespace {

// The screen's damage, reported for every drawing, and the first event number it uses.
struct ScreenDamage {
    xcb_damage_damage_t damage;
    uint8_t firstEvent;
};

// Milliseconds from the start of the program to the first drawing inside its first mapped
// top-level window.
double drawnMs(xcb_connection_t* x, const ScreenDamage& screen, const char* program) {
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    char* argv[] = {const_cast<char*>(program), nullptr};
    if (posix_spawn(&pid, program, nullptr, nullptr, argv, environ) != 0)
        return -1;
    double ms = -1;
    xcb_window_t window = XCB_NONE;
    while (xcb_generic_event_t* event = xcb_wait_for_event(x)) {
        const uint8_t type = event->response_type & 0x7F;
        if (type == XCB_MAP_NOTIFY &&
            !reinterpret_cast<xcb_map_notify_event_t*>(event)->override_redirect &&
            window == XCB_NONE) {
            window = reinterpret_cast<xcb_map_notify_event_t*>(event)->window;
        } else if (type == screen.firstEvent + XCB_DAMAGE_NOTIFY && window != XCB_NONE) {
            // Drawing before the map is no frame of the window's.
            ms = double(timer.nsecsElapsed()) / 1e6;
            free(event);
            break;
        }
        if (type == screen.firstEvent + XCB_DAMAGE_NOTIFY)
            xcb_damage_subtract(x, screen.damage, XCB_NONE, XCB_NONE);
        xcb_flush(x);
        free(event);
    }
    kill(pid, SIGTERM); // our own child, not yet waited for
    int status = 0;
    waitpid(pid, &status, 0);
    // What the window's end damaged is not the next start's.
    xcb_damage_subtract(x, screen.damage, XCB_NONE, XCB_NONE);
    xcb_flush(x);
    while (xcb_generic_event_t* event = xcb_poll_for_event(x))
        free(event);
    return ms;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc < 3) {
        std::fputs("usage: bench_startup <program> <plain window> [runs]\n", stderr);
        return 2;
    }
    const int runs = std::max(7, argc > 3 ? std::atoi(argv[3]) : 15);
    xcb_connection_t* x = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(x)) {
        std::fputs("no X display: start Xvfb and set DISPLAY\n", stderr);
        return 1;
    }
    xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(x, &xcb_damage_id);
    if (!extension || !extension->present) {
        std::fputs("the X server has no DAMAGE extension\n", stderr);
        return 1;
    }
    xcb_discard_reply(x, xcb_damage_query_version(x, 1, 1).sequence);
    // Every drawing on the screen, a window's included, is damage to the root window.
    const ScreenDamage damage{xcb_generate_id(x), extension->first_event};
    xcb_damage_create(x, damage.damage, screen->root, XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    xcb_flush(x);

    QTemporaryDir home;
    setenv("HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_CONFIG_HOME", (home.path() + QStringLiteral("/config")).toLocal8Bit().constData(),
           1);
    setenv("TEMP", home.path().toLocal8Bit().constData(), 1);
    // The first start of each writes its settings and fills the caches.
    drawnMs(x, damage, argv[1]);
    drawnMs(x, damage, argv[2]);
    std::vector<double> program;
    std::vector<double> plain;
    for (int run = 0; run < runs; ++run) {
        program.push_back(drawnMs(x, damage, argv[1]));
        plain.push_back(drawnMs(x, damage, argv[2]));
    }
    std::printf("start to first frame drawn (median of %d warm starts): %.1f ms; the same "
                "controls with no logic: %.1f ms; ratio %.3f (target: at most 1.15)\n",
                runs, median(program), median(plain), median(program) / median(plain));
    xcb_disconnect(x);
    return 0;
}
