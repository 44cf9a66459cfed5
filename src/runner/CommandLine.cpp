// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/CommandLine.h"

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
