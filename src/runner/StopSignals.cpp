// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/StopSignals.h"

#include <QtGlobal>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

// A signal handler can reach nothing else.
volatile sig_atomic_t stopFlag = 0;
#ifdef Q_OS_UNIX
int wakePipe[2] = {-1, -1};
#endif

void onStopSignal(int) {
    stopFlag = 1;
#ifdef Q_OS_UNIX
    // A full pipe means the wait has been woken already.
    [[maybe_unused]] const ssize_t woken = wakePipe[1] >= 0 ? write(wakePipe[1], "x", 1) : 0;
#endif
}

} // namespace

StopSignals::StopSignals() {
#ifdef Q_OS_UNIX
    if (wakePipe[0] < 0 && pipe(wakePipe) == 0) {
        for (const int end : wakePipe) {
            fcntl(end, F_SETFD, FD_CLOEXEC);
            fcntl(end, F_SETFL, O_NONBLOCK);
        }
    }
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0; // no SA_RESTART
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
#else
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
#endif
}

bool StopSignals::stopRequested() const {
    return stopFlag != 0;
}

int StopSignals::wakeDescriptor() const {
#ifdef Q_OS_UNIX
    return wakePipe[0];
#else
    return -1;
#endif
}

void StopSignals::clearWake() {
#ifdef Q_OS_UNIX
    char drained[64];
    while (wakePipe[0] >= 0 && read(wakePipe[0], drained, sizeof drained) > 0) {
    }
#endif
}
