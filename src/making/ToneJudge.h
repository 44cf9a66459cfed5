// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/ChildRun.h"
#include "tone/Tone.h"

#include <QString>
#include <functional>
#include <optional>

// What a made file's peak must be to be the tone asked for: within the tolerance of the peak its
// level asks for (nothing: noise set by its RMS, which is measured instead), and never silent.
// The samples of a pitched tone reach its level (a pitch close to half the rate in a short tone
// may fall short of it), an MP3 encoder's ringing overshoots it, and a short noise may stay well
// below.
struct PeakRule {
    std::optional<double> expectedDb;
    double belowDb = 0;
    double aboveDb = 0;
    // What the samples' rounding and dither may add to a peak or take from it, as a share of
    // full scale: a quiet tone's peak is mostly theirs.
    double roundingPeak = 0;
};
PeakRule peakRule(const Tone& tone);

// Why a file whose samples peak at `peakDb` dBFS (-inf: silence) is not the tone asked for, or
// empty text when it is.
QString peakRefusal(const QString& path, const PeakRule& rule, double peakDb);

// A synth run: how the tool ended, which tool it was, and the length and sample rate of
// the tone it was asked for.
struct SynthRun {
    ChildResult child;
    QString program;
    double seconds = 0;
    int sampleRate = toneSampleRate;
    PeakRule peak;
};

// What became of one tone: made, or the reason why not.
struct ToneOutcome {
    bool made = false;
    QString reason;
};

// The peak in dBFS (-inf: silence) of a made file other than WAV, whose peak is read with its
// length; nothing when it cannot be read here.
using PeakReader = std::function<std::optional<double>(const QString& path)>;

// Judges a finished run: made when the tool ended well, the file holds the whole tone and it
// sounds, its peak where the run's rule asks (a WAV file always, another when `peakOf` reads
// it); otherwise the reason, from the tool's own words where it gave any.
ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath,
                       const PeakReader& peakOf = {});
