// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/CommandLine.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <memory>
#include <optional>

// Result of runChild() when the program could not be started, before the error number is added.
inline constexpr qint32 startFailureBase = -2147221504; // 0x80040000 as a signed number

// Whether a status tells a start that failed: a Windows program may end with a status that is
// negative as well (0xC0000135, a library not found).
inline bool isStartFailure(qint32 status) {
    return status >= startFailureBase && status < startFailureBase + 0x10000;
}

// 0 hidden .. 6 minimised without focus; anything else (or nothing) becomes 6.
int normalisedWindowStyle(std::optional<int> windowStyle);

// How a child ended: its exit status (128 plus the signal when a signal ended it), or
// startFailureBase plus an error number when it could not be started; and the start of
// what it wrote to its error output.
struct ChildResult {
    qint32 status = 0;
    QString errorOutput;
};

// The children whose waits are under way, kept by whoever runs them (the window's session),
// so that a Stop button or a closing window can end them from inside the wait; and what
// their starts share: the error output files and the opened program.
class ChildrenInFlight {
public:
    ChildrenInFlight();
    ~ChildrenInFlight();
    ChildrenInFlight(const ChildrenInFlight&) = delete;
    ChildrenInFlight& operator=(const ChildrenInFlight&) = delete;

    // Ends every child being waited for, and returns when they have gone; their waits then
    // give 128 plus SIGKILL.
    void stopAll();

    struct Entries; // what each platform's runner keeps of a child
    Entries& entries() { return *m_entries; }

private:
    std::unique_ptr<Entries> m_entries;
};

// Runs the program with its arguments, never through a shell, and returns once it has
// ended. Window events keep being dispatched meanwhile, so a handler may run (and start
// another child) inside the wait. The child's standard output is discarded. A program that
// cannot be started, or may have been written by another user, fails at once. While it
// runs, the child is among `inFlight`, when given.
ChildResult runAndWait(const CommandLine& command, int windowStyle = 0,
                       ChildrenInFlight* inFlight = nullptr);

// runAndWait() with the window style as the caller gives it (normalisedWindowStyle()): the
// whole result, error output included.
ChildResult runChild(const CommandLine& command, std::optional<int> windowStyle,
                     ChildrenInFlight* inFlight = nullptr);

// A child started without waiting for it, for a program that runs several at once. Started
// as runAndWait() starts one (never through a shell, checked file, no standard output); a
// child still running when the object goes is ended.
class StartedChild {
public:
    // Its error output file and its opened program are kept by the owner, when given, for the
    // children after it.
    explicit StartedChild(const CommandLine& command, ChildrenInFlight* owner = nullptr);
    ~StartedChild();
    StartedChild(const StartedChild&) = delete;
    StartedChild& operator=(const StartedChild&) = delete;

    // Readable once the child has ended; -1 when there is nothing to watch (it never
    // started, has been reaped, or the system offers no such descriptor).
    int endDescriptor() const;
    // Whether the child has ended or never started; never blocks.
    bool hasEnded();
    // How it ended, once hasEnded().
    ChildResult result() const;
    // Ends the child and returns once it has gone.
    void stop();

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Sleeps until one of the end descriptors (StartedChild::endDescriptor(), or another
// maker's) or the wake descriptor (-1 for none) becomes readable, or for at most `timeoutMs`
// (-1: no limit); may return early. An end of -1 cannot be watched: it is asked for again
// every few milliseconds.
void waitForAnyEnd(const QList<int>& endDescriptors, int wakeDescriptor, int timeoutMs = -1);

// How many files the program may have open, once the limit has been raised as far as the
// system lets it: children started side by side each hold a few.
int raisedDescriptorLimit();

// Lets every pending window event run once, then returns.
void letPendingEventsRun();

// Ends the program at once, without unwinding: a child that runChild() is waiting
// for is neither waited for nor stopped.
[[noreturn]] void endProgramNow();
