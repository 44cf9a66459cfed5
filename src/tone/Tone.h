// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneFormats.h"
#include "tone/ToneOptions.h"
#include "tone/ToneStimuli.h"
#include "tone/Waveform.h"

#include <QList>
#include <QMap>
#include <QString>
#include <functional>
#include <optional>

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

// One tone: everything that decides its file. The window's steps fill it in as they read
// the controls; ziravel-batch builds it from its options.
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
    // A band taken out of that noise, for a notched noise.
    std::optional<NoiseBand> notch;
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
    // Noise cut from the tool's repeatable noise (its -R) from this sample on: the same samples at
    // every run, a different stretch for each place. None: the tool's noise of the moment.
    std::optional<qint64> repeatableNoiseFrom;

    // The type word SoX receives; empty for no waveform, which SoX refuses.
    QString waveformWord() const;
    bool isNoise() const;
    // Whether its level sets the RMS of noise, which is measured from its file.
    bool isNoiseAtRmsLevel() const;
    // Whether its noise is filtered: to a band, or notched.
    bool isFiltered() const { return band || notch; }
    // Whether it is filtered noise whose peak its level sets: the tool finds the filtered
    // noise's peak and sets it.
    bool isFilteredNoiseAtPeakLevel() const;
    // The gain the tool gives it, nothing for none: the level, at an RMS level raised by
    // the waveform's peak over its RMS; for noise at an RMS level always given, so that a
    // measured correction has its place.
    std::optional<double> gainDb() const;
    bool isMp3() const { return isMp3File(outputPath); }
    bool isFlac() const { return isFlacFile(outputPath); }
    // The highest of its pitches.
    double highestPitch() const;
    // The lowest pitch drawn for the file: its own, a sweep's end or a later tone's.
    double lowestPitch() const;
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
    // Its binaural condition: none but for a tone in noise.
    ToneOptions::Binaural binaural() const {
        return isInNoise() ? options.binaural : ToneOptions::Binaural::none;
    }
    // Whether its sines come from a recipe (a sine's complex or modulation), not one waveform.
    bool hasSineRecipe() const;
    // The recipe of a tone of the file from `frequency` to `endFrequency`.
    SineRecipe sineRecipe(double frequency, double endFrequency) const;
    // The sines of its first tone.
    QList<Partial> sines() const;
    // Whether its first tone would be made of more sines than the tool takes (mostPartials).
    bool hasTooManySines() const;
    // The lagging ear's wait, in sixteenths of a sample (itdStepsPerSample): whole samples
    // unless the options ask for fine ones.
    qint64 itdSteps() const;
    // The whole samples the lagging ear's end lies after the leading ear's, at its rate.
    int itdSamples() const;
    // Its peak above its RMS, for its level (peakOverRmsDb() for a plain waveform).
    double peakOverRmsDb() const;
};

// The tone's pitches as its shape asks, once `frequency` holds its drawn pitch: a steady tone
// keeps it; a sweep goes from bound to bound, or between it and a second pitch that
// `drawAgain` draws, upward or downward. Noise keeps its one pitch, burst after burst. The later
// tones of a file are each the interval from the one before, downward for an `intervalSign` of -1,
// or drawn. Throws Failure with this for a sweep in a file of several tones.
inline const QString sweepInSequenceText =
    QStringLiteral("A sweep is made alone in its file: one tone per file.");
void shapePitches(Tone& tone, double bound, double otherBound,
                  const std::function<double()>& drawAgain, int intervalSign = 1);
