// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MakeCommand.h"

#include "cli/BatchEngines.h"
#include "cli/BatchOptions.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "options/OptionTable.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/RunLock.h"
#include "runner/SafeFile.h"
#include "runner/StopSignals.h"
#include "runner/ToolProvisioning.h"
#include "set/AnswerKey.h"
#include "set/SetManifest.h"
#include "set/ToneDesign.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <random>

namespace {

void printError(const QString& line) {
    std::fprintf(stderr, "ziravel-batch: %s\n", qPrintable(line));
}

class PrintingReporter : public ErrorReporter {
public:
    void reportError(const QString& description, const QString&, int) override {
        printError(description);
    }
};

// One line on a terminal, written over in place: finished tones, failures, time left.
class ProgressLine {
public:
    ProgressLine(int count, bool shown) : m_count(count), m_shown(shown) { m_started.start(); }

    void update(int finished, int failed) {
        constexpr qint64 everyMs = 100;
        if (!m_shown ||
            (finished < m_count && m_lastShown.isValid() && m_lastShown.elapsed() < everyMs))
            return;
        m_lastShown.start();
        const double left =
            double(m_started.elapsed()) / 1000 / std::max(finished, 1) * (m_count - finished);
        std::fprintf(stderr, "\rtone %d of %d, %d failed, %.1f s left\x1b[K", finished, m_count,
                     failed, left);
        std::fflush(stderr);
    }
    // Clears the line before other words are written.
    void clear() {
        if (m_shown && m_lastShown.isValid())
            std::fputs("\r\x1b[K", stderr);
    }

private:
    int m_count;
    bool m_shown;
    QElapsedTimer m_started;
    QElapsedTimer m_lastShown;
};

// A reason as it is compared with those told already: SoX names the file in its words.
QString reasonWithoutFile(QString reason, const QString& fileName) {
    return fileName.isEmpty() ? reason : reason.remove(fileName);
}

// Each run holds a few descriptors: no more runs than the limit leaves room for, so that
// no tone is judged from a file that could not be opened.
int boundedJobs(int jobs) {
    constexpr int descriptorsPerRun = 4;
    constexpr int keptForTheProgram = 32;
    return std::clamp((raisedDescriptorLimit() - keptForTheProgram) / descriptorsPerRun, 1, jobs);
}

// The engine asked for; the process engine's tool folder must be ours first.
std::unique_ptr<ToneEngine> batchEngine(const BatchRequest& request, int jobs,
                                        ToneSession& session) {
    if (request.engine == BatchEngine::library)
        return libraryEngine(jobs);
    PrintingReporter reporter;
    // The reporter prints the description alone.
    Guard guard(reporter, QStringLiteral("ziravel-batch"));
    // A tool folder that is not ours ends the batch: nothing runs from it.
    if (!provisionTools(guard, 100))
        return nullptr;
    return std::make_unique<ProcessEngine>(toolFilePath(toolFileName), session);
}

} // namespace

int runBatch(const BatchRequest& request) {
    StopSignals stopSignals;
    const int jobs = boundedJobs(request.jobs);
    // The run's tool runs; the engine's tones end before it does.
    ToneSession session;
    const std::unique_ptr<ToneEngine> engine = batchEngine(request, jobs, session);
    if (!engine)
        return 1;
    const ToneOptions& options = request.plan.options;
    const ToneSlice slice = request.plan.slice();
    const QString extension = fileExtension(request.plan.format);
    const QString keyName = answerKeyName(options.prefix, request.plan.shard, request.plan.shards);
    const QString keyPath = outputFilePath(request.folder, keyName);
    const QString manifestPath = outputFilePath(
        request.folder, setManifestName(options.prefix, request.plan.shard, request.plan.shards));
    // One run at a time owns the set's files, unless every one of them never overwrites.
    std::unique_ptr<RunLock> lock;
    try {
        lock = lockedSet(request.folder, keyName, options.prefix, extension, options.neverOverwrite,
                         QStringLiteral("ziravel-batch"));
    } catch (const Failure& failure) {
        printError(failure.description());
        return 1;
    }
    std::optional<ToneNumbering> numbering;
    try {
        numbering.emplace(request.folder, options.prefix, extension, options.neverOverwrite,
                          slice.count, slice.first, request.digits);
    } catch (const Failure& failure) {
        printError(failure.description());
        return badInputStatus;
    }
    std::optional<AnswerKeyFile> key;
    try {
        key.emplace(keyPath, options.neverOverwrite, [&] { return stopSignals.stopRequested(); });
    } catch (const Failure& failure) {
        printError(failure.description());
        return stopSignals.stopRequested() ? stoppedStatus : 1;
    }
    // The manifest there would tell of the files this run writes over.
    if (!options.neverOverwrite)
        removeOwnFile(manifestPath);
    SetPlan plan = request.plan;
    plan.seed = request.seed ? *request.seed : std::random_device{}();
    // The rows of the tones under way, and of those ended before an earlier one: the key takes
    // the rows in order as they are complete, so that nothing grows with the batch.
    struct PendingRow {
        AnswerRow row;
        bool ended = false;
        ToneOutcome outcome;
        std::shared_ptr<const ToneInFlight> flight;
    };
    std::map<qsizetype, PendingRow> rows;
    qsizetype keyRows = 0;
    Tone firstTone;
    qint64 firstNumber = slice.first;
    // Each tone's file is named, or its number taken, just before it starts.
    const auto planTone = [&](qsizetype index) {
        PlannedTone planned;
        AnswerRow& row = rows[index].row;
        QString path;
        try {
            path = numbering->nextPath();
        } catch (const Failure&) {
            // A tone whose number cannot be taken still has its row, drawn for the next number.
            row = answeredTone(plan.tone(numbering->lastNumber() + 1), false);
            throw;
        }
        planned.tone = plan.tone(numbering->lastNumber());
        planned.tone.outputPath = path;
        if (index == 0) {
            firstTone = planned.tone;
            firstNumber = numbering->lastNumber();
        }
        planned.nameReserved = numbering->namesReserved();
        row = answeredTone(planned.tone, false);
        planned.refusal = toneRefusal(planned.tone);
        return planned;
    };

    ProgressLine progress(slice.count, errorOutputIsTerminal() && !request.quiet);
    int finished = 0;
    int failed = 0;
    int made = 0;
    // Tones made once the key can no longer tell them would be lost to it: the run stops.
    QString keyFailure;
    // A reason is told once, with the first tone it stopped: a fault in every tone would
    // otherwise flood the terminal.
    QSet<QString> toldReasons;
    const ToneStaging staging(request.folder);
    ToneCallbacks callbacks;
    callbacks.plan = planTone;
    callbacks.stopRequested = [&] { return stopSignals.stopRequested() || !keyFailure.isEmpty(); };
    // A tone's file takes its name just before its row goes to the key, so that no run, however
    // it ends, leaves a file at a tone's name that its key does not list.
    const auto told = [&](PendingRow& pending) {
        const ToneOutcome outcome =
            !pending.flight        ? pending.outcome
            : keyFailure.isEmpty() ? pending.flight->placed(pending.outcome)
                                   : (pending.flight->abandon(), ToneOutcome{false, keyFailure});
        AnswerRow& row = pending.row;
        row.made = outcome.made;
        made += outcome.made ? 1 : 0;
        if (outcome.made)
            measureMadeFile(row, QDir(expandedFolder(request.folder)).filePath(row.fileName),
                            request.checksums);
        if (!outcome.made && !callbacks.stopRequested()) {
            ++failed;
            const QString reason = reasonWithoutFile(outcome.reason, row.fileName);
            if (!toldReasons.contains(reason)) {
                toldReasons.insert(reason);
                progress.clear();
                printError(QStringLiteral("%1: %2").arg(row.fileName, outcome.reason));
            }
        }
        try {
            if (keyFailure.isEmpty())
                key->add(row);
            ++keyRows;
        } catch (const Failure& failure) {
            keyFailure = failure.description();
        }
    };
    callbacks.ended = [&](qsizetype index, const ToneOutcome& outcome,
                          std::shared_ptr<const ToneInFlight> flight) {
        ++finished;
        PendingRow& pending = rows[index];
        pending.ended = true;
        pending.outcome = outcome;
        pending.flight = std::move(flight);
        // Tones start in order and each ends once: the first row pending is the next one, and
        // goes to the key as soon as its tone has ended.
        for (; !rows.empty() && rows.begin()->second.ended; rows.erase(rows.begin()))
            told(rows.begin()->second);
        progress.update(finished, failed);
    };
    callbacks.waiting = [&](qsizetype index) {
        progress.clear();
        printError(QStringLiteral("Waiting for %1, which has made no progress for a while.")
                       .arg(rows[index].row.fileName));
    };
    makeTones(slice.count, engine->tonesUnderWay(jobs), *engine, staging, callbacks,
              stopSignals.wakeDescriptor());
    progress.clear();
    try {
        if (keyFailure.isEmpty())
            key->finish();
    } catch (const Failure& failure) {
        keyFailure = failure.description();
    }
    if (!keyFailure.isEmpty())
        printError(keyFailure);
    if (keyRows > 0) {
        try {
            lock->inTurn([&] {
                QJsonObject manifest =
                    setManifest(plan,
                                {batchEngineName(request.engine), request.digits, firstNumber,
                                 libsoxVersionText(), request.checksums},
                                firstTone);
                if (options.neverOverwrite)
                    manifest = withEarlierRuns(manifest, manifestPath);
                writeFileSafely(manifestPath, QJsonDocument(manifest).toJson());
            });
        } catch (const Failure& failure) {
            printError(QStringLiteral("The set's manifest %1 cannot be written: %2.")
                           .arg(manifestPath, failure.description()));
            keyFailure = failure.description();
        }
    }
    if (stopSignals.stopRequested()) {
        printError(QStringLiteral("Stopped. %1 of %2 tones were made.").arg(made).arg(slice.count));
        return stoppedStatus;
    }
    // On the error output, piped or not, so that standard output stays the data's.
    if (!request.quiet)
        std::fprintf(stderr, "Made %d of %d tones, %d failed, in %s. Key: %s\n", made, slice.count,
                     slice.count - made, qPrintable(expandedFolder(request.folder)),
                     qPrintable(keyPath));
    if (made < slice.count) {
        std::fprintf(stderr, "%d of %d tones could not be made.\n", slice.count - made,
                     slice.count);
        return 1;
    }
    return keyFailure.isEmpty() ? 0 : 1;
}
