// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/StopSignals.h"

#include <atomic>
#include <windows.h>

namespace {

std::atomic<bool> stopFlag{false};

// Ctrl+C, Ctrl+Break and the console window closing ask the program to stop; the system runs
// this on a thread of its own, so it only sets the flag.
BOOL WINAPI onConsoleControl(DWORD event) {
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        stopFlag = true;
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

StopSignals::StopSignals() {
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

bool StopSignals::stopRequested() const {
    return stopFlag;
}

// Nothing wakes a wait here: it asks again every few milliseconds.
int StopSignals::wakeDescriptor() const {
    return -1;
}

void StopSignals::clearWake() {}
