#include "cli/BatchRun.h"

#include "cli/BatchOptions.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/ToolProvisioning.h"
#include "synth/AnswerKey.h"
#include "synth/NumberText.h"
#include "synth/ToneCommand.h"
#include "synth/ToneMaking.h"

#include <QElapsedTimer>
#include <QSet>
#include <csignal>
#include <cstdio>
#include <random>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <unistd.h>
#endif

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

// SIGINT and SIGTERM ask the batch to stop; the handler wakes the wait for the tools
// through a pipe.
class StopSignals {
public:
    StopSignals() {
#ifdef Q_OS_UNIX
        if (pipe2(s_wake, O_CLOEXEC | O_NONBLOCK) != 0)
            s_wake[0] = s_wake[1] = -1;
        struct sigaction action {};
        action.sa_handler = [](int) {
            s_stop = 1;
            // A full pipe means the wait has been woken already.
            [[maybe_unused]] const ssize_t woken = s_wake[1] >= 0 ? write(s_wake[1], "x", 1) : 0;
        };
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        sigaction(SIGINT, &action, nullptr);
        sigaction(SIGTERM, &action, nullptr);
#endif
    }
    bool stopRequested() const {
        return s_stop != 0;
    }
    int wakeDescriptor() const {
        return s_wake[0];
    }

private:
    static inline volatile sig_atomic_t s_stop = 0;
    static inline int s_wake[2] = {-1, -1};
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

bool onTerminal() {
#ifdef Q_OS_UNIX
    return isatty(STDERR_FILENO) == 1;
#else
    return false;
#endif
}

// The tones of a batch and their rows of the answer key, drawn in order before the first
// tone starts, so that the files are the same whatever the number of jobs.
struct BatchPlan {
    QList<PlannedTone> tones;
    QList<AnswerRow> answers;
};

BatchPlan planTones(const BatchRequest& request, const QString& tool) {
    const QString extension =
        request.format == ExportFormat::wav ? QStringLiteral(".wav") : QStringLiteral(".mp3");
    const ToneOptions& options = request.options;
    const int firstNumber =
        options.neverOverwrite ? highestToneNumber(request.folder, options.prefix, extension) : 0;
    std::mt19937_64 generator(request.seed ? *request.seed : std::random_device{}());
    double seconds = 0;
    parseNumberText(request.lengthText, seconds);
    BatchPlan plan;
    for (int tone = 1; tone <= request.count; ++tone) {
        const QString outputPath = outputFilePath(
            request.folder, options.prefix + QString::number(firstNumber + tone) + extension);
        const double frequency = drawPitch(request.from, request.to, options.pitchDraw, generator);
        plan.tones.append(
            {outputPath, synthCommand(tool, toolArgs(outputPath, request.lengthText,
                                                     request.waveformRow, frequency, options))});
        AnswerRow answer;
        answer.waveform = request.waveformRow;
        answer.seconds = seconds;
        plan.answers.append(answeredTone(answer, outputPath, frequency, options, false));
    }
    return plan;
}

} // namespace

int runBatch(const BatchRequest& request) {
    StopSignals stopSignals;
    PrintingReporter reporter;
    Guard guard(reporter, handlerLocation(QStringLiteral("Batch")));
    provisionTools(guard, 100);
    BatchPlan plan = planTones(request, quotedToolPath());
    QList<AnswerRow>& answers = plan.answers;

    ProgressLine progress(request.count, onTerminal() && !request.quiet);
    int finished = 0;
    int failed = 0;
    // A reason is told once, with the first tone it stopped: a fault in every tone would
    // otherwise flood the terminal.
    QSet<QString> toldReasons;
    const QList<std::optional<ToneOutcome>> outcomes = makeTones(
        plan.tones, request.jobs, [&] { return stopSignals.stopRequested(); },
        stopSignals.wakeDescriptor(),
        [&](qsizetype index, const ToneOutcome& outcome) {
            ++finished;
            if (!outcome.made && !stopSignals.stopRequested()) {
                ++failed;
                if (!toldReasons.contains(outcome.reason)) {
                    toldReasons.insert(outcome.reason);
                    progress.clear();
                    printError(
                        QStringLiteral("%1: %2").arg(answers[index].fileName, outcome.reason));
                }
            }
            progress.update(finished, failed);
        });
    progress.clear();

    // The key lists every tone tried; a batch stopped early leaves out those never started.
    QList<AnswerRow> tried;
    int made = 0;
    for (qsizetype index = 0; index < outcomes.size(); ++index) {
        if (!outcomes[index])
            continue;
        answers[index].made = outcomes[index]->made;
        made += answers[index].made ? 1 : 0;
        tried.append(answers[index]);
    }
    // A batch stopped before its first tone leaves the key there alone.
    bool keyWritten = true;
    if (!tried.isEmpty()) {
        try {
            writeAnswerKey(outputFilePath(request.folder, answerKeyFileName), tried,
                           request.options.neverOverwrite);
        } catch (const Failure& failure) {
            printError(failure.description());
            keyWritten = false;
        }
    }
    if (stopSignals.stopRequested()) {
        printError(
            QStringLiteral("Stopped. %1 of %2 tones were made.").arg(made).arg(request.count));
        return stoppedStatus;
    }
    if (made < request.count) {
        std::fprintf(stderr, "%d of %d tones could not be made.\n", request.count - made,
                     request.count);
        return 1;
    }
    return keyWritten ? 0 : 1;
}
