// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/ShellWait.h"
#include "synth/ToneOptions.h"
#include "synth/ToneStimuli.h"

#include <QMap>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <functional>
#include <optional>
#include <random>

// Tones are made at this sample rate, unless their pitch needs a higher one.
inline constexpr int toneSampleRate = 8000;

// The formats of tone files: the window writes WAV and MP3; FLAC is for the command line.
enum class ExportFormat { wav, mp3, flac };

// The end of a tone file's name, by which the tool writes the format.
inline QString fileExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::mp3:
        return QStringLiteral(".mp3");
    case ExportFormat::flac:
        return QStringLiteral(".flac");
    case ExportFormat::wav:
        break;
    }
    return QStringLiteral(".wav");
}

// Whether the path names an MP3 or a FLAC file, which the tool writes for that extension.
bool isMp3File(const QString& path);
bool isFlacFile(const QString& path);

// The sample rate a tone is made at: the lowest rate asked (8000 Hz unless an option says
// more) while its frequency lies below half of that; otherwise the lowest of 16000, 22050,
// 44100, 48000 and 96000 Hz that is more than twice the frequency, so that the file holds
// the pitch asked and not its alias. An MP3 file takes the lowest rate whose encoder
// low-pass lies above the pitch, with a margin. Noise has no pitch and stays at the rate
// asked.
int sampleRateFor(const QString& waveformWord, double frequency, int lowestRate = toneSampleRate,
                  bool mp3 = false);

// Why a tone cannot be made whatever the tool does, or empty text: a pitched tone at 0 Hz is
// silence, and an MP3 file loses a pitch above its encoder's low-pass at every rate.
QString toneRefusal(const QString& waveformWord, double frequency, int lowestRate, bool mp3);

// The type word SoX receives for a row of the waveform list: lower case, without
// "(default)", trimmed. The noise rows give one word ("pinknoise"): two words would
// make SoX write two channels and ignore the frequency.
QString waveformWord(const QString& shownText);
// The type word is one of the noises, which have no pitch.
bool isNoiseWord(const QString& waveformWord);

// The waveforms of the list, in the order of its rows.
enum class Waveform {
    sine,
    square,
    triangle,
    sawtooth,
    trapezium,
    exp,
    whiteNoise,
    pinkNoise,
    brownNoise
};
// The rows of the waveform list, in their order.
inline const QStringList waveformRows = {
    QStringLiteral("Sine (Default)"), QStringLiteral("Square"),     QStringLiteral("Triangle"),
    QStringLiteral("Sawtooth"),       QStringLiteral("Trapezium"),  QStringLiteral("Exp"),
    QStringLiteral("White Noise"),    QStringLiteral("Pink Noise"), QStringLiteral("Brown Noise")};

// The waveform of a row of the list, its shown text or its type word in any case; nothing
// for no row.
std::optional<Waveform> waveformOfRow(const QString& shownText);
// Its row of the list, as the answer key names it.
QString waveformRowText(Waveform waveform);

// The seed of tone number `toneNumber` of a set drawn with `setSeed`: the same pair gives the
// same seed, neighbouring numbers unrelated ones. Every draw of a tone comes from a generator
// started with it, so that tone k is the same wherever and whenever it is made.
quint64 toneSeed(quint64 setSeed, qint64 toneNumber);

// A whole number drawn uniformly: lower..upper when lower <= upper, upper + 1..lower
// when the bounds are reversed. Throws Failure "Overflow" when upper - lower lies
// outside -32768..32766.
qint16 randomBetween(qint16 lower, qint16 upper, std::mt19937_64& generator);

// A frequency drawn between the bounds as the pitch draw says: whole hertz with equal
// chance (randomBetween()); whole hertz spread evenly per octave (both bounds above 0); or
// an equal-tempered note (A4 = 440 Hz) between the bounds, each with equal chance. Throws
// Failure when the bounds allow no such frequency. The same generator state gives the same
// frequency with every compiler and library.
double drawPitch(qint16 lower, qint16 upper, ToneOptions::PitchDraw draw,
                 std::mt19937_64& generator);

// One tone: everything that decides its file. The window's steps fill it in as they read
// the controls; ziravel-batch builds it from its options.
// A band that noise is filtered to, in Hz.
struct NoiseBand {
    double low = 0;
    double high = 0;

    // As the key and the tool's filter write it: "500-2000".
    QString text() const;
    bool operator==(const NoiseBand&) const = default;
};

// The band between two bounds, in either order. Throws Failure when they are the same.
NoiseBand bandBetween(double bound, double otherBound);

// The band LOW-HIGH as typed, in whole or decimal Hz with 0 <= LOW < HIGH; nothing otherwise.
std::optional<NoiseBand> noiseBandOf(const QString& text);

struct Tone {
    QString outputPath;
    // As typed: a text that holds no length stays one argument, which the run refuses.
    QString lengthText;
    std::optional<Waveform> waveform; // nothing when no row of the list is chosen
    double frequency = 0;             // a sweep's start
    ToneOptions options;
    // The highest pitch of the tone's set: one rate, the one that holds it, for the whole set
    // (0: the tone's own pitch decides). An MP3 set is held up to what its encoder keeps.
    double setHighestPitch = 0;
    // What its draws came from (toneSeed()), and the library engine's noise and dither;
    // nothing when it was drawn otherwise.
    std::optional<quint64> seed;
    // Noise at an RMS level is made once, measured, and made again from its seed with the gain
    // corrected by what it fell short of the level: this much.
    double rmsCorrectionDb = 0;
    // Noise is filtered to it: a noise type, or the noise under a tone.
    std::optional<NoiseBand> band;
    // The balanced design's round the tone belongs to, from 1; none outside a design.
    std::optional<qint64> designRound;
    // The split of the set it falls in (SetSplits); empty when the set is not split.
    QString split;
    // Its pitches' notes as the user spelled them, by frequency (noteSpellings()).
    QMap<double, QString> noteNames;
    // Where a sweep ends; a steady tone has none.
    std::optional<double> endFrequency;
    // The pitches of the file's tones after the first (options.tonesPerFile).
    QList<double> laterFrequencies;
    // What a tone made of sines drew: its harmonics' phases when random (in cycles), and its
    // modulations' rates.
    QList<double> harmonicPhases;
    std::optional<double> amRate;
    std::optional<double> fmRate;

    // The type word SoX receives; empty for no waveform, which SoX refuses.
    QString waveformWord() const;
    bool isNoise() const;
    // Whether its level sets the RMS of noise, which is measured from its file.
    bool isNoiseAtRmsLevel() const;
    // Whether it is noise filtered to a band whose peak its level sets: the tool finds the
    // filtered noise's peak and sets it.
    bool isBandNoiseAtPeakLevel() const;
    // The gain the tool gives it, nothing for none: the level, at an RMS level raised by
    // the waveform's peak over its RMS; for noise at an RMS level always given, so that a
    // measured correction has its place.
    std::optional<double> gainDb() const;
    bool isMp3() const { return isMp3File(outputPath); }
    bool isFlac() const { return isFlacFile(outputPath); }
    // The highest of its pitches.
    double highestPitch() const;
    // The highest pitch a file of its set may hold: its own, the set's highest pitch climbed by
    // its intervals, or its noise band's top. Its rate must hold it.
    double heldPitch() const;
    // The peak its level asks for, in dBFS; nothing for noise set by its RMS, which is
    // measured instead.
    std::optional<double> expectedPeakDb() const;
    // The seconds of its file: its tones and the gaps between them.
    double fileSeconds(double toneSeconds) const;
    // The rate it is made at (sampleRateFor()).
    int sampleRate() const;
    int channels() const;
    // Whether it is made as a sum of sines, with a masking noise or without: a complex, a
    // modulated tone, or a tone in noise.
    bool isMadeOfSines() const;
    // Whether a noise lies under it.
    bool isInNoise() const;
    // Whether its sines come from a recipe (a sine's complex or modulation), not one waveform.
    bool hasSineRecipe() const;
    // The recipe of a tone of the file from `frequency` to `endFrequency`.
    SineRecipe sineRecipe(double frequency, double endFrequency) const;
    // The sines of its first tone.
    QList<Partial> sines() const;
    // Whether its first tone would be made of more sines than the tool takes (mostPartials).
    bool hasTooManySines() const;
    // The samples the lagging ear waits, at its rate.
    int itdSamples() const;
    // Its peak above its RMS, for its level (peakOverRmsDb() for a plain waveform).
    double peakOverRmsDb() const;
};

// The highest level, to a tenth of a dB, at which the tone in its noise at `snrDb` cannot pass
// full scale however the noise falls: the tone's peak and the noise's added, the noise's peak
// above its RMS bounded for its kind, its band and its number of samples. In the tone's level
// reference; a complex in random phases is taken at the lowest peak over RMS it could have.
double highestLevelInNoise(const Tone& tone, double snrDb);

// How far the waveform's peak lies above its RMS, in dB, for the tool's waveforms with their
// shapes at the tool's defaults (a sine's 3.01 dB); 0 for noise, which is measured instead.
double peakOverRmsDb(const QString& waveformWord);

// The tone's pitches as its shape asks, once `frequency` holds its drawn pitch: a steady tone
// keeps it; a sweep goes from bound to bound, or between it and a second pitch that
// `drawAgain` draws, upward or downward. Noise keeps its one pitch. The later tones of a file
// are each the interval from the one before, downward for an `intervalSign` of -1, or drawn.
// Throws Failure with this for a sweep in a file of several tones.
inline const QString sweepInSequenceText =
    QStringLiteral("A sweep is made alone in its file: one tone per file.");
void shapePitches(Tone& tone, double bound, double otherBound,
                  const std::function<double()>& drawAgain, int intervalSign = 1);

// The SoX arguments of the tone: its sample rate, the null input, the output path and the
// synth effect with length, type and frequency, then what the options add
// (optionArguments(); at their defaults, nothing). Each value is exactly one argument,
// whatever the texts hold: the length is the number the field holds, written as a plain
// decimal with a point (a text that is no number stays one argument, which the run refuses),
// and a path that begins with "-" is given as "./-...".
QStringList toolArguments(const Tone& tone);

// The tool and the tone's arguments: what runs to make it.
CommandLine toneCommand(const QString& toolPath, const Tone& tone);

// The length of the tone's file in seconds once its tone length is checked, the one check of
// a length before the tool runs. Throws Failure for a tone length that is not a positive
// number of seconds (at least one sample), on which SoX would write without end, and for a
// file longer than a day or whose WAV file would pass the 4 GiB the format can hold, on
// which SoX would fill the disk.
double checkedSeconds(const Tone& tone);

// Why the tone cannot be made as asked whatever the tool does, or empty text: no waveform
// chosen, a length past checkedSeconds()'s limits, its pitch
// (toneRefusal() above, and a pitch above what the highest rate holds), a logarithmic sweep
// from or to 0 Hz, a fade longer than half the tone (it would never reach its level), or an
// MP3 file asked for a rate or a noise band its encoder cannot keep.
QString toneRefusal(const Tone& tone);
// The same for the parts a whole set shares, told by the option that asks for them: the fade
// ("fade"), the rate ("rate"), the band ("band"), and the pitch that the set's files reach at
// the most ("pitch"; a band's top: "band"), which some rate must hold, and a frequency modulation
// whose slowest rate has more side bands than a tone may be made of ("fm"). Nothing when the
// set can be made.
struct SetRefusal {
    QString option;
    QString reason;
};
std::optional<SetRefusal> setRefusal(const Tone& highest);

// What a made file's peak must be to be the tone asked for: within the tolerance of the peak its
// level asks for (nothing: noise set by its RMS, which is measured instead), and never silent.
// The samples of a pitched tone reach its level (a pitch close to half the rate in a short tone
// may fall short of it), an MP3 encoder's ringing overshoots it, and a short noise may stay well
// below.
struct PeakRule {
    std::optional<double> expectedDb;
    double belowDb = 0;
    double aboveDb = 0;
};
PeakRule peakRule(const Tone& tone);

// Why a file whose samples peak at `peakDb` dBFS (-inf: silence) is not the tone asked for, or
// empty text when it is.
QString peakRefusal(const QString& path, const PeakRule& rule, double peakDb);

// The tone length of a synth command's arguments, in seconds: the argument after "synth" (and
// its "-n") when it is a plain decimal number of at least one sample. SoX reads a sign or a
// time form as something else, and writes without end for a length of no sample at all.
std::optional<double> toneSeconds(const QStringList& arguments);

// The seconds of a tone whose length field holds the text, read as the run reads the
// argument the text becomes: nothing for a length the run refuses.
std::optional<double> toneSecondsOf(const QString& lengthText);

// A synth run: how the tool ended, which tool it was, and the length and sample rate of
// the tone it was asked for.
struct SynthRun {
    ChildResult child;
    QString program;
    double seconds = 0;
    int sampleRate = toneSampleRate;
    PeakRule peak;
};
