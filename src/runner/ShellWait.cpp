#include "runner/ShellWait.h"

#include "runner/FileProbes.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

QString quotedArgument(const QString& text) {
    QString quoted = QStringLiteral("\"");
    qsizetype backslashes = 0; // in a row, just written
    for (const QChar c : text) {
        if (c == QLatin1Char('"')) {
            // Backslashes before a quote are doubled, and the quote itself escaped.
            quoted += QString(backslashes + 1, QLatin1Char('\\'));
            backslashes = 0;
        } else {
            backslashes = c == QLatin1Char('\\') ? backslashes + 1 : 0;
        }
        quoted += c;
    }
    // Backslashes before the closing quote must not escape it.
    return quoted + QString(backslashes, QLatin1Char('\\')) + QLatin1Char('"');
}

CommandLine splitCommandLine(const QString& commandLine) {
    QStringList pieces;
    QString piece;
    bool inPiece = false;
    bool quoted = false;
    for (qsizetype i = 0; i < commandLine.size(); ++i) {
        const QChar c = commandLine[i];
        if (c == QLatin1Char('\\')) {
            qsizetype backslashes = 1;
            while (i + backslashes < commandLine.size() &&
                   commandLine[i + backslashes] == QLatin1Char('\\'))
                ++backslashes;
            const bool beforeQuote = i + backslashes < commandLine.size() &&
                                     commandLine[i + backslashes] == QLatin1Char('"');
            // Only before a quote do backslashes escape: 2n give n, 2n + 1 give n and a quote.
            piece += QString(beforeQuote ? backslashes / 2 : backslashes, QLatin1Char('\\'));
            if (beforeQuote && backslashes % 2 == 1) {
                piece += QLatin1Char('"');
                ++i;
            }
            i += backslashes - 1;
            inPiece = true;
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            inPiece = true;
        } else if (c == QLatin1Char(' ') && !quoted) {
            if (inPiece)
                pieces.append(piece);
            piece.clear();
            inPiece = false;
        } else {
            piece.append(c);
            inPiece = true;
        }
    }
    if (inPiece)
        pieces.append(piece);

    CommandLine command;
    if (!pieces.isEmpty())
        command.program = pieces.takeFirst();
    command.arguments = pieces;
    return command;
}

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

QString resolvedProgram(const QString& program) {
    if (program.isEmpty() || program.contains(QLatin1Char('/')) ||
        program.contains(QLatin1Char('\\')))
        return program;
    return QStandardPaths::findExecutable(program);
}

} // namespace

qint32 shellWait(const QString& commandLine, std::optional<int> windowStyle) {
    const int style = normalisedWindowStyle(windowStyle);
    const CommandLine command = splitCommandLine(commandLine);
    const QString program = resolvedProgram(command.program);
    if (!fileExists(program))
        return startFailureBase + ENOENT;
    if (!isTrustedProgramFile(program))
        return startFailureBase + EACCES;

    QProcess process;
    process.setProgram(program);
    process.setArguments(command.arguments);
    // No pipes: a child whose reader is gone could die of a broken pipe after we close.
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    applyWindowStyle(process, style);

    QEventLoop wait;
    QObject::connect(&process, &QProcess::finished, &wait, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &wait, &QEventLoop::quit);
    process.start();
    if (!process.waitForStarted(-1))
        return startFailureBase + ENOEXEC;
    // The end of the child is an event: the loop sleeps until then, dispatching
    // window events, and returns as soon as the child has gone.
    while (process.state() != QProcess::NotRunning)
        wait.exec();

    if (process.exitStatus() == QProcess::CrashExit)
        return 128 + process.exitCode();
    return process.exitCode();
}
