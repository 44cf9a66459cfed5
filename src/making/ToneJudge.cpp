// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/ToneJudge.h"

#include "analysis/FlacFile.h"
#include "analysis/Mp3File.h"
#include "analysis/WavFile.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/SafeFile.h"
#include "tone/NumberText.h"

#include <QDir>
#include <QRegularExpression>
#include <cmath>

PeakRule peakRule(const Tone& tone) {
    // Measured over every waveform, pitch range, length and level the options allow: an MP3
    // encoder's ringing lifts a square's or a noise's peak by up to 8 dB, and its low-pass takes
    // a sawtooth's harmonics (4 dB); a noise of a few milliseconds may stay 30 dB below.
    const double aboveDb = tone.isMp3() ? 10 : 0.5;
    // Dither of one step either way, and the rounding's half step. Floating point and an MP3
    // encoder's output are not rounded to a sample size here.
    const int bits = tone.options.sampleBits > 0 ? tone.options.sampleBits
                     : tone.isFlac()             ? 24
                                                 : 32;
    const double roundingPeak =
        tone.isMp3() || tone.options.floatSamples ? 0 : 2.0 * std::pow(2.0, 1 - bits);
    if (tone.isNoise())
        return {tone.expectedPeakDb(), 40, aboveDb, roundingPeak};
    return {tone.expectedPeakDb(), tone.isMp3() ? 6.0 : 3.0, aboveDb, roundingPeak};
}

QString peakRefusal(const QString& path, const PeakRule& rule, double peakDb) {
    if (!std::isfinite(peakDb))
        return QStringLiteral("%1 is silent.").arg(QDir::toNativeSeparators(path));
    const auto shifted = [&](double db, double by) {
        return 20 * std::log10(std::max(0.0, std::pow(10.0, db / 20) + by));
    };
    if (!rule.expectedDb ||
        (peakDb >= shifted(*rule.expectedDb - rule.belowDb, -rule.roundingPeak) &&
         peakDb <= shifted(*rule.expectedDb + rule.aboveDb, rule.roundingPeak)))
        return {};
    return QStringLiteral("%1 peaks at %2 dBFS where its level asks for %3 dBFS.")
        .arg(QDir::toNativeSeparators(path))
        .arg(decimalText(std::round(peakDb * 10) / 10))
        .arg(decimalText(*rule.expectedDb));
}

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
    // The system's reason when the runner kept it, else the text of the error number.
    if (isStartFailure(run.child.status))
        return {false,
                QStringLiteral("%1 could not be started: %2")
                    .arg(program, !run.child.errorOutput.isEmpty()
                                      ? run.child.errorOutput
                                      : qt_error_string(run.child.status - startFailureBase))};
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
