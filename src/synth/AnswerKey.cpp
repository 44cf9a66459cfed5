// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/AnswerKey.h"

#include "synth/NumberText.h"

#include "runner/Failure.h"
#include "runner/SafeFile.h"

#include <QStringList>
#include <cmath>

std::optional<NearestNote> nearestNote(double hertz) {
    if (!(hertz > 0))
        return std::nullopt;
    static const char* const names[] = {"C",  "C#", "D",  "D#", "E",  "F",
                                        "F#", "G",  "G#", "A",  "A#", "B"};
    const double fromA4 = 12 * std::log2(hertz / 440.0);
    const auto semitones = static_cast<int>(std::lround(fromA4));
    // Counted from C0, nine semitones below A0.
    const int fromC0 = semitones + 9 + 4 * 12;
    const int octave = fromC0 >= 0 ? fromC0 / 12 : (fromC0 - 11) / 12;
    const int step = fromC0 - octave * 12;
    return NearestNote{QString::fromLatin1(names[step]) + QString::number(octave),
                       static_cast<int>(std::lround(100 * (fromA4 - semitones)))};
}

namespace {

// A field as CSV has it: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

namespace {

const QByteArray header = "file,frequency_hz,note,cents,waveform,length_s,sample_rate_hz,"
                          "level_dbfs,made,sample_size_bits,channel,fade_ms,format,tone_seed,"
                          "end_frequency_hz,band_hz\n";

} // namespace

QByteArray answerRowText(const AnswerRow& row) {
    // Each tone of the file, its pitches, notes and cents each joined with ";".
    QStringList frequencies;
    QStringList notes;
    QStringList cents;
    if (row.frequency)
        for (const double hertz : QList<double>{*row.frequency} + row.laterFrequencies) {
            const std::optional<NearestNote> note = nearestNote(hertz);
            frequencies << decimalText(hertz);
            notes << (note ? note->name : QString());
            cents << (note ? QString::asprintf("%+d", note->cents) : QString());
        }
    const QChar joint(QLatin1Char(';'));
    const QStringList fields{csvField(row.fileName),
                             frequencies.join(joint),
                             notes.join(joint),
                             cents.join(joint),
                             csvField(row.waveform),
                             row.seconds ? decimalText(*row.seconds) : QString(),
                             QString::number(row.sampleRate),
                             decimalText(row.levelDbfs),
                             row.made ? QStringLiteral("yes") : QStringLiteral("no"),
                             row.sampleBits,
                             row.channel,
                             QString::number(row.fadeMs),
                             row.format,
                             row.toneSeed ? QString::number(*row.toneSeed) : QString(),
                             row.endFrequency ? decimalText(*row.endFrequency) : QString(),
                             row.band};
    return (fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
}

QString answerKeyName(const QString& prefix, int shard, int shards) {
    return shards > 0 ? QStringLiteral("%1tones-%2-of-%3.csv").arg(prefix).arg(shard).arg(shards)
                      : prefix + QStringLiteral("tones.csv");
}

AnswerKeyFile::AnswerKeyFile(const QString& path, bool append, std::function<bool()> stopWaiting)
    : m_path(path) {
    writing([&] {
        if (!append)
            writeFileSafely(path, header);
        // A run that replaces the key owns its set: nobody else adds to it.
        m_file = std::make_unique<AppendingFile>(path, header, !append, std::move(stopWaiting));
    });
    m_sinceSynced.start();
}

template <typename Write> void AnswerKeyFile::writing(const Write& write) {
    try {
        write();
    } catch (const Failure& failure) {
        throw Failure(QStringLiteral("The answer key %1 cannot be written: %2.")
                          .arg(m_path, failure.description()));
    }
}

void AnswerKeyFile::add(const AnswerRow& row) {
    writing([&] { m_file->append(answerRowText(row)); });
    ++m_unsynced;
    constexpr qint64 syncedEveryMs = 1000;
    if (m_sinceSynced.elapsed() >= syncedEveryMs)
        sync();
}

void AnswerKeyFile::finish() {
    writing([&] { m_file->sync(true); });
    m_unsynced = 0;
}

void AnswerKeyFile::sync() {
    if (m_unsynced == 0)
        return;
    writing([&] { m_file->sync(); });
    m_unsynced = 0;
    m_sinceSynced.start();
}
