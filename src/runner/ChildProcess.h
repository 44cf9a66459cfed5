// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the runners of children on each platform share with the portable part; for the
// runner's own files only.

#include "runner/ChildRun.h"

// The program's path, looked up in PATH when it names no folder.
QString resolvedProgram(const QString& program);

// The first bytes of a child's error output are kept: enough for its reason.
inline constexpr qint64 keptErrorOutput = 4096;

// Runs the program, never through a shell, and returns once it has ended, window events
// being dispatched meanwhile (runAndWait()).
ChildResult runProgram(const QString& program, const QStringList& arguments, int windowStyle,
                       ChildrenInFlight* inFlight);
