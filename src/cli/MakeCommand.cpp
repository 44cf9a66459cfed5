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

// One run of the make command: its set's lock, numbers and key, and what it has told so far.
class MakeRun {
public:
    MakeRun(const BatchRequest& request, StopSignals& stopSignals)
        : m_request(request), m_stopSignals(stopSignals), m_options(request.plan.options),
          m_slice(request.plan.slice()),
          m_keyName(answerKeyName(m_options.prefix, request.plan.shard, request.plan.shards)),
          m_keyPath(outputFilePath(request.folder, m_keyName)),
          m_manifestPath(
              outputFilePath(request.folder, setManifestName(m_options.prefix, request.plan.shard,
                                                             request.plan.shards))),
          m_plan(request.plan), m_firstNumber(m_slice.first),
          m_progress(m_slice.count, errorOutputIsTerminal() && !request.quiet) {}

    // Takes the set and opens its key; the exit status when it cannot.
    std::optional<int> open();
    // Makes the tones with the engine and writes the manifest.
    void make(ToneEngine& engine, int jobs);
    // Tells how it went; the run's exit status.
    int finish();

private:
    // The rows of the tones under way, and of those ended before an earlier one: the key takes
    // the rows in order as they are complete, so that nothing grows with the batch.
    struct PendingRow {
        AnswerRow row;
        bool ended = false;
        ToneOutcome outcome;
        std::shared_ptr<const ToneInFlight> flight;
    };

    bool stopRequested() const { return m_stopSignals.stopRequested() || !m_keyFailure.isEmpty(); }
    PlannedTone planTone(qsizetype index);
    void ended(qsizetype index, const ToneOutcome& outcome,
               std::shared_ptr<const ToneInFlight> flight);
    void tell(PendingRow& pending);
    void writeManifest();

    const BatchRequest& m_request;
    StopSignals& m_stopSignals;
    const ToneOptions& m_options;
    const ToneSlice m_slice;
    const QString m_keyName;
    const QString m_keyPath;
    const QString m_manifestPath;
    std::unique_ptr<RunLock> m_lock;
    std::optional<ToneNumbering> m_numbering;
    std::optional<AnswerKeyFile> m_key;
    SetPlan m_plan;
    std::map<qsizetype, PendingRow> m_rows;
    qsizetype m_keyRows = 0;
    Tone m_firstTone;
    qint64 m_firstNumber;
    ProgressLine m_progress;
    int m_finished = 0;
    int m_failed = 0;
    int m_made = 0;
    // Tones made once the key can no longer tell them would be lost to it: the run stops.
    QString m_keyFailure;
    // A reason is told once, with the first tone it stopped: a fault in every tone would
    // otherwise flood the terminal.
    QSet<QString> m_toldReasons;
};

std::optional<int> MakeRun::open() {
    const QString extension = fileExtension(m_request.plan.format);
    // One run at a time owns the set's files, unless every one of them never overwrites.
    try {
        m_lock = lockedSet(m_request.folder, m_keyName, m_options.prefix, extension,
                           m_options.neverOverwrite, QStringLiteral("ziravel-batch"));
    } catch (const Failure& failure) {
        printError(failure.description());
        return 1;
    }
    try {
        m_numbering.emplace(m_request.folder, m_options.prefix, extension, m_options.neverOverwrite,
                            m_slice.count, m_slice.first, m_request.digits);
    } catch (const Failure& failure) {
        printError(failure.description());
        return badInputStatus;
    }
    try {
        m_key.emplace(
            m_keyPath, m_options.neverOverwrite, extension,
            [this] { return m_stopSignals.stopRequested(); }, m_plan.highestTone());
    } catch (const Failure& failure) {
        printError(failure.description());
        return m_stopSignals.stopRequested() ? stoppedStatus : 1;
    }
    // The manifest there would tell of the files this run writes over.
    if (!m_options.neverOverwrite)
        removeOwnFile(m_manifestPath);
    m_plan.seed = m_request.seed ? *m_request.seed : std::random_device{}();
    return std::nullopt;
}

// Each tone's file is named, or its number taken, just before it starts.
PlannedTone MakeRun::planTone(qsizetype index) {
    PlannedTone planned;
    AnswerRow& row = m_rows[index].row;
    QString path;
    try {
        path = m_numbering->nextPath();
    } catch (const Failure&) {
        // A tone whose number cannot be taken still has its row, drawn for the next number.
        row = answeredTone(m_plan.tone(m_numbering->lastNumber() + 1), false);
        throw;
    }
    planned.tone = m_plan.tone(m_numbering->lastNumber());
    planned.tone.outputPath = path;
    if (index == 0) {
        m_firstTone = planned.tone;
        m_firstNumber = m_numbering->lastNumber();
    }
    planned.nameReserved = m_numbering->namesReserved();
    row = answeredTone(planned.tone, false);
    planned.refusal = toneRefusal(planned.tone);
    return planned;
}

// A tone's file takes its name just before its row goes to the key, so that no run, however it
// ends, leaves a file at a tone's name that its key does not list.
void MakeRun::tell(PendingRow& pending) {
    const ToneOutcome outcome = !pending.flight ? pending.outcome
                                : m_keyFailure.isEmpty()
                                    ? pending.flight->placed(pending.outcome)
                                    : (pending.flight->abandon(), ToneOutcome{false, m_keyFailure});
    AnswerRow& row = pending.row;
    row.made = outcome.made;
    m_made += outcome.made ? 1 : 0;
    if (outcome.made)
        measureMadeFile(row, QDir(expandedFolder(m_request.folder)).filePath(row.fileName),
                        m_request.checksums);
    if (!outcome.made && !stopRequested()) {
        ++m_failed;
        const QString reason = reasonWithoutFile(outcome.reason, row.fileName);
        if (!m_toldReasons.contains(reason)) {
            m_toldReasons.insert(reason);
            m_progress.clear();
            printError(QStringLiteral("%1: %2").arg(row.fileName, outcome.reason));
        }
    }
    try {
        if (m_keyFailure.isEmpty())
            m_key->add(row);
        ++m_keyRows;
    } catch (const Failure& failure) {
        m_keyFailure = failure.description();
    }
}

void MakeRun::ended(qsizetype index, const ToneOutcome& outcome,
                    std::shared_ptr<const ToneInFlight> flight) {
    ++m_finished;
    PendingRow& pending = m_rows[index];
    pending.ended = true;
    pending.outcome = outcome;
    pending.flight = std::move(flight);
    // Tones start in order and each ends once: the first row pending is the next one, and goes
    // to the key as soon as its tone has ended.
    for (; !m_rows.empty() && m_rows.begin()->second.ended; m_rows.erase(m_rows.begin()))
        tell(m_rows.begin()->second);
    m_progress.update(m_finished, m_failed);
}

void MakeRun::make(ToneEngine& engine, int jobs) {
    const ToneStaging staging(m_request.folder);
    ToneCallbacks callbacks;
    callbacks.plan = [this](qsizetype index) { return planTone(index); };
    callbacks.stopRequested = [this] { return stopRequested(); };
    callbacks.ended = [this](qsizetype index, const ToneOutcome& outcome,
                             std::shared_ptr<const ToneInFlight> flight) {
        ended(index, outcome, std::move(flight));
    };
    callbacks.waiting = [this](qsizetype index) {
        m_progress.clear();
        printError(QStringLiteral("Waiting for %1, which has made no progress for a while.")
                       .arg(m_rows[index].row.fileName));
    };
    makeTones(m_slice.count, engine.tonesUnderWay(jobs), engine, staging, callbacks,
              m_stopSignals.wakeDescriptor());
    m_progress.clear();
    try {
        if (m_keyFailure.isEmpty())
            m_key->finish();
    } catch (const Failure& failure) {
        m_keyFailure = failure.description();
    }
    if (!m_keyFailure.isEmpty())
        printError(m_keyFailure);
    if (m_keyRows > 0)
        writeManifest();
}

void MakeRun::writeManifest() {
    try {
        m_lock->inTurn([&] {
            QJsonObject manifest =
                setManifest(m_plan,
                            {batchEngineName(m_request.engine), m_request.digits, m_firstNumber,
                             libsoxVersionText(), m_request.checksums},
                            m_firstTone);
            if (m_options.neverOverwrite)
                manifest = withEarlierRuns(manifest, m_manifestPath);
            writeFileSafely(m_manifestPath, QJsonDocument(manifest).toJson());
        });
    } catch (const Failure& failure) {
        printError(QStringLiteral("The set's manifest %1 cannot be written: %2")
                       .arg(QDir::toNativeSeparators(m_manifestPath),
                            withFullStop(failure.description())));
        m_keyFailure = failure.description();
    }
}

int MakeRun::finish() {
    const int count = m_slice.count;
    if (m_stopSignals.stopRequested()) {
        printError(QStringLiteral("Stopped. %1 of %2 tones were made.").arg(m_made).arg(count));
        return stoppedStatus;
    }
    // On the error output, piped or not, so that standard output stays the data's.
    if (!m_request.quiet)
        std::fprintf(stderr, "Made %d of %d tones, %d failed, in %s. Key: %s\n", m_made, count,
                     count - m_made, qPrintable(expandedFolder(m_request.folder)),
                     qPrintable(m_keyPath));
    if (m_made < count) {
        std::fprintf(stderr, "%d of %d tones could not be made.\n", count - m_made, count);
        return 1;
    }
    return m_keyFailure.isEmpty() ? 0 : 1;
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
    // A level the samples cannot hold well is made as asked, and said.
    const QList<double> levels =
        request.plan.design ? request.plan.design->levels() : QList<double>{};
    if (const QString caution =
            levelCaution(levels.isEmpty() ? request.plan.options.levelDb
                                          : *std::min_element(levels.begin(), levels.end()),
                         request.plan.options, request.plan.format == ExportFormat::mp3);
        !caution.isEmpty())
        printError(QStringLiteral("warning: ") + caution);
    MakeRun run(request, stopSignals);
    if (const std::optional<int> refused = run.open())
        return *refused;
    run.make(*engine, jobs);
    return run.finish();
}
