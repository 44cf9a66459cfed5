// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneLimits.h"

#include "runner/Failure.h"
#include "tone/NumberText.h"
#include "tone/ToneCommand.h"

#include <algorithm>
#include <cmath>

QString toneRefusal(const QString& waveformWord, double frequency, int lowestRate, bool mp3) {
    if (isNoiseWord(waveformWord))
        return {};
    if (frequency == 0)
        return QStringLiteral("A tone of 0 Hz is silence, so it is not made.");
    const int rate = sampleRateFor(waveformWord, frequency, lowestRate, mp3);
    if (mp3 && !pitchHeld(rate, frequency, mp3))
        return QStringLiteral("An MP3 file cannot hold a tone above %1 Hz: its encoder removes "
                              "it.")
            .arg(mp3HighestPitch(rate));
    return {};
}

namespace {

// Why a tone of that length must not be made, or empty text: longer than a day, or its WAV
// file would pass the 4 GiB that the format can hold (sampleBits 0: the tool's 32 bits).
QString toneLengthRefusal(double seconds, int sampleRate, int sampleBits, int channels, bool wav) {
    constexpr double longestSeconds = 24 * 60 * 60;
    if (!(seconds <= longestSeconds))
        return QStringLiteral("Tone length must be at most 24 hours (%1 seconds).")
            .arg(longestSeconds);
    // The sizes in a WAV header are 32-bit; SoX writes 32 bits a sample unless asked otherwise.
    constexpr double largestWav = 4294967295.0 - 1024;
    const double bytesPerSecond =
        double(sampleRate) * channels * (sampleBits > 0 ? sampleBits : 32) / 8;
    if (wav && seconds * bytesPerSecond > largestWav)
        return QStringLiteral("A WAV file holds at most 4 GiB: at %1 Hz a file may last at most "
                              "%2 seconds.")
            .arg(sampleRate)
            .arg(std::floor(largestWav / bytesPerSecond));
    return {};
}

} // namespace

namespace {

// Why the tone's file must not last fileSeconds, or empty text.
QString fileLengthRefusal(const Tone& tone, double fileSeconds) {
    return toneLengthRefusal(fileSeconds, tone.sampleRate(), tone.options.sampleBits,
                             tone.channels(), !tone.isMp3() && !tone.isFlac());
}

} // namespace

double checkedSeconds(const Tone& tone) {
    const std::optional<double> seconds = toneSecondsOf(tone.lengthText);
    if (!seconds)
        throw Failure(FailureText::noLength);
    // A file of several tones is as long as they are with their gaps.
    const double fileSeconds = tone.fileSeconds(*seconds);
    if (const QString refusal = fileLengthRefusal(tone, fileSeconds); !refusal.isEmpty())
        throw Failure(refusal);
    return fileSeconds;
}

namespace {

QString tooManySinesText() {
    return QStringLiteral("This tone would be made of more than %1 sines: choose fewer "
                          "harmonics or a smaller modulation index.")
        .arg(mostPartials);
}

} // namespace

std::optional<SetRefusal> setRefusal(const Tone& highest) {
    const ToneOptions& options = highest.options;
    // The slowest frequency modulation has the most side bands.
    if (const std::optional<Modulation> fm = fmOf(options.fm); fm && highest.hasSineRecipe()) {
        Tone slowest = highest;
        slowest.fmRate = *std::min_element(fm->rates.begin(), fm->rates.end());
        if (slowest.hasTooManySines())
            return SetRefusal{QStringLiteral("fm"), tooManySinesText()};
    }
    double seconds = 0;
    if (options.fadeMs > 0 && parseNumberText(highest.lengthText, seconds) &&
        options.fadeMs / 1000.0 > seconds / 2)
        return SetRefusal{QStringLiteral("fade"),
                          QStringLiteral("A fade of %1 ms is longer than half the tone (%2 s): "
                                         "the tone would never reach its level.")
                              .arg(options.fadeMs)
                              .arg(decimalText(seconds))};
    const bool mp3 = highest.isMp3();
    constexpr int mp3HighestRate = 48000;
    if (mp3 && options.sampleRate > mp3HighestRate)
        return SetRefusal{
            QStringLiteral("rate"),
            QStringLiteral("An MP3 file holds at most %1 samples a second.").arg(mp3HighestRate)};
    if (mp3 && highest.band && highest.band->high >= mp3HighestPitch(mp3HighestRate))
        return SetRefusal{QStringLiteral("band"),
                          QStringLiteral("An MP3 file cannot hold noise above %1 Hz: its encoder "
                                         "removes it.")
                              .arg(mp3HighestPitch(mp3HighestRate))};
    const int highestRate = offeredSampleRates.last();
    const bool noiseUnbanded = highest.isNoise() && !highest.band;
    if (!mp3 && !noiseUnbanded && !pitchHeld(highestRate, highest.heldPitch(), false))
        return SetRefusal{highest.band ? QStringLiteral("band") : QStringLiteral("pitch"),
                          QStringLiteral("No sample rate holds a pitch of %1 Hz: the highest, %2 "
                                         "Hz, holds pitches below %3 Hz.")
                              .arg(decimalText(highest.heldPitch()))
                              .arg(highestRate)
                              .arg(highestRate / 2)};
    return std::nullopt;
}

QString toneRefusal(const Tone& tone) {
    // The tool would be given an empty type, and refuse it in words of its own.
    if (!tone.waveform)
        return QStringLiteral("No waveform type is chosen: choose one in the Type list.");
    // A length past the program's limits is the user's to change, not a failure to report.
    if (const std::optional<double> seconds = toneSecondsOf(tone.lengthText))
        if (const QString refusal = fileLengthRefusal(tone, tone.fileSeconds(*seconds));
            !refusal.isEmpty())
            return refusal;
    // Bounds below 0 Hz draw pitches below it, which no waveform has; said as drawn, not as
    // the 0 Hz that is the highest pitch of such a tone.
    if (const double lowest = tone.lowestPitch(); !isNoiseWord(tone.waveformWord()) && lowest < 0)
        return QStringLiteral("A tone of %1 Hz was drawn: a frequency below 0 Hz cannot be made. "
                              "Set From to 0 or more.")
            .arg(decimalText(lowest));
    if (tone.endFrequency && tone.options.sweep == ToneOptions::Sweep::log &&
        tone.frequency * *tone.endFrequency == 0)
        return QStringLiteral("A logarithmic sweep cannot start or end at 0 Hz.");
    if (tone.hasTooManySines())
        return tooManySinesText();
    if (const QString refusal = toneRefusal(tone.waveformWord(), tone.highestPitch(),
                                            tone.options.sampleRate, tone.isMp3());
        !refusal.isEmpty())
        return refusal;
    const std::optional<SetRefusal> refusal = setRefusal(tone);
    return refusal ? refusal->reason : QString();
}

QString levelCaution(double levelDb, const ToneOptions& options, bool mp3) {
    // Triangular dither triples the power of the rounding's noise: 2^-15 / sqrt(12), thrice.
    const double noiseFloorDb =
        20 * std::log10(std::sqrt(3.0) * std::pow(2.0, -15) / std::sqrt(12.0));
    if (mp3 || options.floatSamples || options.sampleBits != 16 || levelDb >= noiseFloorDb + 6)
        return {};
    return QStringLiteral("At %1 dBFS the tone's peak lies less than 6 dB above the noise of "
                          "16-bit samples (%2 dBFS RMS, dithered): choose 24 bits as the sample "
                          "size.")
        .arg(decimalText(levelDb), decimalText(std::round(noiseFloorDb * 10) / 10));
}

double highestLevelInNoise(const Tone& tone, double snrDb) {
    // Uniform white noise peaks at most sqrt(3) times its RMS; filtered, or pink or brown, a
    // noise is near Gaussian, whose loudest of N samples lies near sqrt(2 ln N) times its RMS
    // (SoX's noises, measured from half a second to 1000 s: at most 0.1 above it).
    const double samples =
        std::max(2.0, toneSecondsOf(tone.lengthText).value_or(1) * tone.sampleRate());
    const double noiseCrest =
        tone.options.masker == ToneOptions::Masker::whiteNoise && !tone.isFiltered()
            ? std::sqrt(3.0) * 1.01
            : std::sqrt(2 * std::log(samples)) + 0.5;
    const bool randomPhases =
        tone.hasSineRecipe() && tone.options.harmonicPhase == ToneOptions::HarmonicPhase::random;
    const double toneCrest = std::pow(10.0, (randomPhases ? 0 : tone.peakOverRmsDb()) / 20);
    // rms (toneCrest + noiseCrest 10^(-snr/20)) = 1 at the highest level.
    const double rms = 1 / (toneCrest + noiseCrest * std::pow(10.0, -snrDb / 20));
    const double level =
        20 * std::log10(tone.options.levelReference == ToneOptions::LevelReference::rms
                            ? rms
                            : rms * toneCrest);
    return std::floor(level * 10) / 10;
}
