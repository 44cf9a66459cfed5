// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: waits for the command line given as its only argument, and ends the
// program the way closing the window does while that wait is still under way.
#include "runner/ShellWait.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTimer::singleShot(100, [] { endProgramNow(); });
    return shellWait(QString::fromLocal8Bit(argv[1]), 0);
}
