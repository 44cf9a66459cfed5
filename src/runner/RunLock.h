// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <functional>
#include <memory>

class QLockFile;

// One run at a time owns the files of a set (a folder and a prefix): it holds a lock on a small
// file beside them while it lasts, so that a second run is refused instead of writing over
// the first one's tones and key. Runs that never overwrite take numbers no other run can take,
// so any number of them may share the lock. The lock goes with the process, however it ends;
// the file stays, holding the words that name the last run that took it.
class RunLock {
public:
    // Throws Failure naming the run that holds it, or why it cannot be taken. `holder`: the
    // words that name this run to the next one. `whileAlone` runs when no other run holds it,
    // before it is shared: what runs that were killed left behind may go then.
    RunLock(const QString& path, bool shared, const QString& holder,
            const std::function<void()>& whileAlone = {});
    ~RunLock();
    RunLock(const RunLock&) = delete;
    RunLock& operator=(const RunLock&) = delete;

    // Runs `update` while no other run that shares the lock runs its own.
    void inTurn(const std::function<void()>& update) const;

private:
    int m_fd = -1;
    std::unique_ptr<QLockFile> m_lockFile; // where open files have no byte locks
};

// The words that name this run: the program, its process and when it started.
QString thisRunText(const QString& program);
