// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// A command line as program and arguments, and the rules of Windows command lines by which
// a text becomes one and back.
struct CommandLine {
    QString program;
    QStringList arguments;
};

// The text between double quotes, so that splitCommandLine() gives it back as one
// argument whatever it holds: a quote inside is escaped with a backslash, as are
// backslashes that stand before a quote (the rules of Windows command lines).
QString quotedArgument(const QString& text);

// Splits a command line at blanks outside double quotes; the quotes are dropped, a
// quoted empty text stays an (empty) argument, and backslashes escape a quote.
CommandLine splitCommandLine(const QString& commandLine);
