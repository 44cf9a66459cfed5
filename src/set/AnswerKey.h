// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/SafeFile.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

// The answer key's name for files named with the prefix, so that sets of two prefixes in one
// folder keep their own keys; a shard's key (K of N) names its slice.
QString answerKeyName(const QString& prefix, int shard = 0, int shards = 0);

// One tone of a batch, as the answer key tells it.
struct AnswerRow {
    QString fileName;
    std::optional<double> frequency; // none for noise
    QString waveform;                // the waveform row's text
    std::optional<double> seconds;   // none when the length was no number
    int sampleRate = 0;
    double levelDbfs = 0;
    bool made = false;
    QString sampleBits; // 16, 24, 32 or 32f (floating point); empty for MP3
    QString channel;    // the option's word: mono, left, right, both
    int fadeMs = 0;
    QString format;                     // wav, mp3 or flac
    std::optional<double> endFrequency; // where a sweep ends
    QList<double> laterFrequencies;     // the file's later tones, joined with ";" to the first
    QString band;                       // the noise's band, "500-2000"; empty for none
    QString notch;                      // the band taken out of the noise; empty for none
    QString binaural;                   // a tone in noise's binaural condition, "n0spi"
    bool noiseAlone = false;            // its noise made without the tone
    std::optional<quint64> toneSeed;    // what the tone's draws came from
    QString levelReference;             // what the level is: peak or rms
    std::optional<double> fileSeconds;  // the file's length: its tones and gaps
    std::optional<qint64> round;        // the balanced design's round, from 1
    QString direction;                  // a file's intervals: up or down; empty for none
    QString split;                      // the split of the set it falls in
    std::optional<double> ildDb;        // both ears: the right ear above the left, in dB
    std::optional<double> itdUs;        // both ears: the right ear's lead as made, in us
    QString fadeShape;                  // the fade's ramp; empty without a fade
    QString harmonics;                  // a complex's harmonic numbers, "2;3;4;5"
    std::optional<double> harmonicSlopeDb;
    QString harmonicPhase;        // sine, cosine, random or a Schroeder phase
    QString harmonicPhases;       // random phases as drawn, in cycles, "0.25;0.7"
    std::optional<double> amRate; // amplitude modulation's rate in Hz and depth
    std::optional<double> amDepth;
    std::optional<double> fmRate; // frequency modulation's rate and deviation in Hz
    std::optional<double> fmDeviation;
    QString noise;                   // the noise under the tone; empty for none
    std::optional<double> snrDb;     // the tone's RMS above the noise's
    QMap<double, QString> noteNames; // notes as the user spelled them, by frequency
    QString sha256;                  // the made file's checksum, when asked for
};

// The tone's row in the answer key.
AnswerRow answeredTone(const Tone& tone, bool made);
// What the row tells of its made file, read from it: an MP3 file's length as decoders give it
// (its whole frames: the encoder pads the tone and writes no gapless header), and with
// `checksum` its SHA-256.
void measureMadeFile(AnswerRow& row, const QString& path, bool checksum);

// A number as a record's field has it (decimalText()), empty for none; a flag as "yes" or "no".
QString optionalNumber(const std::optional<double>& value);
QString yesNo(bool value);

// A field as CSV has it: quoted when it holds a comma, a quote or a line break.
QString csvField(const QString& text);

// The names of the key's columns for a set of such tones, in their order: its header. Columns
// that only some stimuli need come last, and only in their sets' keys.
QStringList answerKeyColumns(const Tone& setTone = Tone());
// The header line as the key begins with it, its line end included.
QByteArray answerKeyHeader(const Tone& setTone = Tone());
// Whether the names are the columns of some set's key.
bool isAnswerKeyHeader(const QStringList& names);

// The fields of one row of a key, its line end left off, unquoted as the key quotes them;
// nothing when it holds more than a row or a quoted field runs past its end (the row held a line
// break).
std::optional<QStringList> answerKeyFields(const QByteArray& line);

// An answer key on disk, its rows found in one pass that reads a block at a time and holds only
// where each row begins: a key of a million rows is told in some MB. A row is read back from the
// file when asked for.
class AnswerKeyIndex {
public:
    // The longest row a key may hold: a tone's row is some hundred bytes.
    static constexpr qint64 longestRow = 1 << 16;

    // Reads the key at the path. Throws Failure saying why when it is no key: no header naming a
    // "file" column, a row longer than longestRow, or one that has not the header's columns.
    explicit AnswerKeyIndex(const QString& path);
    ~AnswerKeyIndex();
    AnswerKeyIndex(const AnswerKeyIndex&) = delete;
    AnswerKeyIndex& operator=(const AnswerKeyIndex&) = delete;

    const QStringList& columns() const { return m_columns; }
    qsizetype rowCount() const { return qsizetype(m_starts.size()) - 1; }
    // The row's fields, unquoted; empty ones when the file can no longer be read. Reads the file
    // on the thread that asks, the last row asked kept.
    QStringList row(qsizetype at) const;
    // The row's field in the named column; empty text where there is none.
    QString field(qsizetype row, const QString& column) const;

private:
    QString m_path;
    QStringList m_columns;
    std::vector<qint64> m_starts; // where each row begins, and where the last one ends
    mutable std::unique_ptr<QFile> m_file;
    mutable qsizetype m_lastRow = -1;
    mutable QStringList m_lastFields;
};

// The equal-tempered note nearest to a frequency (A4 = 440 Hz), as "A4" or "C#5", and the
// frequency's distance from it in cents; nothing for a frequency that is not positive.
struct NearestNote {
    QString name;
    int cents = 0;
};
std::optional<NearestNote> nearestNote(double hertz);
// A pitch as people read it: one decimal and its nearest note, "1392 Hz (F6 -6 cents)".
QString pitchText(double hertz);

// One row of the answer key as UTF-8 comma-separated text, its line end included: file name,
// frequency in Hz, nearest note and its offset in cents, waveform, length in seconds, sample
// rate, level in dBFS, whether the tone was made, bits per sample, channel, fade in
// milliseconds, file format, the tone's seed, a sweep's end, the noise's band, what the level
// is (peak or rms), the file's length, the design's round, the intervals' direction, the split,
// the level and time differences between the ears, the fade's shape, a complex's harmonics,
// slope and phase, the modulations' rates, depth and deviation, the noise under the tone and
// its SNR, and the file's SHA-256; then those of the `columns` that only some sets have.
QByteArray answerRowText(const AnswerRow& row, const QStringList& columns = answerKeyColumns());

// The answer key of a run, true on disk for every row it holds at every moment. It is made
// when the run starts, replacing an earlier key of that name, whose rows would no longer tell
// the files the run writes over, or (`append`) kept and added to. An earlier key of files of
// another format (`extension`, ".wav"), which the run does not write over, is kept beside it
// under a name of its format ("Ziravel_tones-wav.csv"); one kept so of the run's own format
// goes, as its files are written over. Each row is written as its
// tone ends, in tone order, so that a run that is killed leaves a key that lacks only the tones
// under way; the rows are synced to disk once a second, and at the end with the tone files they
// name. A sync of every file at every row would cost more than the tones.
class AnswerKeyFile {
public:
    // Throws Failure naming the file when the key cannot be made or added to; an earlier key
    // stays as it was then. `stopWaiting`: as AppendingFile's. Its columns are those of a set
    // of tones such as `setTone`.
    AnswerKeyFile(const QString& path, bool append, const QString& extension,
                  std::function<bool()> stopWaiting = {}, const Tone& setTone = Tone());
    // Adds the row. Throws Failure naming the file.
    void add(const AnswerRow& row);
    // Puts every row added on disk, and the files they name first. Throws Failure naming the
    // file.
    void finish();

private:
    template <typename Write> void writing(const Write& write);
    void sync();

    QString m_path;
    QStringList m_columns;
    std::unique_ptr<AppendingFile> m_file;
    int m_unsynced = 0;
    QElapsedTimer m_sinceSynced;
};
