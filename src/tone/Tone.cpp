// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/Tone.h"

#include "runner/Failure.h"
#include "tone/NumberText.h"

#include <algorithm>
#include <cmath>

QString Tone::waveformWord() const {
    return waveform ? ::waveformWord(waveformRowText(*waveform)) : QString();
}

bool Tone::isNoise() const {
    return isNoiseWord(waveformWord());
}

double Tone::heldPitch() const {
    // The filter's edges must lie below half the rate, as a pitch must.
    const double filterTop = std::max(band ? band->high : 0, notch ? notch->high : 0);
    if (isFiltered() && isNoise())
        return filterTop;
    // A file's later tones climb from its first by the interval: upward, or either way when
    // the set is balanced.
    const int rise =
        options.balanced ? std::abs(options.intervalCents) : std::max(0, options.intervalCents);
    double reach = setHighestPitch * std::pow(2.0, (options.tonesPerFile - 1) * rise / 1200.0);
    // Its sines at the set's highest modulation rates.
    if (hasSineRecipe() && reach > 0) {
        Tone highest = *this;
        highest.amRate.reset();
        highest.fmRate.reset();
        reach = std::max(reach, recipeHighestFrequency(highest.sineRecipe(reach, reach)));
    }
    // The noise under the tone, filtered.
    return std::max({highestPitch(), reach, filterTop});
}

int Tone::sampleRate() const {
    const bool mp3 = isMp3();
    if (isFiltered())
        return sampleRateFor(QString(), heldPitch(), options.sampleRate, mp3);
    // An MP3 set's drawn pitches above what its encoder keeps are refused one by one.
    const double setPitch =
        mp3 ? std::min(heldPitch(),
                       std::max(highestPitch(), mp3HighestPitch(offeredSampleRates.last()) - 1))
            : heldPitch();
    return sampleRateFor(waveformWord(), setPitch, options.sampleRate, mp3);
}

std::optional<double> Tone::expectedPeakDb() const {
    // A noise under the tone lifts the mix's peak by what it happens to add.
    if (isNoiseAtRmsLevel() || isInNoise())
        return std::nullopt;
    return options.levelDb +
           (options.levelReference == ToneOptions::LevelReference::rms ? peakOverRmsDb() : 0);
}

QString NoiseBand::text() const {
    return decimalText(low) + QLatin1Char('-') + decimalText(high);
}

double Tone::highestPitch() const {
    double highest = std::max(frequency, endFrequency.value_or(0));
    for (const double later : laterFrequencies)
        highest = std::max(highest, later);
    // A complex or a modulated tone reaches above its pitch: its highest sine.
    if (hasSineRecipe())
        highest = std::max(highest, recipeHighestFrequency(sineRecipe(highest, highest)));
    return highest;
}

double Tone::lowestPitch() const {
    double lowest = std::min(frequency, endFrequency.value_or(frequency));
    for (const double later : laterFrequencies)
        lowest = std::min(lowest, later);
    return lowest;
}

double Tone::fileSeconds(double toneSeconds) const {
    const int tones = std::max(1, options.tonesPerFile);
    // Each tone's lagging ear ends that much later.
    const double lagSeconds = double(itdSamples()) / sampleRate();
    return tones * (toneSeconds + lagSeconds) + (tones - 1) * options.gapMs / 1000.0;
}

qint64 Tone::itdSteps() const {
    if (options.channel != ToneOptions::Channel::bothEars || options.itdUs == 0)
        return 0;
    const double samples = std::abs(options.itdUs) * sampleRate() / 1e6;
    return options.fineItd ? std::llround(samples * itdStepsPerSample)
                           : std::llround(samples) * itdStepsPerSample;
}

int Tone::itdSamples() const {
    return int((itdSteps() + itdStepsPerSample - 1) / itdStepsPerSample);
}

bool Tone::isMadeOfSines() const {
    return !isNoise() && (!options.harmonics.isEmpty() || !options.am.isEmpty() ||
                          !options.fm.isEmpty() || isInNoise());
}

bool Tone::isInNoise() const {
    return options.masker != ToneOptions::Masker::none;
}

bool Tone::hasSineRecipe() const {
    return isMadeOfSines() && waveform == Waveform::sine;
}

bool Tone::hasTooManySines() const {
    if (!hasSineRecipe())
        return false;
    const SineRecipe recipe = sineRecipe(frequency, endFrequency.value_or(frequency));
    return isRecipeTooLarge(recipe) || recipePartials(recipe).size() > mostPartials;
}

QList<Partial> Tone::sines() const {
    return recipePartials(sineRecipe(frequency, endFrequency.value_or(frequency)));
}

SineRecipe Tone::sineRecipe(double start, double end) const {
    SineRecipe recipe;
    recipe.frequency = start;
    recipe.endFrequency = end;
    if (!options.harmonics.isEmpty())
        recipe.harmonics = harmonicNumbers(options.harmonics).value_or(QList<int>{1});
    recipe.slopeDbPerOctave = options.harmonicSlopeDb;
    for (qsizetype at = 0; at < recipe.harmonics.size(); ++at)
        recipe.phases.append(harmonicPhaseOf(options.harmonicPhase, recipe.harmonics[at],
                                             recipe.harmonics.size(), harmonicPhases.value(at)));
    if (const std::optional<Modulation> am = amOf(options.am)) {
        recipe.amRate = amRate.value_or(am->highestRate());
        recipe.amDepth = am->amount;
    }
    if (const std::optional<Modulation> fm = fmOf(options.fm)) {
        recipe.fmRate = fmRate.value_or(fm->highestRate());
        recipe.fmDeviation = fm->amount;
    }
    return recipe;
}

double Tone::peakOverRmsDb() const {
    if (hasSineRecipe())
        return partialsPeakOverRmsDb(sines());
    return ::peakOverRmsDb(waveformWord());
}

void shapePitches(Tone& tone, double bound, double otherBound,
                  const std::function<double()>& drawAgain, int intervalSign) {
    // Noise files of several bursts: the gaps between them, each burst with its own ramps.
    if (tone.isNoise()) {
        tone.laterFrequencies = QList<double>(tone.options.tonesPerFile - 1, tone.frequency);
        return;
    }
    if (tone.options.tonesPerFile > 1 && tone.options.shape != ToneOptions::Shape::steady)
        throw Failure(sweepInSequenceText);
    const double step = std::pow(2.0, intervalSign * tone.options.intervalCents / 1200.0);
    for (int later = 1; later < tone.options.tonesPerFile; ++later)
        tone.laterFrequencies.append(
            tone.options.intervalCents != 0
                ? (later == 1 ? tone.frequency : tone.laterFrequencies.last()) * step
                : drawAgain());
    if (tone.options.shape == ToneOptions::Shape::steady)
        return;
    double start = bound;
    double end = otherBound;
    if (tone.options.sweepEnds == ToneOptions::SweepEnds::drawn) {
        start = tone.frequency;
        end = drawAgain();
    }
    if ((start > end) == (tone.options.shape == ToneOptions::Shape::sweepUp))
        std::swap(start, end);
    tone.frequency = start;
    tone.endFrequency = end;
}

NoiseBand bandBetween(double bound, double otherBound) {
    if (bound == otherBound)
        throw Failure(QStringLiteral("A noise band needs two different bounds."));
    return {std::min(bound, otherBound), std::max(bound, otherBound)};
}

std::optional<NoiseBand> noiseBandOf(const QString& text) {
    const QStringList ends = text.split(QLatin1Char('-'));
    NoiseBand band;
    if (ends.size() != 2 || !parseNumberText(ends[0], band.low) ||
        !parseNumberText(ends[1], band.high) || !std::isfinite(band.high) || band.low < 0 ||
        band.low >= band.high)
        return std::nullopt;
    return band;
}

bool Tone::isNoiseAtRmsLevel() const {
    return isNoise() && options.levelReference == ToneOptions::LevelReference::rms;
}

bool Tone::isFilteredNoiseAtPeakLevel() const {
    return isFiltered() && isNoise() && !isNoiseAtRmsLevel();
}

std::optional<double> Tone::gainDb() const {
    // Filtered noise gets back the headroom its filter was given.
    if (isNoiseAtRmsLevel())
        return options.levelDb + rmsCorrectionDb + (isFiltered() ? 20 * std::log10(4.0) : 0);
    const double gain = options.levelReference == ToneOptions::LevelReference::rms
                            ? options.levelDb + peakOverRmsDb()
                            : options.levelDb;
    return gain != 0 ? std::optional(gain) : std::nullopt;
}

int Tone::channels() const {
    return options.channel == ToneOptions::Channel::mono ? 1 : 2;
}
