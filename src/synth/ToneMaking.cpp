#include "synth/ToneMaking.h"

#include "runner/Failure.h"
#include "runner/ShellWait.h"
#include "synth/Mp3File.h"
#include "synth/WavFile.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The line of the tool's error output that says why it failed: its first FAIL line, else
// its first line.
QString toolReason(const QString& errorOutput) {
    const QStringList lines = errorOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines)
        if (line.contains(QLatin1String(" FAIL ")))
            return line.trimmed();
    return lines.isEmpty() ? QString() : lines.first().trimmed();
}

// Whether the output holds the whole tone, read once from what the run was asked for.
// SoX says nothing in its exit status when the disk fills: the file then holds fewer
// samples than asked.
bool wholeToneWritten(const QString& outputPath, double seconds, int sampleRate) {
    const double asked = seconds * sampleRate;
    try {
        if (outputPath.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive)) {
            QFile file;
            openRegularFile(file, outputPath);
            return double(mp3SampleCount(file) - mp3CodingDelaySamples) >= asked;
        }
        qint64 size = 0;
        const QByteArray start = readRegularFileStart(outputPath, wavHeaderBytes, size);
        const std::optional<WavFileInfo> wav = wavFileInfo(start, size);
        // SoX may round the last sample either way.
        return wav && double(wav->frames + 1) >= asked;
    } catch (const Failure&) {
        return false;
    }
}

} // namespace

ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath) {
    const QString& program = run.program;
    const QString reason = toolReason(run.child.errorOutput);
    if (run.child.status < 0)
        return {false, QStringLiteral("%1 could not be started: %2")
                           .arg(program, qt_error_string(run.child.status - startFailureBase))};
    if (run.child.status != 0)
        return {
            false,
            !reason.isEmpty()
                ? reason
                : QStringLiteral("%1 ended with status %2.").arg(program).arg(run.child.status)};
    if (!wholeToneWritten(outputPath, run.seconds, run.sampleRate))
        return {false, !reason.isEmpty()
                           ? reason
                           : QStringLiteral("%1 does not hold the whole tone.").arg(outputPath)};
    return {true, {}};
}

ToneOutcome makeTone(const QString& command, const QString& outputPath) {
    const ToneInFlight tone(outputPath);
    const SynthRun run = runSynthCommand(command);
    const ToneOutcome outcome = judgedTone(run, outputPath);
    if (!outcome.made)
        tone.removeWhatItWrote();
    return outcome;
}

AnswerRow answeredTone(AnswerRow answer, const QString& outputPath, double frequency,
                       const ToneOptions& options, bool made) {
    const QString word = waveformWord(answer.waveform);
    answer.fileName = QFileInfo(outputPath).fileName();
    if (!word.endsWith(QLatin1String("noise")))
        answer.frequency = frequency;
    answer.sampleRate = sampleRateFor(word, frequency, options.sampleRate);
    answer.levelDbfs = options.levelDb;
    answer.made = made;
    return answer;
}

int highestToneNumber(const QString& folder, const QString& prefix, const QString& extension) {
    int highest = 0;
    const QString path = expandedFolder(folder);
    const QDir dir(path.isEmpty() ? QStringLiteral(".") : path);
    for (const QString& name :
         dir.entryList({prefix + QLatin1Char('*') + extension}, QDir::Files)) {
        bool number = false;
        const int tone =
            name.mid(prefix.size(), name.size() - prefix.size() - extension.size()).toInt(&number);
        if (number)
            highest = std::max(highest, tone);
    }
    return highest;
}

namespace {

// A tone whose tool runs.
struct ToneRunning {
    qsizetype index;
    SynthCommand synth;
    std::unique_ptr<ToneInFlight> flight;
    std::unique_ptr<StartedChild> child;
};

} // namespace

QList<std::optional<ToneOutcome>>
makeTones(const QList<PlannedTone>& tones, int jobs, const std::function<bool()>& stopRequested,
          int wakeDescriptor, const std::function<void(qsizetype, const ToneOutcome&)>& ended) {
    QList<std::optional<ToneOutcome>> outcomes(tones.size());
    const auto end = [&](qsizetype index, const ToneOutcome& outcome) {
        outcomes[index] = outcome;
        ended(index, outcome);
    };
    std::vector<ToneRunning> running;
    qsizetype next = 0;
    for (;;) {
        // Runs that ended make room first: the next ones start before these are judged.
        std::vector<ToneRunning> finished;
        for (auto tone = running.begin(); tone != running.end();) {
            if (tone->child->hasEnded()) {
                finished.push_back(std::move(*tone));
                tone = running.erase(tone);
            } else {
                ++tone;
            }
        }
        const bool stop = stopRequested();
        if (stop) {
            for (ToneRunning& tone : running) {
                tone.child->stop();
                tone.flight->removeWhatItWrote();
                end(tone.index, {false, QStringLiteral("Stopped.")});
            }
            running.clear();
        }
        for (; !stop && next < tones.size() && qsizetype(running.size()) < jobs; ++next) {
            const PlannedTone& tone = tones[next];
            try {
                SynthCommand synth = checkedSynthCommand(tone.command);
                auto flight = std::make_unique<ToneInFlight>(tone.outputPath);
                auto child = std::make_unique<StartedChild>(synth.command);
                running.push_back({next, std::move(synth), std::move(flight), std::move(child)});
            } catch (const Failure& failure) {
                end(next, {false, failure.description()});
            }
        }
        for (ToneRunning& tone : finished) {
            const SynthRun run{tone.child->result(), tone.synth.command.program, tone.synth.seconds,
                               tone.synth.sampleRate};
            const ToneOutcome outcome = judgedTone(run, tones[tone.index].outputPath);
            if (!outcome.made)
                tone.flight->removeWhatItWrote();
            end(tone.index, outcome);
        }
        if (running.empty())
            break;
        // Returns at once when one has ended meanwhile.
        QList<StartedChild*> children;
        for (const ToneRunning& tone : running)
            children.append(tone.child.get());
        waitForAnyEnd(children, wakeDescriptor);
    }
    return outcomes;
}
