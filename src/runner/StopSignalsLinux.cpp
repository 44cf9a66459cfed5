// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/StopSignals.h"

#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {

// A signal handler can reach nothing else.
volatile sig_atomic_t stopFlag = 0;
int wakePipe[2] = {-1, -1};

void onStopSignal(int) {
    stopFlag = 1;
    // A full pipe means the wait has been woken already.
    [[maybe_unused]] const ssize_t woken = wakePipe[1] >= 0 ? write(wakePipe[1], "x", 1) : 0;
}

} // namespace

StopSignals::StopSignals() {
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
}

bool StopSignals::stopRequested() const {
    return stopFlag != 0;
}

int StopSignals::wakeDescriptor() const {
    return wakePipe[0];
}

void StopSignals::clearWake() {
    char drained[64];
    while (wakePipe[0] >= 0 && read(wakePipe[0], drained, sizeof drained) > 0) {
    }
}
