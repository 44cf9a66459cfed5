// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BatchOptions.h"
#include "cli/MakeCommand.h"

#include <QCoreApplication>
#include <cstdio>

namespace {

// Qt's own warnings (a missing XDG_RUNTIME_DIR on a server, ...) are no business of a batch's
// user: only what the program says reaches standard error.
void dropQtNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(dropQtNotes);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ziravel-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZIRAVEL_VERSION));
    const auto request = readBatchRequest(argc, argv);
    if (const auto* answer = std::get_if<BatchAnswer>(&request)) {
        std::fputs(qPrintable(answer->text), answer->exitStatus == 0 ? stdout : stderr);
        return answer->exitStatus;
    }
    if (const auto* merge = std::get_if<MergeRequest>(&request))
        return mergeShards(*merge);
    if (const auto* simulate = std::get_if<SimulateRequest>(&request))
        return runSimulation(*simulate);
    return runBatch(std::get<BatchRequest>(request));
}
