// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// What a child runs: a program and its arguments, made as a list and never joined into one
// text, so that no shell or splitting rule stands between a field's text and the program.
struct CommandLine {
    QString program;
    QStringList arguments;
};
