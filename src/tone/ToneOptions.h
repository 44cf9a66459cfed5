// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

// The listening-test options of a tone. At their defaults (the option table's) a tone is made
// exactly as it always was: no further tool argument, the same files.
struct ToneOptions {
    enum class Channel { mono, leftOnly, rightOnly, bothEars };
    enum class PitchDraw { evenHz, evenPerOctave, notes, list };
    enum class LevelReference { peak, rms };
    enum class Shape { steady, sweepUp, sweepDown };
    enum class Sweep { linear, log };
    enum class SweepEnds { bounds, drawn };
    enum class FadeShape { raisedCosine, linear, gaussian, hamming };
    // Schroeder's phases flatten a complex's envelope; positive and negative run through its
    // period in opposite directions (harmonicPhaseOf()).
    enum class HarmonicPhase { sine, cosine, random, schroederPositive, schroederNegative };
    enum class Masker { none, whiteNoise, pinkNoise, brownNoise };
    // The classic binaural conditions of a tone in noise: the noise the same in both ears (N0),
    // inverted in the right (Npi) or of its own in each (Nu); the tone the same (S0) or
    // inverted in the right (Spi). None: the noise is mixed under the tone, which then goes to
    // the ears as the channel, ILD and ITD say.
    enum class Binaural { none, n0s0, n0spi, npis0, npispi, nus0, nuspi };

    int sampleRate{};    // the lowest rate; a pitch that needs more gets more
    int sampleBits{};    // 0: as the tool chooses; 16 or 24 for WAV and FLAC, 32 for float
    bool floatSamples{}; // 32-bit floating point WAV
    double levelDb{};    // 0 down to lowestLevelDb, in steps of 0.1
    // What the level sets: the peak, or the RMS (noise measured from each file).
    LevelReference levelReference{};
    int fadeMs{}; // a ramp at each end, 0 to 500 ms
    FadeShape fadeShape{};
    Channel channel{};
    // Both ears: the right ear this many dB above the left (below it when negative), -40 to 40.
    double ildDb{};
    // Both ears: the right ear leads by this many microseconds (the left when negative).
    double itdUs{};
    // A complex of sines: the harmonics' numbers (harmonicNumbers()); empty for a plain tone.
    QString harmonics;
    double harmonicSlopeDb{}; // each harmonic's level, in dB per octave above the fundamental
    HarmonicPhase harmonicPhase{};
    // Amplitude and frequency modulation, "RATE,DEPTH" and "RATE,DEVIATION" (modulationOf());
    // empty for none.
    QString am;
    QString fm;
    // A noise under the tone, this many dB below it in RMS.
    Masker masker{};
    double snrDb{};
    Binaural binaural{};
    // The noise under the tone alone, at the level it has under the tone: the interval without
    // the tone of a forced-choice trial.
    bool noiseAlone{};
    // The time difference to a sixteenth of a sample, by resampling, rather than whole samples.
    bool fineItd{};
    PitchDraw pitchDraw{};
    QString prefix;
    bool neverOverwrite{};
    // The frequencies or notes of the list draw (pitchesOf()).
    QString pitchList;
    // With the list draw: every listed pitch equally often, each round shuffled.
    bool balanced{};
    // Noise filtered to the band between the bounds.
    bool noiseBandFromBounds{};
    // A steady tone, or a sweep over the tone's length between the bounds or two drawn pitches.
    Shape shape{};
    Sweep sweep{};
    SweepEnds sweepEnds{};
    // Tones in one file, one after another with a gap of silence between them; each after the
    // first `intervalCents` from the one before, or drawn as the first when that is 0.
    int tonesPerFile{};
    int gapMs{};
    int intervalCents{};

    // Every option at its default, which the option table holds.
    ToneOptions();
    bool operator==(const ToneOptions&) const = default;

private:
    struct Unset {};
    explicit ToneOptions(Unset) {}
};

// Fine time differences between the ears are made in steps of this part of a sample.
inline constexpr int itdStepsPerSample = 16;

// The lowest level a tone is made at, in dBFS: threshold work goes this far down.
inline constexpr int lowestLevelDb = -120;

// Whether the condition has a noise of its own in each ear (Nu), inverts the right ear's noise
// (Npi) or its tone (Spi).
bool hasOwnNoisePerEar(ToneOptions::Binaural condition);
bool invertsNoise(ToneOptions::Binaural condition);
bool invertsTone(ToneOptions::Binaural condition);

// The rates the sample-rate option offers, lowest first.
inline const QList<int> offeredSampleRates{8000, 16000, 22050, 44100, 48000, 96000};

// The tool arguments the options add to a tone of the given length: the sample size before
// the output path, and the effects after the synth effect, `gainDb` among them when given.
// Empty at the defaults.
struct OptionArguments {
    QStringList beforeOutput;
    QStringList effects;
};
OptionArguments optionArguments(const ToneOptions& options, double seconds,
                                std::optional<double> gainDb);

// A file-name prefix that names a file in the folder and nothing else: no separator, no
// control character, not "." or "..", and short enough that every name made with it (the key's
// lock file the longest) fits the 255 bytes a file name may hold, and on Windows no name made
// with it is a device's or holds a character Windows keeps; anything else gives the default
// prefix.
QString safePrefix(const QString& typed);

// Whether a spreadsheet would read the text as a formula when it begins a cell of the answer
// key: it begins with "=", "+", "-" or "@". Such a file name or split name could run there.
bool beginsAsFormula(const QString& text);
