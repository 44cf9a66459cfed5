// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/ToneCommand.h"

#include "runner/Failure.h"
#include "runner/ShellWait.h"
#include "synth/NumberText.h"
#include "synth/OptionTable.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <random>

QString waveformWord(const QString& shownText) {
    QString word = shownText.toLower();
    word.remove(QStringLiteral("(default)"));
    word = word.trimmed();
    if (word.endsWith(QStringLiteral(" noise")))
        word.remove(QLatin1Char(' '));
    return word;
}

quint64 toneSeed(quint64 setSeed, qint64 toneNumber) {
    // splitmix64's finaliser over the pair: every bit of both reaches every bit of the seed.
    quint64 mixed = setSeed ^ (quint64(toneNumber) * 0x9E3779B97F4A7C15ULL);
    for (int round = 0; round < 2; ++round) {
        mixed = (mixed ^ (mixed >> 30)) * 0xBF58476D1CE4E5B9ULL;
        mixed = (mixed ^ (mixed >> 27)) * 0x94D049BB133111EBULL;
        mixed ^= mixed >> 31;
    }
    return mixed;
}

qint16 randomBetween(qint16 lower, qint16 upper, std::mt19937_64& generator) {
    const int difference = int(upper) - int(lower);
    if (difference < -32768 || difference >= 32767)
        throw Failure(FailureText::overflow);
    const double r = unitDraw(generator);
    const int span = difference + 1;
    return static_cast<qint16>(std::floor(span * r + lower));
}

double drawPitch(qint16 lower, qint16 upper, ToneOptions::PitchDraw draw,
                 std::mt19937_64& generator) {
    const double low = std::min(lower, upper);
    const double high = std::max(lower, upper);
    switch (draw) {
    case ToneOptions::PitchDraw::evenHz:
        return randomBetween(lower, upper, generator);
    case ToneOptions::PitchDraw::evenPerOctave: {
        if (low <= 0)
            throw Failure(QStringLiteral("Drawing evenly per octave needs bounds above 0 Hz."));
        const double r = unitDraw(generator);
        // Whole hertz, each as likely as the part of an octave it stands for.
        return std::clamp(std::round(low * std::pow(high / low, r)), low, high);
    }
    case ToneOptions::PitchDraw::notes: {
        const auto first = low > 0 ? int(std::ceil(12 * std::log2(low / 440.0) - 1e-9)) : 0;
        const auto last = high > 0 ? int(std::floor(12 * std::log2(high / 440.0) + 1e-9)) : -1;
        if (low <= 0 || first > last)
            throw Failure(QStringLiteral("No note lies between the bounds."));
        const int note =
            first + std::min(last - first, int(unitDraw(generator) * (last - first + 1)));
        return 440.0 * std::pow(2.0, note / 12.0);
    }
    case ToneOptions::PitchDraw::list:
        // The list's pitches are drawn by listPitch(), which knows the list.
        break;
    }
    return low;
}

namespace {

// The length as SoX reads it: the number the field holds, as a plain decimal with a point.
// A text that is no number stays one argument, which the run refuses.
QString lengthArgument(const QString& lengthText) {
    double seconds = 0;
    if (parseNumberText(lengthText, seconds) && std::isfinite(seconds))
        return decimalText(seconds);
    QString length = lengthText;
    return length.replace(QLatin1Char(','), QLatin1Char('.'));
}

// SoX would take a path that begins with "-" for an option.
QString outputArgument(const QString& outputPath) {
    if (outputPath.startsWith(QLatin1Char('-')))
        return QLatin1Char('.') + QDir::separator() + outputPath;
    return outputPath;
}

} // namespace

bool isMp3File(const QString& path) {
    return path.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive);
}

bool isFlacFile(const QString& path) {
    return path.endsWith(QStringLiteral(".flac"), Qt::CaseInsensitive);
}

namespace {

// The highest pitch an MP3 file keeps whole at each rate: the encoder's low-pass removes
// what lies above, and a tone there comes out silent. Measured with the tool's encoder, a
// sine of one channel (two keep more), less a margin of about 1 %. The tool writes an MP3
// file asked for more than 48000 Hz at 48000 Hz.
double mp3HighestPitch(int rate) {
    if (rate >= 44100)
        return 16300;
    if (rate >= 22050)
        return 8150;
    if (rate >= 16000)
        return 5650;
    return 2950;
}

bool pitchHeld(int rate, double frequency, bool mp3) {
    return mp3 ? std::abs(frequency) < mp3HighestPitch(rate) : 2 * std::abs(frequency) < rate;
}

} // namespace

int sampleRateFor(const QString& waveformWord, double frequency, int lowestRate, bool mp3) {
    if (isNoiseWord(waveformWord) || pitchHeld(lowestRate, frequency, mp3))
        return lowestRate;
    for (const int rate : offeredSampleRates)
        if (rate >= lowestRate && pitchHeld(rate, frequency, mp3))
            return rate;
    return offeredSampleRates.last();
}

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

std::optional<Waveform> waveformOfRow(const QString& shownText) {
    const QString word = waveformWord(shownText);
    for (qsizetype row = 0; row < waveformRows.size(); ++row)
        if (!word.isEmpty() && waveformWord(waveformRows[row]) == word)
            return static_cast<Waveform>(row);
    return std::nullopt;
}

bool isNoiseWord(const QString& waveformWord) {
    return waveformWord.endsWith(QLatin1String("noise"));
}

QString waveformRowText(Waveform waveform) {
    return waveformRows[int(waveform)];
}

QString Tone::waveformWord() const {
    return waveform ? ::waveformWord(waveformRowText(*waveform)) : QString();
}

bool Tone::isNoise() const {
    return isNoiseWord(waveformWord());
}

double Tone::heldPitch() const {
    // The band's top must lie below half the rate, as a pitch's must.
    if (band && isNoise())
        return band->high;
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
    // The noise under the tone, in its band.
    return std::max({highestPitch(), reach, band ? band->high : 0});
}

int Tone::sampleRate() const {
    const bool mp3 = isMp3();
    if (band)
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

double Tone::fileSeconds(double toneSeconds) const {
    const int tones = std::max(1, options.tonesPerFile);
    // Each tone's lagging ear ends that much later.
    const double lagSeconds = double(itdSamples()) / sampleRate();
    return tones * (toneSeconds + lagSeconds) + (tones - 1) * options.gapMs / 1000.0;
}

int Tone::itdSamples() const {
    if (options.channel != ToneOptions::Channel::bothEars || options.itdUs == 0)
        return 0;
    return int(std::lround(std::abs(options.itdUs) * sampleRate() / 1e6));
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
        recipe.phases.append(options.harmonicPhase == ToneOptions::HarmonicPhase::random
                                 ? harmonicPhases.value(at)
                             : options.harmonicPhase == ToneOptions::HarmonicPhase::cosine ? 0.25
                                                                                           : 0);
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
    if (tone.isNoise())
        return;
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

bool Tone::isBandNoiseAtPeakLevel() const {
    return band && isNoise() && !isNoiseAtRmsLevel();
}

std::optional<double> Tone::gainDb() const {
    // Band noise gets back the headroom its filter was given.
    if (isNoiseAtRmsLevel())
        return options.levelDb + rmsCorrectionDb + (band ? 20 * std::log10(4.0) : 0);
    const double gain = options.levelReference == ToneOptions::LevelReference::rms
                            ? options.levelDb + peakOverRmsDb()
                            : options.levelDb;
    return gain != 0 ? std::optional(gain) : std::nullopt;
}

double highestLevelInNoise(const Tone& tone, double snrDb) {
    // Uniform white noise peaks at most sqrt(3) times its RMS; filtered, or pink or brown, a
    // noise is near Gaussian, whose loudest of N samples lies near sqrt(2 ln N) times its RMS
    // (SoX's noises, measured from half a second to 1000 s: at most 0.1 above it).
    const double samples =
        std::max(2.0, toneSecondsOf(tone.lengthText).value_or(1) * tone.sampleRate());
    const double noiseCrest = tone.options.masker == ToneOptions::Masker::whiteNoise && !tone.band
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

double peakOverRmsDb(const QString& waveformWord) {
    // The mean square of one period of each shape, whose peak is 1: the trapezium rises over
    // 0.1 of it, stays high to 0.5, falls to 0.6 and stays low; the exp shape climbs from
    // -100 dB to its peak and back, each half exponential in the period.
    const double expFloor = 1e-5;
    const double expMean = (1 - expFloor) / std::log(1 / expFloor);
    const double expMeanSquare = (1 - expFloor * expFloor) / (2 * std::log(1 / expFloor));
    const QMap<QString, double> meanSquares{
        {QStringLiteral("sine"), 0.5},
        {QStringLiteral("square"), 1.0},
        {QStringLiteral("triangle"), 1.0 / 3},
        {QStringLiteral("sawtooth"), 1.0 / 3},
        {QStringLiteral("trapezium"), 0.8 + 0.2 / 3},
        {QStringLiteral("exp"), 4 * expMeanSquare - 4 * expMean + 1},
    };
    return -10 * std::log10(meanSquares.value(waveformWord, 1.0));
}

int Tone::channels() const {
    return options.channel == ToneOptions::Channel::mono ? 1 : 2;
}

namespace {

// What stands before the output path: the rate, the null input and what the options put
// there. SoX reads the output path as a pattern and writes to a file that matches it, which
// may be another of the user's files: a path it would read so is marked as a plain name.
QStringList argumentsBeforeOutput(const Tone& tone, const OptionArguments& optional) {
    QStringList arguments{QStringLiteral("-r"), QString::number(tone.sampleRate()),
                          QStringLiteral("-n")};
    arguments += optional.beforeOutput;
    // Setting a peak reads the whole tone into a file the tool makes, beside the tone's and
    // gone when it ends.
    if (tone.isBandNoiseAtPeakLevel())
        arguments << QStringLiteral("--temp") << QFileInfo(tone.outputPath).path();
    static const QRegularExpression pattern(QStringLiteral("[*?[{~\\\\]"));
    if (tone.outputPath.contains(pattern))
        arguments << QStringLiteral("--no-glob");
    return arguments;
}

// The synth effect's frequency: one pitch, or a sweep's ends joined by the tool's mark for
// its kind (":" linear, "/" exponential).
QString pitchArgument(const Tone& tone, double start, double end) {
    if (!tone.endFrequency)
        return decimalText(start);
    const QChar mark =
        tone.options.sweep == ToneOptions::Sweep::log ? QLatin1Char('/') : QLatin1Char(':');
    return decimalText(start) + mark + decimalText(end);
}

// What makes one tone from nothing: the synth effect, and the band noise is filtered to. A tone
// made of sines has each sine in a channel of its own, mixed into one by remix with the sines'
// amplitudes; a masking noise comes first, filtered to its band alone, in the first channel, and
// the sines join it through synth's "mix", which halves both. Remix then gives the sines their
// level, doubled back, and the noise the weight the library engine measures for the SNR (1 until
// then).
// The band's filter, given its headroom: noise at full scale filtered to a band peaks well above
// full scale, which the filter would clip.
QStringList bandEffects(const NoiseBand& band) {
    return {QStringLiteral("vol"), QStringLiteral("0.25"), QStringLiteral("sinc"), band.text()};
}

QStringList sourceEffects(const Tone& tone, const QString& length, double start, double end) {
    if (!tone.isMadeOfSines()) {
        QStringList effects{QStringLiteral("synth"), length, tone.waveformWord(),
                            pitchArgument(tone, start, end)};
        if (tone.band)
            effects << bandEffects(*tone.band);
        // Its level is set once filtered: the peak is known only then.
        if (tone.isBandNoiseAtPeakLevel())
            effects << QStringLiteral("gain") << QStringLiteral("-n")
                    << QString::number(tone.options.levelDb);
        return effects;
    }
    QList<Partial> sines{{start, end, 1, 0}};
    QString word = tone.waveformWord();
    if (tone.hasSineRecipe())
        sines = recipePartials(tone.sineRecipe(start, end));
    const bool masked = tone.isInNoise();
    QStringList effects;
    QStringList weights;
    if (masked) {
        effects << QStringLiteral("synth") << length << optionWord(Option::masker, tone.options);
        if (tone.band)
            effects << bandEffects(*tone.band);
        effects << QStringLiteral("remix") << QStringLiteral("1");
        weights << QStringLiteral("1v1");
    } else {
        effects << QStringLiteral("remix");
    }
    for (qsizetype at = 0; at < sines.size(); ++at)
        effects << QStringLiteral("0");
    // "-n": no headroom, which remix would take from the sines for the sum of its weights.
    effects << QStringLiteral("synth") << QStringLiteral("-n") << length;
    if (masked)
        effects << QStringLiteral("sine") << QStringLiteral("mix") << QStringLiteral("0");
    const double scale = masked ? 2 * std::pow(10.0, tone.gainDb().value_or(0) / 20) : 1;
    for (const Partial& sine : sines) {
        effects << word;
        if (masked)
            effects << QStringLiteral("mix");
        effects << pitchArgument(tone, sine.frequency, sine.endFrequency);
        if (sine.phase != 0)
            effects << QStringLiteral("0") << decimalText(sine.phase * 100);
        weights << QString::number(weights.size() + 1) + QLatin1Char('v') +
                       decimalText(scale * sine.amplitude);
    }
    effects << QStringLiteral("remix") << weights.join(QLatin1Char(','));
    return effects;
}

} // namespace

QStringList toolArguments(const Tone& tone) {
    double seconds = 0;
    parseNumberText(tone.lengthText, seconds);
    // A tone in noise has its level in its mix's weights, band noise at a peak level in its
    // source's.
    const OptionArguments optional = optionArguments(
        tone.options, seconds,
        tone.isInNoise() || tone.isBandNoiseAtPeakLevel() ? std::nullopt : tone.gainDb());
    const QString length = lengthArgument(tone.lengthText);
    // Each tone of the file is a chain of its own, the chains parted by ":", each but the last
    // followed by the gap.
    const auto chain = [&](double start, double end, bool last) {
        QStringList effects = sourceEffects(tone, length, start, end);
        effects += optional.effects;
        // The leading ear's tone, faded, waits in the other: "delay" pads the lagging ear's
        // start and the leading ear's end.
        if (const int lag = tone.itdSamples(); lag > 0) {
            const QString wait = QString::number(lag) + QLatin1Char('s');
            effects << QStringLiteral("delay")
                    << (tone.options.itdUs > 0 ? wait : QStringLiteral("0"))
                    << (tone.options.itdUs > 0 ? QStringLiteral("0") : wait);
        }
        if (!last && tone.options.gapMs > 0)
            effects << QStringLiteral("pad") << QStringLiteral("0")
                    << decimalText(tone.options.gapMs / 1000.0);
        return effects;
    };
    QStringList arguments = argumentsBeforeOutput(tone, optional);
    arguments << outputArgument(tone.outputPath);
    arguments += chain(tone.frequency, tone.endFrequency.value_or(tone.frequency),
                       tone.laterFrequencies.isEmpty());
    for (qsizetype later = 0; later < tone.laterFrequencies.size(); ++later)
        arguments += QStringList{QStringLiteral(":")} +
                     chain(tone.laterFrequencies[later], tone.laterFrequencies[later],
                           later + 1 == tone.laterFrequencies.size());
    return arguments;
}

CommandLine toneCommand(const QString& toolPath, const Tone& tone) {
    return {toolPath, toolArguments(tone)};
}

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

PeakRule peakRule(const Tone& tone) {
    // Measured over every waveform, pitch range, length and level the options allow: an MP3
    // encoder's ringing lifts a square's or a noise's peak by up to 8 dB, and its low-pass takes
    // a sawtooth's harmonics (4 dB); a noise of a few milliseconds may stay 30 dB below.
    const double aboveDb = tone.isMp3() ? 10 : 0.5;
    if (tone.isNoise())
        return {tone.expectedPeakDb(), 40, aboveDb};
    return {tone.expectedPeakDb(), tone.isMp3() ? 6.0 : 3.0, aboveDb};
}

QString peakRefusal(const QString& path, const PeakRule& rule, double peakDb) {
    if (!std::isfinite(peakDb))
        return QStringLiteral("%1 is silent.").arg(QDir::toNativeSeparators(path));
    if (!rule.expectedDb ||
        (peakDb >= *rule.expectedDb - rule.belowDb && peakDb <= *rule.expectedDb + rule.aboveDb))
        return {};
    return QStringLiteral("%1 peaks at %2 dBFS where its level asks for %3 dBFS.")
        .arg(QDir::toNativeSeparators(path))
        .arg(decimalText(std::round(peakDb * 10) / 10))
        .arg(decimalText(*rule.expectedDb));
}
namespace {

// Digits with at most one point among them, and at least one digit.
bool isPlainDecimal(const QString& text) {
    bool point = false;
    bool digit = false;
    for (const QChar c : text) {
        if (c == QLatin1Char('.') && !point)
            point = true;
        else if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
            digit = true;
        else
            return false;
    }
    return digit;
}

} // namespace

std::optional<double> toneSeconds(const QStringList& arguments) {
    qsizetype synth = arguments.indexOf(QStringLiteral("synth"));
    // Its "-n" (no headroom) stands before the length.
    if (synth >= 0 && arguments.value(synth + 1) == QLatin1String("-n"))
        ++synth;
    const QString length = synth >= 0 ? arguments.value(synth + 1) : QString();
    double seconds = 0;
    if (!isPlainDecimal(length) || !parseNumberText(length, seconds) ||
        seconds * toneSampleRate < 1)
        return std::nullopt;
    return seconds;
}

std::optional<double> toneSecondsOf(const QString& lengthText) {
    return toneSeconds({QStringLiteral("synth"), lengthArgument(lengthText)});
}
