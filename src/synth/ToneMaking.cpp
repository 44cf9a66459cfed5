// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/ToneMaking.h"

#include "analysis/FlacFile.h"
#include "analysis/Mp3File.h"
#include "analysis/WavFile.h"
#include "runner/Failure.h"
#include "runner/SafeFile.h"
#include "runner/ShellWait.h"

#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <limits>
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

// Whether the output holds the whole tone, read once from what the run was asked for, and
// the peak of a WAV file, read in the same pass. SoX says nothing in its exit status when the
// disk fills: the file then holds fewer samples than asked. Nothing when a file that is there
// could not be read to tell.
struct FileCheck {
    bool whole = false;
    std::optional<double> peakDb;
};
std::optional<FileCheck> checkedFile(const QString& outputPath, double seconds, int sampleRate,
                                     QString& readError) {
    const double asked = seconds * sampleRate;
    try {
        QFile file;
        openRegularFile(file, outputPath);
        if (isMp3File(outputPath))
            return FileCheck{double(mp3SampleCount(file) - mp3CodingDelaySamples) >= asked};
        if (isFlacFile(outputPath)) {
            const std::optional<qint64> samples = flacSampleCount(file.read(wavHeaderBytes));
            return FileCheck{samples && double(*samples + 1) >= asked};
        }
        const std::optional<WavFileInfo> wav = readWavFileInfo(file);
        // SoX may round the last sample either way.
        if (!wav || double(wav->frames + 1) < asked)
            return FileCheck{};
        return FileCheck{true, wavPeakDb(file, *wav)};
    } catch (const Failure& failure) {
        if (!isSmallRegularFile(outputPath, std::numeric_limits<qint64>::max()))
            return FileCheck{};
        readError = failure.description();
        return std::nullopt;
    }
}

// The tool's warning that an effect clipped samples: the signal passed full scale there, and the
// file is not the tone asked for. Empty text when none did. Dither and the output's rounding to
// its sample size clip a full-scale tone by a step of the last bit, which is no fault.
QString clipWarning(const QString& errorOutput) {
    static const QRegularExpression clipped(
        QStringLiteral("^sox WARN (?!sox:|dither:)(.*clipped \\d+ samples)"),
        QRegularExpression::MultilineOption);
    return clipped.match(errorOutput).captured(1);
}

} // namespace

ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath, const PeakReader& peakOf) {
    const QString& program = run.program;
    const QString reason = toolReason(run.child.errorOutput);
    if (isStartFailure(run.child.status))
        return {false, QStringLiteral("%1 could not be started: %2")
                           .arg(program, qt_error_string(run.child.status - startFailureBase))};
    if (run.child.status != 0)
        return {
            false,
            !reason.isEmpty()
                ? reason
                : QStringLiteral("%1 ended with status %2.").arg(program).arg(run.child.status)};
    QString readError;
    const std::optional<FileCheck> file =
        checkedFile(outputPath, run.seconds, run.sampleRate, readError);
    if (!file)
        return {false, QStringLiteral("%1 could not be checked: %2").arg(outputPath, readError)};
    if (!file->whole)
        return {false, !reason.isEmpty()
                           ? reason
                           : QStringLiteral("%1 does not hold the whole tone.").arg(outputPath)};
    if (const QString warning = clipWarning(run.child.errorOutput); !warning.isEmpty())
        return {false, QStringLiteral("%1 is not the tone asked for: %2.")
                           .arg(QDir::toNativeSeparators(outputPath), warning)};
    if (const std::optional<double> peakDb =
            file->peakDb || !peakOf ? file->peakDb : peakOf(outputPath))
        if (const QString refusal = peakRefusal(outputPath, run.peak, *peakDb); !refusal.isEmpty())
            return {false, refusal};
    return {true, {}};
}

ToneStaging::ToneStaging(const QString& folder)
    : m_folder(QDir::cleanPath(expandedFolder(folder))) {
    try {
        m_private = std::make_unique<PrivateFolder>(m_folder);
    } catch (const Failure& failure) {
        m_failure = failure.description();
    }
}

QString ToneStaging::madePath(const QString& target) const {
    if (!m_private)
        throw Failure(QStringLiteral("No file can be made in %1: %2").arg(m_folder, m_failure));
    return m_private->filePath(QFileInfo(target).fileName());
}

ToneInFlight::ToneInFlight(const QString& madePath, const QString& target, bool nameReserved)
    : m_made(madePath), m_target(target), m_nameReserved(nameReserved) {}

ToneOutcome ToneInFlight::placed(ToneOutcome outcome) const {
    if (!outcome.made) {
        abandon();
        // The reason names the file the user knows, wherever it was made.
        outcome.reason.replace(m_made, m_target);
        return outcome;
    }
    try {
        moveToName(m_made, m_target, m_nameReserved);
    } catch (const Failure& failure) {
        if (m_nameReserved)
            removeOwnFile(m_target, true);
        return {false, QStringLiteral("%1 was left as it was: %2.")
                           .arg(QDir::toNativeSeparators(m_target), failure.description())};
    }
    return outcome;
}

void ToneInFlight::abandon() const {
    if (m_made != m_target)
        QFile::remove(m_made);
    if (m_nameReserved)
        removeOwnFile(m_target, true);
}

void ToneSession::stop() {
    m_children.stopAll();
}

ToneOutcome makeTone(ToneSession& session, const CommandLine& command, const Tone& tone,
                     const QString& target, bool nameReserved) {
    const double seconds = checkedSeconds(tone);
    const ToneInFlight flight(tone.outputPath, target.isEmpty() ? tone.outputPath : target,
                              nameReserved);
    const SynthRun run{shellWait(command, 0, &session.children()), command.program, seconds,
                       tone.sampleRate(), peakRule(tone)};
    return flight.placed(judgedTone(run, tone.outputPath));
}

namespace {

// The number in a file name between the prefix and the extension: digits alone. A number
// beyond 64 bits gives the largest one, after which nothing fits.
std::optional<qint64> toneNumber(QStringView name, const QString& prefix,
                                 const QString& extension) {
    if (name.size() <= prefix.size() + extension.size() || !name.startsWith(prefix) ||
        !name.endsWith(extension))
        return std::nullopt;
    const QStringView digits =
        name.mid(prefix.size(), name.size() - prefix.size() - extension.size());
    qint64 number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (number > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::numeric_limits<qint64>::max();
        number = number * 10 + digit;
    }
    return number;
}

} // namespace

std::unique_ptr<RunLock> lockedSet(const QString& folder, const QString& keyName,
                                   const QString& prefix, const QString& extension,
                                   bool neverOverwrite, const QString& program) {
    const QString path = expandedFolder(folder);
    return std::make_unique<RunLock>(
        outputFilePath(folder, QLatin1Char('.') + keyName + QStringLiteral(".lock")),
        neverOverwrite, thisRunText(program), [&] {
            removeAbandonedPrivateFolders(path);
            QDirIterator names(path.isEmpty() ? QStringLiteral(".") : path,
                               QDir::Files | QDir::Hidden | QDir::System);
            while (names.hasNext()) {
                names.next();
                if (toneNumber(names.fileName(), prefix, extension))
                    removeOwnFile(names.filePath(), true);
            }
        });
}

ToneNumbering::ToneNumbering(const QString& folder, const QString& prefix, const QString& extension,
                             bool neverOverwrite, qint64 count, qint64 first, int digits)
    : m_folder(folder), m_prefix(prefix), m_extension(extension), m_neverOverwrite(neverOverwrite),
      m_last(first - 1), m_digits(digits) {
    if (!neverOverwrite)
        return;
    m_last = 0;
    const QString path = expandedFolder(folder);
    QDirIterator names(path.isEmpty() ? QStringLiteral(".") : path,
                       QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System |
                           QDir::NoDotAndDotDot);
    while (names.hasNext()) {
        names.next();
        if (const std::optional<qint64> number = toneNumber(names.fileName(), prefix, extension))
            m_last = std::max(m_last, *number);
    }
    if (m_last > std::numeric_limits<qint64>::max() - count)
        throw Failure(QStringLiteral("No more tones can be numbered after %1%2%3: the numbers "
                                     "would not fit.")
                          .arg(prefix)
                          .arg(m_last)
                          .arg(extension));
}

QString toneFileName(const QString& prefix, qint64 number, int digits, const QString& extension) {
    return prefix + QString::number(number).rightJustified(digits, QLatin1Char('0')) + extension;
}

QString ToneNumbering::nextPath() {
    for (;;) {
        if (m_last == std::numeric_limits<qint64>::max())
            throw Failure(QStringLiteral("No more tones can be numbered: the numbers would not "
                                         "fit."));
        const QString path =
            outputFilePath(m_folder, toneFileName(m_prefix, ++m_last, m_digits, m_extension));
        if (!m_neverOverwrite)
            return path;
        try {
            if (createFileExclusively(path))
                return path;
        } catch (const Failure& failure) {
            // The same words for every tone: the reason is told once.
            throw Failure(QStringLiteral("No file can be made in %1: %2")
                              .arg(expandedFolder(m_folder), failure.description()));
        }
    }
}

namespace {

class StartedRun : public StartedTone {
public:
    StartedRun(const CommandLine& command, ChildrenInFlight& owner, const Tone& tone,
               double seconds)
        : m_child(command, &owner), m_path(tone.outputPath), m_run{{},
                                                                   command.program,
                                                                   seconds,
                                                                   tone.sampleRate(),
                                                                   peakRule(tone)} {}
    int endDescriptor() const override { return m_child.endDescriptor(); }
    bool hasEnded() override { return m_child.hasEnded(); }
    ToneOutcome outcome() const override {
        SynthRun run = m_run;
        run.child = m_child.result();
        return judgedTone(run, m_path);
    }
    void stop() override { m_child.stop(); }

private:
    StartedChild m_child;
    QString m_path;
    SynthRun m_run;
};

} // namespace

std::unique_ptr<StartedTone> ProcessEngine::start(const Tone& tone, double seconds) {
    return std::make_unique<StartedRun>(toneCommand(m_toolPath, tone), m_session.children(), tone,
                                        seconds);
}

namespace {

// A tone being made.
struct ToneRunning {
    qsizetype index;
    std::shared_ptr<ToneInFlight> flight;
    std::unique_ptr<StartedTone> started;
};

} // namespace

void makeTones(qsizetype count, int jobs, ToneEngine& engine, const ToneStaging& staging,
               const ToneCallbacks& callbacks, int wakeDescriptor) {
    std::vector<ToneRunning> running;
    qsizetype next = 0;
    const qsizetype ahead = 4 * qsizetype(jobs) + 256;
    constexpr int quietMs = 10 * 1000;
    QElapsedTimer sinceLastEnd;
    sinceLastEnd.start();
    for (;;) {
        // Tones that ended make room first: the next ones start before these are judged.
        std::vector<ToneRunning> finished;
        for (auto tone = running.begin(); tone != running.end();) {
            if (tone->started->hasEnded()) {
                finished.push_back(std::move(*tone));
                tone = running.erase(tone);
            } else {
                ++tone;
            }
        }
        const bool stop = callbacks.stopRequested();
        if (stop) {
            for (ToneRunning& tone : running) {
                tone.started->stop();
                tone.flight->abandon();
                callbacks.ended(tone.index, {false, QStringLiteral("Stopped.")}, nullptr);
            }
            running.clear();
        }
        const auto earliest = [&] {
            qsizetype index = next;
            for (const ToneRunning& tone : running)
                index = std::min(index, tone.index);
            return index;
        };
        for (;
             !stop && next < count && qsizetype(running.size()) < jobs && next - earliest() < ahead;
             ++next) {
            std::shared_ptr<ToneInFlight> flight;
            try {
                const PlannedTone planned = callbacks.plan(next);
                const QString& target = planned.tone.outputPath;
                if (!planned.refusal.isEmpty()) {
                    // An earlier file of that name must not pass for this tone.
                    removeOwnFile(target);
                    callbacks.ended(next, {false, planned.refusal}, nullptr);
                    continue;
                }
                // Until its file has a place, a tone that cannot start leaves only the name it
                // reserved.
                flight = std::make_shared<ToneInFlight>(target, target, planned.nameReserved);
                Tone made = planned.tone;
                made.outputPath = staging.madePath(target);
                flight =
                    std::make_shared<ToneInFlight>(made.outputPath, target, planned.nameReserved);
                const double seconds = checkedSeconds(made);
                std::unique_ptr<StartedTone> started = engine.start(made, seconds);
                running.push_back({next, std::move(flight), std::move(started)});
            } catch (const Failure& failure) {
                if (flight)
                    flight->abandon();
                callbacks.ended(next, {false, failure.description()}, nullptr);
            }
        }
        if (!finished.empty())
            sinceLastEnd.start();
        for (ToneRunning& tone : finished)
            callbacks.ended(tone.index, tone.started->outcome(), tone.flight);
        if (running.empty())
            break;
        if (sinceLastEnd.elapsed() >= quietMs) {
            if (callbacks.waiting)
                callbacks.waiting(earliest());
            sinceLastEnd.start();
        }
        // Returns at once when one has ended meanwhile.
        QList<int> ends;
        for (const ToneRunning& tone : running)
            if (const int end = tone.started->endDescriptor(); end < 0 || !ends.contains(end))
                ends.append(end);
        waitForAnyEnd(ends, wakeDescriptor, int(quietMs - sinceLastEnd.elapsed()));
    }
}
