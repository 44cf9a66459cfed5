// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/StopSignals.h"

#include <csignal>

namespace {

// A signal handler can reach nothing else.
volatile sig_atomic_t stopFlag = 0;

void onStopSignal(int) {
    stopFlag = 1;
}

} // namespace

StopSignals::StopSignals() {
    std::signal(SIGINT, onStopSignal);
    std::signal(SIGTERM, onStopSignal);
}

bool StopSignals::stopRequested() const {
    return stopFlag != 0;
}

// Nothing wakes a wait here: it asks again every few milliseconds.
int StopSignals::wakeDescriptor() const {
    return -1;
}

void StopSignals::clearWake() {}
