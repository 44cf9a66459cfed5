// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/TrialSound.h"

#include "analysis/WavFile.h"
#include "making/ToneEngine.h"
#include "runner/Failure.h"
#include "runner/SafeFile.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>
#include <cmath>
#include <limits>
#include <vector>

double TrialSound::onsetSeconds(int interval) const {
    return double(intervalOnsets.value(interval - 1)) / sampleRate;
}

double TrialSound::seconds() const {
    return double(frames) / sampleRate;
}

namespace {

struct IntervalFile {
    QByteArray bytes;
    WavFileInfo info;
};

IntervalFile madeInterval(ToneSession& session, const QString& toolPath, const Tone& tone) {
    if (const QString refusal = toneRefusal(tone); !refusal.isEmpty())
        throw Failure(refusal);
    const ToneOutcome outcome = makeTone(session, toneCommand(toolPath, tone), tone);
    if (!outcome.made)
        throw Failure(outcome.reason);
    QFile file(tone.outputPath);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(file.errorString());
    IntervalFile interval{file.readAll(), {}};
    const std::optional<WavFileInfo> info = wavFileInfo(interval.bytes, interval.bytes.size());
    if (!info)
        throw Failure(QStringLiteral("The tool wrote no WAV file the trial can be made of."));
    interval.info = *info;
    return interval;
}

// The RMS of the samples, as a level in dBFS.
double rmsDb(const IntervalFile& interval) {
    std::vector<float> samples(size_t(interval.info.frames * interval.info.layout.channels));
    decodeFrames(interval.bytes.constData() + interval.info.layout.dataOffset, interval.info.frames,
                 interval.info.layout, samples.data());
    double sum = 0;
    for (const float sample : samples)
        sum += double(sample) * sample;
    return 10 * std::log10(sum / double(samples.size()));
}

// Adds the signal's samples to the noise's, 32-bit sample by sample: refused where they would
// pass full scale.
void addInto(IntervalFile& noise, const IntervalFile& signal) {
    const WavLayout& layout = noise.info.layout;
    const WavLayout& other = signal.info.layout;
    if (layout.bitsPerSample != 32 || layout.isFloat || other.bitsPerSample != 32 ||
        other.isFloat || other.channels != layout.channels ||
        other.sampleRate != layout.sampleRate || signal.info.frames != noise.info.frames)
        throw Failure(QStringLiteral("The tone and its noise were made in different formats."));
    char* into = noise.bytes.data() + layout.dataOffset;
    const char* from = signal.bytes.constData() + other.dataOffset;
    for (qint64 at = 0; at < noise.info.frames * layout.channels; ++at) {
        const qint64 sum = qint64(qFromLittleEndian<qint32>(into + 4 * at)) +
                           qFromLittleEndian<qint32>(from + 4 * at);
        if (sum > std::numeric_limits<qint32>::max() || sum < std::numeric_limits<qint32>::min())
            throw Failure(QStringLiteral("The tone in its noise would pass 0 dBFS: lower the "
                                         "noise's level or the highest SNR."));
        qToLittleEndian<qint32>(qint32(sum), into + 4 * at);
    }
}

// The header of the first interval's file, its sizes set to the joined sound's: the RIFF
// chunk's, the frames a "fact" chunk counts, the data's.
QByteArray joinedHeader(const IntervalFile& first, qint64 frames) {
    const WavLayout& layout = first.info.layout;
    QByteArray header = first.bytes.left(layout.dataOffset);
    const auto put = [&](qsizetype at, qint64 value) {
        qToLittleEndian<quint32>(quint32(value), header.data() + at);
    };
    const qint64 dataBytes = frames * layout.frameBytes();
    put(4, header.size() - 8 + dataBytes);
    for (qsizetype at = 12; at + 8 <= header.size();) {
        const quint32 size = qFromLittleEndian<quint32>(header.constData() + at + 4);
        if (header.mid(at, 4) == "fact" && size >= 4)
            put(at + 8, frames);
        at += 8 + size + (size & 1);
    }
    put(header.size() - 4, dataBytes);
    return header;
}

} // namespace

TrialSound makeTrialSound(ToneSession& session, const QString& toolPath,
                          const ForcedChoiceSetup& setup, const ForcedChoiceTrial& trial,
                          const QString& path) {
    const PrivateFolder made(QFileInfo(path).path());
    QList<IntervalFile> intervals;
    for (qsizetype at = 0; at < trial.intervalTones.size(); ++at) {
        Tone tone = trial.intervalTones[at];
        tone.outputPath = made.filePath(QStringLiteral("interval-%1.wav").arg(at + 1));
        intervals << madeInterval(session, toolPath, tone);
    }
    if (trial.signal) {
        // The tone made once, measured, and made again with its gain corrected, so that its RMS
        // as made (fades and all) lies the SNR above its noise's as made.
        IntervalFile& target = intervals[trial.targetInterval - 1];
        Tone signal = *trial.signal;
        signal.outputPath = made.filePath(QStringLiteral("signal.wav"));
        const double measured = rmsDb(madeInterval(session, toolPath, signal));
        signal.options.levelDb += rmsDb(target) + trial.snrDb - measured;
        addInto(target, madeInterval(session, toolPath, signal));
    }
    const WavLayout& layout = intervals.first().info.layout;
    TrialSound sound{path, layout.sampleRate, {}, 0};
    const qint64 gapFrames = std::llround(setup.gapMs / 1000.0 * layout.sampleRate);
    QByteArray data;
    for (const IntervalFile& interval : intervals) {
        const WavLayout& own = interval.info.layout;
        if (own.sampleRate != layout.sampleRate || own.channels != layout.channels ||
            own.bitsPerSample != layout.bitsPerSample || own.isFloat != layout.isFloat)
            throw Failure(QStringLiteral("The trial's intervals were made in different formats."));
        if (!sound.intervalOnsets.isEmpty())
            data.append(QByteArray(gapFrames * layout.frameBytes(), '\0'));
        sound.intervalOnsets << data.size() / layout.frameBytes();
        data.append(interval.bytes.mid(own.dataOffset, interval.info.frames * own.frameBytes()));
    }
    sound.frames = data.size() / layout.frameBytes();
    writeFileSafely(path, joinedHeader(intervals.first(), sound.frames) + data);
    return sound;
}
