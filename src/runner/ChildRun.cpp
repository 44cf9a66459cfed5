// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ChildRun.h"

#include "runner/ChildProcess.h"

#include <QCoreApplication>
#include <QStandardPaths>
#include <cstdio>
#include <cstdlib>
#include <optional>

int normalisedWindowStyle(std::optional<int> windowStyle) {
    constexpr int minimisedWithoutFocus = 6;
    if (!windowStyle || *windowStyle < 0 || *windowStyle > minimisedWithoutFocus)
        return minimisedWithoutFocus;
    return *windowStyle;
}

void letPendingEventsRun() {
    QCoreApplication::processEvents();
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

ChildResult runChild(const CommandLine& command, std::optional<int> windowStyle,
                     ChildrenInFlight* inFlight) {
    return runAndWait(command, normalisedWindowStyle(windowStyle), inFlight);
}
