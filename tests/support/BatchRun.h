// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "ToneRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <functional>
#include <pty.h>
#include <unistd.h>

// Runs of ziravel-batch as the suites of its tests drive it.
using TestSupport::contentOf;

// The key a batch at the default prefix writes.
inline const QString answerKeyFileName = QStringLiteral("Ziravel_tones.csv");

// The arguments with the engine this run of the suite is for (ZIRAVEL_TEST_ENGINE), unless
// they name one.
inline QStringList withEngine(QStringList arguments) {
    const QString engine = qEnvironmentVariable("ZIRAVEL_TEST_ENGINE");
    if (!engine.isEmpty() && !arguments.contains(QStringLiteral("--engine")))
        arguments << QStringLiteral("--engine") << engine;
    return arguments;
}

struct BatchResult {
    int exitStatus = -1;
    QString errors;
};

// Runs ziravel-batch with the arguments; its tool folder is the TEMP of the test.
inline BatchResult
runBatch(const QStringList& arguments, const std::function<void(QProcess&)>& whileRunning = {},
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess batch;
    batch.setProcessEnvironment(environment);
    // Quiet: the errors are what the tests read; the summary line has a test of its own.
    batch.start(QStringLiteral(ZIRAVEL_BATCH), withEngine(arguments) << QStringLiteral("--quiet"));
    if (!batch.waitForStarted())
        return {};
    if (whileRunning)
        whileRunning(batch);
    batch.waitForFinished(60000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromLocal8Bit(batch.readAllStandardError())};
}

// Every file of the folder, or those the name filters match, by name, with its bytes.
inline QMap<QString, QByteArray> folderContent(const QString& folder,
                                               const QStringList& filters = {}) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(filters, QDir::Files))
        files.insert(name, contentOf(QDir(folder).filePath(name)));
    return files;
}

// The environment of a user whose window stored the settings text in the config folder.
inline QProcessEnvironment withStoredSettings(const QTemporaryDir& config, const QByteArray& text) {
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QDir().mkpath(QFileInfo(file).path());
    QFile settings(file);
    if (settings.open(QIODevice::WriteOnly))
        settings.write(text);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    return environment;
}

// What the batch writes to its error output when that is a terminal.
inline QByteArray terminalOutput(const QStringList& arguments) {
    int terminal = -1;
    int side = -1;
    if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0)
        return "no terminal";
    QProcess batch;
    batch.setChildProcessModifier([side] { dup2(side, STDERR_FILENO); });
    batch.start(QStringLiteral(ZIRAVEL_BATCH), withEngine(arguments));
    batch.waitForFinished(60000);
    close(side);
    QByteArray written;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        written.append(buffer, got);
    close(terminal);
    return written;
}

// What ziravel-batch writes to its standard output with these arguments.
inline QString printedBy(const QStringList& arguments) {
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments);
    batch.waitForFinished();
    return QString::fromUtf8(batch.readAllStandardOutput());
}

// Makes shard K/N of a set of six short tones drawn with the seed; true when it was made.
inline bool madeShard(const char* shard, const char* seed, const QString& folder) {
    return runBatch({"--count", "6", "--length", "0.05", "--seed", seed, "--shard", shard,
                     "--folder", folder})
               .exitStatus == 0;
}

// The values of a column of an answer key's rows, found by its name.
inline QStringList keyColumn(const QString& keyPath, const QString& column) {
    const QStringList lines = linesOf(keyPath);
    const qsizetype at = lines.value(0).split(QLatin1Char(',')).indexOf(column);
    QStringList values;
    for (const QString& row : lines.mid(1))
        values << row.section(QLatin1Char(','), at, at);
    return values;
}

// An environment whose tool is the stand-in, each run taking `milliseconds`, logged to `log`.
inline QProcessEnvironment slowFakeTool(const TestSupport::TemporaryToolFolder& tools,
                                        int milliseconds, const QString& log = {}) {
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_MS"), QString::number(milliseconds));
    if (!log.isEmpty())
        environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_LOG"), log);
    return environment;
}

// Waits up to ten seconds for the condition.
inline bool waitFor(const std::function<bool()>& condition) {
    for (int waited = 0; waited < 10000 && !condition(); waited += 20)
        QThread::msleep(20);
    return condition();
}

// Reads the process's error output as it comes until it holds the text, for up to 20 seconds.
inline bool waitForText(QProcess& process, const QString& text, QString& read,
                        int timeoutMs = 20000) {
    QElapsedTimer waited;
    waited.start();
    while (!read.contains(text) && waited.elapsed() < timeoutMs) {
        process.waitForReadyRead(200);
        read += QString::fromLocal8Bit(process.readAllStandardError());
    }
    return read.contains(text);
}

// The tool's arguments for the set's first tone, as its manifest keeps them.
inline QStringList firstToneArguments(const QTemporaryDir& folder) {
    QStringList arguments;
    const QJsonObject manifest =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object();
    for (const QJsonValue& argument :
         manifest.value(QStringLiteral("first_tone_arguments")).toArray())
        arguments << argument.toString();
    return arguments;
}
