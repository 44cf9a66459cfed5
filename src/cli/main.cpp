#include "cli/BatchOptions.h"
#include "cli/BatchRun.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ziravel-batch"));
    QCoreApplication::setApplicationVersion(QStringLiteral(ZIRAVEL_VERSION));
    const auto request = readBatchRequest(QCoreApplication::arguments());
    if (const auto* answer = std::get_if<BatchAnswer>(&request)) {
        std::fputs(qPrintable(answer->text), answer->exitStatus == 0 ? stdout : stderr);
        return answer->exitStatus;
    }
    return runBatch(std::get<BatchRequest>(request));
}
