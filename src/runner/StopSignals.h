// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// SIGINT, SIGTERM and SIGHUP ask the program to stop: the handler sets a flag and makes the
// wake descriptor readable. It does not restart the call it interrupts, so a blocking call
// (a wait, a read, a lock) returns and its caller sees the flag. One object for the program,
// made at start. On Windows Ctrl+C, Ctrl+Break and closing the console ask it, and nothing
// wakes: waits ask again every few milliseconds.
class StopSignals {
public:
    StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    bool stopRequested() const;
    // Readable once a stop signal came, until clearWake(); -1 when there is none.
    int wakeDescriptor() const;
    void clearWake();
};
