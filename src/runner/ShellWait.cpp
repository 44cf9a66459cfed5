// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ShellWait.h"

#include "runner/ChildProcess.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <optional>

#ifdef Q_OS_UNIX
#include <algorithm>
#include <limits>
#include <sys/resource.h>
#endif

int normalisedWindowStyle(std::optional<int> windowStyle) {
    constexpr int minimisedWithoutFocus = 6;
    if (!windowStyle || *windowStyle < 0 || *windowStyle > minimisedWithoutFocus)
        return minimisedWithoutFocus;
    return *windowStyle;
}

void letPendingEventsRun() {
    QCoreApplication::processEvents();
}

int raisedDescriptorLimit() {
#ifdef Q_OS_UNIX
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return int(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max()));
#else
    return 512;
#endif
}

void endProgramNow() {
    std::fflush(nullptr);
    std::_Exit(0);
}

QString resolvedProgram(const QString& program) {
    if (program.isEmpty() || program.contains(QLatin1Char('/')) ||
        program.contains(QLatin1Char('\\')))
        return program;
    return QStandardPaths::findExecutable(program);
}

ChildResult runAndWait(const CommandLine& command, int windowStyle, ChildrenInFlight* inFlight) {
    return runProgram(resolvedProgram(command.program), command.arguments, windowStyle, inFlight);
}

ChildResult shellWait(const CommandLine& command, std::optional<int> windowStyle,
                      ChildrenInFlight* inFlight) {
    return runAndWait(command, normalisedWindowStyle(windowStyle), inFlight);
}
