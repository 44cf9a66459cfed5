// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/AnswerKey.h"

#include "analysis/Mp3File.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/SafeFile.h"
#include "tone/NumberText.h"
#include "tone/ToneDraws.h"
#include "tone/ToneFormats.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <cmath>
#include <functional>
#include <utility>

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

QString pitchText(double hertz) {
    QString text = decimalText(std::round(hertz * 10) / 10) + QStringLiteral(" Hz");
    if (const std::optional<NearestNote> note = nearestNote(hertz))
        text +=
            QStringLiteral(" (%1 %2 cents)").arg(note->name, QString::asprintf("%+d", note->cents));
    return text;
}

QString optionalNumber(const std::optional<double>& value) {
    return value ? decimalText(*value) : QString();
}

QString yesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString csvField(const QString& text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r')))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

namespace {

// Whether the tone's harmonics start at phases drawn for it, which its key's row then gives.
bool hasRandomHarmonicPhases(const Tone& tone) {
    return !tone.options.harmonics.isEmpty() && !tone.isNoise() &&
           tone.options.harmonicPhase == ToneOptions::HarmonicPhase::random;
}

// Each tone of the file, with what `field` gives of its pitch, joined with ";"; nothing for
// noise.
QString eachPitch(const AnswerRow& row, const std::function<QString(double)>& field) {
    QStringList fields;
    if (row.frequency)
        for (const double hertz : QList<double>{*row.frequency} + row.laterFrequencies)
            fields << field(hertz);
    return fields.join(QLatin1Char(';'));
}

QString noteField(const AnswerRow& row, double hertz, bool cents) {
    // A note the user named is the pitch itself, spelled as they spelled it.
    if (const auto named = row.noteNames.constFind(hertz); named != row.noteNames.cend())
        return cents ? QStringLiteral("+0") : *named;
    const std::optional<NearestNote> note = nearestNote(hertz);
    if (!note)
        return {};
    return cents ? QString::asprintf("%+d", note->cents) : note->name;
}

// The key's columns, in their order: the header's names and each row's fields.
struct KeyColumn {
    const char* name;
    std::function<QString(const AnswerRow&)> field;
    // A column only the sets of such tones have, so that every other set's key stays as it was;
    // none for a column of every set's.
    std::function<bool(const Tone&)> usedBy{};
};
const QList<KeyColumn>& keyColumns() {
    static const QList<KeyColumn> columns{
        {"file", [](const AnswerRow& row) { return csvField(row.fileName); }},
        {"frequency_hz", [](const AnswerRow& row) { return eachPitch(row, decimalText); }},
        {"note",
         [](const AnswerRow& row) {
             return eachPitch(row, [&row](double hertz) { return noteField(row, hertz, false); });
         }},
        {"cents",
         [](const AnswerRow& row) {
             return eachPitch(row, [&row](double hertz) { return noteField(row, hertz, true); });
         }},
        {"waveform", [](const AnswerRow& row) { return csvField(row.waveform); }},
        {"length_s", [](const AnswerRow& row) { return optionalNumber(row.seconds); }},
        {"sample_rate_hz", [](const AnswerRow& row) { return QString::number(row.sampleRate); }},
        {"level_dbfs", [](const AnswerRow& row) { return decimalText(row.levelDbfs); }},
        {"made", [](const AnswerRow& row) { return yesNo(row.made); }},
        {"sample_size_bits", [](const AnswerRow& row) { return row.sampleBits; }},
        {"channel", [](const AnswerRow& row) { return row.channel; }},
        {"fade_ms", [](const AnswerRow& row) { return QString::number(row.fadeMs); }},
        {"format", [](const AnswerRow& row) { return row.format; }},
        {"tone_seed",
         [](const AnswerRow& row) {
             return row.toneSeed ? QString::number(*row.toneSeed) : QString();
         }},
        {"end_frequency_hz", [](const AnswerRow& row) { return optionalNumber(row.endFrequency); }},
        {"band_hz", [](const AnswerRow& row) { return row.band; }},
        {"level_reference", [](const AnswerRow& row) { return row.levelReference; }},
        {"file_seconds", [](const AnswerRow& row) { return optionalNumber(row.fileSeconds); }},
        {"round",
         [](const AnswerRow& row) { return row.round ? QString::number(*row.round) : QString(); }},
        {"direction", [](const AnswerRow& row) { return row.direction; }},
        {"split", [](const AnswerRow& row) { return row.split; }},
        {"ild_db", [](const AnswerRow& row) { return optionalNumber(row.ildDb); }},
        {"itd_us", [](const AnswerRow& row) { return optionalNumber(row.itdUs); }},
        {"fade_shape", [](const AnswerRow& row) { return row.fadeShape; }},
        {"harmonics", [](const AnswerRow& row) { return row.harmonics; }},
        {"harmonic_slope_db",
         [](const AnswerRow& row) { return optionalNumber(row.harmonicSlopeDb); }},
        {"harmonic_phase", [](const AnswerRow& row) { return row.harmonicPhase; }},
        {"am_rate_hz", [](const AnswerRow& row) { return optionalNumber(row.amRate); }},
        {"am_depth", [](const AnswerRow& row) { return optionalNumber(row.amDepth); }},
        {"fm_rate_hz", [](const AnswerRow& row) { return optionalNumber(row.fmRate); }},
        {"fm_deviation_hz", [](const AnswerRow& row) { return optionalNumber(row.fmDeviation); }},
        {"noise", [](const AnswerRow& row) { return row.noise; }},
        {"snr_db", [](const AnswerRow& row) { return optionalNumber(row.snrDb); }},
        {"sha256", [](const AnswerRow& row) { return row.sha256; }},
        {"notch_hz", [](const AnswerRow& row) { return row.notch; },
         [](const Tone& tone) { return tone.notch.has_value(); }},
        {"binaural", [](const AnswerRow& row) { return row.binaural; },
         [](const Tone& tone) { return tone.binaural() != ToneOptions::Binaural::none; }},
        {"noise_alone", [](const AnswerRow& row) { return yesNo(row.noiseAlone); },
         [](const Tone& tone) { return tone.isInNoise() && tone.options.noiseAlone; }},
        {"harmonic_phases", [](const AnswerRow& row) { return row.harmonicPhases; },
         [](const Tone& tone) { return hasRandomHarmonicPhases(tone); }},
    };
    return columns;
}

} // namespace

QByteArray answerKeyHeader(const Tone& setTone) {
    return (answerKeyColumns(setTone).join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
}

QStringList answerKeyColumns(const Tone& setTone) {
    QStringList names;
    for (const KeyColumn& column : keyColumns())
        if (!column.usedBy || column.usedBy(setTone))
            names << QLatin1String(column.name);
    return names;
}

bool isAnswerKeyHeader(const QStringList& names) {
    qsizetype at = 0;
    for (const KeyColumn& column : keyColumns())
        if (at < names.size() && names[at] == QLatin1String(column.name))
            ++at;
        else if (!column.usedBy)
            return false;
    return at == names.size();
}

std::optional<QStringList> answerKeyFields(const QByteArray& line) {
    QStringList fields;
    QString field;
    bool quoted = false;
    const QString all = QString::fromUtf8(line);
    for (qsizetype at = 0; at < all.size(); ++at) {
        const QChar c = all[at];
        if (quoted) {
            if (c != QLatin1Char('"'))
                field += c;
            else if (at + 1 < all.size() && all[at + 1] == QLatin1Char('"'))
                field += all[++at];
            else
                quoted = false;
        } else if (c == QLatin1Char('"')) {
            quoted = true;
        } else if (c == QLatin1Char(',')) {
            fields << std::exchange(field, QString());
        } else if (c == QLatin1Char('\n')) {
            // A line end outside quotes ends the row: this is more than one.
            return std::nullopt;
        } else if (c != QLatin1Char('\r')) {
            field += c;
        }
    }
    if (quoted)
        return std::nullopt;
    return fields << field;
}

AnswerKeyIndex::AnswerKeyIndex(const QString& path) : m_path(path) {
    QFile file;
    openRegularFile(file, path);
    const auto refused = [&](const QString& why) {
        return Failure(QStringLiteral("%1 is no answer key: %2").arg(path, why));
    };
    constexpr qint64 blockBytes = 1 << 20;
    QByteArray header;
    qint64 rowStart = 0;
    qint64 at = 0;
    qsizetype fields = 1;
    bool quoted = false;
    // A row ends at a line end outside quotes; it must hold the header's columns.
    const auto rowEnded = [&](qint64 end) {
        if (m_columns.isEmpty()) {
            const std::optional<QStringList> names = answerKeyFields(header);
            if (!names || !names->contains(QStringLiteral("file")))
                throw refused(QStringLiteral("its first line names no \"file\" column."));
            m_columns = *names;
        } else if (fields != m_columns.size()) {
            throw refused(QStringLiteral("row %1 has %2 fields where the header names %3 columns.")
                              .arg(m_starts.size())
                              .arg(fields)
                              .arg(m_columns.size()));
        } else {
            m_starts.push_back(rowStart);
        }
        rowStart = end + 1;
        fields = 1;
    };
    for (QByteArray block; !(block = file.read(blockBytes)).isEmpty();) {
        for (const char c : block) {
            if (quoted)
                quoted = c != '"';
            else if (c == '"')
                quoted = true;
            else if (c == ',')
                ++fields;
            if (at - rowStart >= longestRow)
                throw refused(QStringLiteral("a row is longer than %1 bytes.").arg(longestRow));
            if (m_columns.isEmpty())
                header += c;
            if (c == '\n' && !quoted) {
                if (m_columns.isEmpty())
                    header.chop(1);
                rowEnded(at);
            }
            ++at;
        }
    }
    if (rowStart < at || m_columns.isEmpty())
        rowEnded(at);
    m_starts.push_back(rowStart);
}

AnswerKeyIndex::~AnswerKeyIndex() = default;

QStringList AnswerKeyIndex::row(qsizetype at) const {
    if (at == m_lastRow)
        return m_lastFields;
    if (at < 0 || at >= rowCount())
        return {};
    if (!m_file) {
        m_file = std::make_unique<QFile>();
        try {
            openRegularFile(*m_file, m_path);
        } catch (const Failure&) {
            m_file.reset();
            return QStringList(m_columns.size());
        }
    }
    const qint64 start = m_starts[std::size_t(at)];
    QByteArray line;
    if (m_file->seek(start))
        line = m_file->read(m_starts[std::size_t(at) + 1] - start);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    m_lastRow = at;
    m_lastFields = answerKeyFields(line).value_or(QStringList(m_columns.size()));
    return m_lastFields;
}

QString AnswerKeyIndex::field(qsizetype row, const QString& column) const {
    const qsizetype at = m_columns.indexOf(column);
    return at >= 0 ? this->row(row).value(at) : QString();
}

QByteArray answerRowText(const AnswerRow& row, const QStringList& columns) {
    QStringList fields;
    for (const KeyColumn& column : keyColumns())
        if (!column.usedBy || columns.contains(QLatin1String(column.name)))
            fields << column.field(row);
    return (fields.join(QLatin1Char(',')) + QLatin1Char('\n')).toUtf8();
}

AnswerRow answeredTone(const Tone& tone, bool made) {
    AnswerRow answer;
    answer.fileName = QFileInfo(tone.outputPath).fileName();
    if (!tone.isNoise())
        answer.frequency = tone.frequency;
    answer.waveform = tone.waveformWord();
    double seconds = 0;
    if (parseNumberText(tone.lengthText, seconds)) {
        answer.seconds = seconds;
        answer.fileSeconds = tone.fileSeconds(seconds);
    }
    answer.sampleRate = tone.sampleRate();
    answer.levelDbfs = tone.options.levelDb;
    answer.made = made;
    if (!tone.isMp3())
        answer.sampleBits = tone.options.floatSamples ? QStringLiteral("32f")
                            : tone.options.sampleBits > 0
                                ? QString::number(tone.options.sampleBits)
                                : QString::number(tone.isFlac() ? 24 : 32);
    answer.channel = optionWord(Option::channel, tone.options);
    answer.fadeMs = tone.options.fadeMs;
    answer.format = QFileInfo(tone.outputPath).suffix().toLower();
    answer.toneSeed = tone.seed;
    if (tone.band)
        answer.band = tone.band->text();
    if (tone.notch)
        answer.notch = tone.notch->text();
    answer.endFrequency = tone.endFrequency;
    answer.laterFrequencies = tone.laterFrequencies;
    answer.levelReference = optionWord(Option::levelReference, tone.options);
    answer.round = tone.designRound;
    answer.split = tone.split;
    // The ears differ only in a file for both; the lead made is whole or sixteenth samples of
    // its rate.
    if (tone.options.channel == ToneOptions::Channel::bothEars) {
        answer.ildDb = tone.options.ildDb;
        const qint64 lag = tone.itdSteps();
        answer.itdUs =
            lag > 0 ? std::copysign(double(lag) * 1e6 / itdStepsPerSample / tone.sampleRate(),
                                    tone.options.itdUs)
                    : 0;
    }
    if (tone.options.fadeMs > 0)
        answer.fadeShape = optionWord(Option::fadeShape, tone.options);
    if (tone.hasSineRecipe()) {
        const SineRecipe recipe = tone.sineRecipe(tone.frequency, tone.frequency);
        if (!tone.options.harmonics.isEmpty()) {
            QStringList numbers;
            for (const int number : recipe.harmonics)
                numbers << QString::number(number);
            answer.harmonics = numbers.join(QLatin1Char(';'));
            answer.harmonicSlopeDb = recipe.slopeDbPerOctave;
            answer.harmonicPhase = optionWord(Option::harmonicPhase, tone.options);
            if (hasRandomHarmonicPhases(tone)) {
                QStringList phases;
                for (const double phase : recipe.phases)
                    phases << decimalText(phase);
                answer.harmonicPhases = phases.join(QLatin1Char(';'));
            }
        }
        answer.amRate = recipe.amRate;
        if (recipe.amRate)
            answer.amDepth = recipe.amDepth;
        answer.fmRate = recipe.fmRate;
        if (recipe.fmRate)
            answer.fmDeviation = recipe.fmDeviation;
    }
    if (tone.isInNoise()) {
        answer.noise = optionWord(Option::masker, tone.options);
        answer.snrDb = tone.options.snrDb;
        if (tone.binaural() != ToneOptions::Binaural::none)
            answer.binaural = optionWord(Option::binaural, tone.options);
        answer.noiseAlone = tone.options.noiseAlone;
    }
    answer.noteNames = tone.noteNames;
    // The answer of a two-interval trial: which way the file's tones go.
    if (tone.options.intervalCents != 0 && !tone.laterFrequencies.isEmpty() && !tone.isNoise())
        answer.direction = tone.laterFrequencies.first() > tone.frequency ? QStringLiteral("up")
                                                                          : QStringLiteral("down");
    return answer;
}

void measureMadeFile(AnswerRow& row, const QString& path, bool checksum) {
    if (row.format == QLatin1String("mp3") && row.sampleRate > 0)
        if (const std::optional<qint64> samples = mp3SampleCount(path))
            row.fileSeconds = double(*samples) / row.sampleRate;
    if (checksum)
        row.sha256 = fileSha256(path);
}

QString answerKeyName(const QString& prefix, int shard, int shards) {
    return shards > 0 ? QStringLiteral("%1tones-%2-of-%3.csv").arg(prefix).arg(shard).arg(shards)
                      : prefix + QStringLiteral("tones.csv");
}

namespace {

// The format of the files a key on disk tells of, its first row's ("wav"); empty text when it
// is no key of ours or holds no row.
QString keyFormat(const QString& path) {
    QFile file;
    try {
        openRegularFile(file, path, Links::refused);
    } catch (const Failure&) {
        return {};
    }
    const auto fields = [&file]() {
        QByteArray line = file.readLine(AnswerKeyIndex::longestRow);
        while (line.endsWith('\n') || line.endsWith('\r'))
            line.chop(1);
        return answerKeyFields(line);
    };
    const std::optional<QStringList> columns = fields();
    const std::optional<QStringList> first = fields();
    if (!columns || !first || columns->size() != first->size())
        return {};
    const QString format = first->value(columns->indexOf(QStringLiteral("format")));
    for (const ExportFormat offered : {ExportFormat::wav, ExportFormat::mp3, ExportFormat::flac})
        if (fileExtension(offered).mid(1) == format)
            return format;
    return {};
}

QString keptKeyPath(const QString& keyPath, const QString& format) {
    return keyPath.chopped(4) + QLatin1Char('-') + format + QStringLiteral(".csv");
}

// Keeps the earlier key at the path when it tells of files of another format than the run's.
void keepKeyOfOtherFormat(const QString& path, const QString& extension) {
    const QString format = extension.mid(1);
    if (const QString earlier = keyFormat(path); !earlier.isEmpty() && earlier != format)
        moveToName(path, keptKeyPath(path, earlier), false);
    removeOwnFile(keptKeyPath(path, format));
}

} // namespace

AnswerKeyFile::AnswerKeyFile(const QString& path, bool append, const QString& extension,
                             std::function<bool()> stopWaiting, const Tone& setTone)
    : m_path(path), m_columns(answerKeyColumns(setTone)) {
    writing([&] {
        const QByteArray header = answerKeyHeader(setTone);
        if (!append) {
            keepKeyOfOtherFormat(path, extension);
            writeFileSafely(path, header);
        }
        // A run that replaces the key owns its set: nobody else adds to it.
        m_file = std::make_unique<AppendingFile>(path, header, !append, std::move(stopWaiting));
    });
    m_sinceSynced.start();
}

template <typename Write> void AnswerKeyFile::writing(const Write& write) {
    try {
        write();
    } catch (const Failure& failure) {
        throw Failure(
            QStringLiteral("The answer key %1 cannot be written: %2")
                .arg(QDir::toNativeSeparators(m_path), withFullStop(failure.description())));
    }
}

void AnswerKeyFile::add(const AnswerRow& row) {
    writing([&] { m_file->append(answerRowText(row, m_columns)); });
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
