// SPDX-License-Identifier: GPL-3.0-or-later
// Children elsewhere than on Linux: started and watched through QProcess.
#include "runner/ChildProcess.h"
#include "runner/FileProbes.h"

#include <QEventLoop>
#include <QProcess>
#include <QThread>
#include <cerrno>
#include <optional>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

void applyWindowStyle([[maybe_unused]] QProcess& process, [[maybe_unused]] int style) {
#ifdef Q_OS_WIN
    // The styles are the ShowWindow values, but for 6 (minimised without focus).
    const WORD show = style == 6 ? SW_SHOWMINNOACTIVE : static_cast<WORD>(style);
    process.setCreateProcessArgumentsModifier([show](QProcess::CreateProcessArguments* args) {
        args->startupInfo->dwFlags |= STARTF_USESHOWWINDOW;
        args->startupInfo->wShowWindow = show;
        if (show == SW_HIDE)
            args->flags |= CREATE_NO_WINDOW;
    });
#endif
    // Elsewhere a command-line tool has no window to show.
}

// The error numbers of a start that failed, in the system's own numbering, which the message
// of a failed tone is read from.
#ifdef Q_OS_WIN
constexpr int programMissing = ERROR_FILE_NOT_FOUND;
constexpr int programUntrusted = ERROR_ACCESS_DENIED;
constexpr int programNotRun = ERROR_BAD_EXE_FORMAT;
#else
constexpr int programMissing = ENOENT;
constexpr int programUntrusted = EACCES;
constexpr int programNotRun = ENOEXEC;
#endif

// Starts the checked program with no pipes: a child whose reader is gone could die of a
// broken pipe after we close. Gives 0, or the result of a start that failed, whose error output
// holds the system's reason. A start the system refused is tried once more: under load
// (wine with several jobs) one may fail for a moment.
std::optional<ChildResult> startProcess(QProcess& process, const QString& program,
                                        const QStringList& arguments, int style) {
    if (!fileExists(program))
        return ChildResult{startFailureBase + programMissing, {}};
    if (!isTrustedProgramFile(program))
        return ChildResult{startFailureBase + programUntrusted, {}};
    process.setProgram(program);
    process.setArguments(arguments);
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    applyWindowStyle(process, style);
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt > 0)
            QThread::msleep(50);
        process.start();
        if (process.waitForStarted(-1))
            return std::nullopt;
    }
    return ChildResult{startFailureBase + programNotRun, process.errorString()};
}

// How a process that has ended ended.
ChildResult processResult(QProcess& process) {
    const QString errors =
        QString::fromLocal8Bit(process.readAllStandardError().left(keptErrorOutput));
    return {(process.exitStatus() == QProcess::CrashExit ? 128 : 0) + process.exitCode(), errors};
}

} // namespace

struct ChildrenInFlight::Entries {
    QList<QProcess*> processes;
};

ChildrenInFlight::ChildrenInFlight() : m_entries(std::make_unique<Entries>()) {}
ChildrenInFlight::~ChildrenInFlight() = default;

void ChildrenInFlight::stopAll() {
    for (QProcess* process : m_entries->processes) {
        process->kill();
        process->waitForFinished(-1);
    }
}

ChildResult runProgram(const QString& program, const QStringList& arguments, int style,
                       ChildrenInFlight* inFlight) {
    QProcess process;
    QEventLoop wait;
    QObject::connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &wait, &QEventLoop::quit);
    if (std::optional<ChildResult> failed = startProcess(process, program, arguments, style))
        return *failed;
    if (inFlight)
        inFlight->entries().processes.append(&process);
    // The end of the child is an event: the loop sleeps until then, dispatching
    // window events, and returns as soon as the child has gone.
    while (process.state() != QProcess::NotRunning)
        wait.exec();
    if (inFlight)
        inFlight->entries().processes.removeOne(&process);
    return processResult(process);
}

struct StartedChild::State {
    QProcess process;
    std::optional<ChildResult> result;
};

StartedChild::StartedChild(const CommandLine& command, ChildrenInFlight*)
    : m_state(std::make_unique<State>()) {
    m_state->result =
        startProcess(m_state->process, resolvedProgram(command.program), command.arguments, 0);
}

StartedChild::~StartedChild() {
    stop();
}

int StartedChild::endDescriptor() const {
    return -1;
}

bool StartedChild::hasEnded() {
    if (m_state->result)
        return true;
    QProcess& process = m_state->process;
    if (process.state() != QProcess::NotRunning && !process.waitForFinished(0))
        return false;
    m_state->result = processResult(process);
    return true;
}

ChildResult StartedChild::result() const {
    return m_state->result.value_or(ChildResult{});
}

void StartedChild::stop() {
    if (m_state->result)
        return;
    m_state->process.kill();
    m_state->process.waitForFinished(-1);
    hasEnded();
}

void waitForAnyEnd(const QList<int>&, int, int) {
    QThread::msleep(2);
}

int raisedDescriptorLimit() {
    // The C runtime's own limit on open files.
    return 512;
}
