// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: waits for the program given as its first argument, run with the arguments after
// it, and ends the program the way closing the window does while that wait is still under way.
#include "runner/ChildRun.h"

#include <QCoreApplication>
#include <QTimer>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTimer::singleShot(100, [] { endProgramNow(); });
    const QStringList arguments = app.arguments();
    return runChild(CommandLine{arguments.value(1), arguments.mid(2)}, 0).status;
}
