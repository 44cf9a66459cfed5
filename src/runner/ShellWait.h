#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// Result of shellWait() when the program could not be started, before the error number is added.
inline constexpr qint32 startFailureBase = -2147221504; // 0x80040000 as a signed number

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

// 0 hidden .. 6 minimised without focus; anything else (or nothing) becomes 6.
int normalisedWindowStyle(std::optional<int> windowStyle);

// Runs the program named by the command line, never through a shell, and returns its
// exit status once it has ended. Window events keep being dispatched meanwhile, so a
// handler may run (and call shellWait again) inside the wait. The child's output is
// discarded. A program that cannot be started, or may have been written by another
// user, gives startFailureBase plus an error number at once.
qint32 shellWait(const QString& commandLine, std::optional<int> windowStyle = std::nullopt);

// Lets every pending window event run once, then returns.
void letPendingEventsRun();

// Ends the program at once, without unwinding: a child that shellWait() is waiting
// for is neither waited for nor stopped.
[[noreturn]] void endProgramNow();
