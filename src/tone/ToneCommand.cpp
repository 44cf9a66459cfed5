// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneCommand.h"

#include "tone/NumberText.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <cmath>

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

namespace {

// What stands before the output path: the rate, the null input and what the options put
// there. SoX reads the output path as a pattern and writes to a file that matches it, which
// may be another of the user's files: a path it would read so is marked as a plain name.
QStringList argumentsBeforeOutput(const Tone& tone, const OptionArguments& optional) {
    QStringList arguments{QStringLiteral("-r"), QString::number(tone.sampleRate())};
    // Noise of its own in each ear is drawn in two channels from the start.
    if (hasOwnNoisePerEar(tone.binaural()))
        arguments << QStringLiteral("-c") << QStringLiteral("2");
    arguments << QStringLiteral("-n");
    if (tone.repeatableNoiseFrom)
        arguments.prepend(QStringLiteral("-R"));
    arguments += optional.beforeOutput;
    // Setting a peak reads the whole tone into a file the tool makes, beside the tone's and
    // gone when it ends.
    if (tone.isFilteredNoiseAtPeakLevel())
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

// A band's edges are where its filter passes half the amplitude (-6 dB), at every rate alike:
// the filter's own default would widen its slopes with the rate (5% of half the rate each).
// Each slope takes this many hertz from the pass band to 120 dB down, centred on its edge.
constexpr double bandSlopeHz = 50;
// How far either side of a sample such a filter reaches (about 70 ms at any rate): the noise is
// made this much longer at each end and cut back, so that it is in its band from the first
// sample to the last instead of swelling in and out.
constexpr double bandFilterReachSeconds = 0.1;

// Noise of the word's kind through the effects `filter`, made up to its place (the tone's place
// in the tool's repeatable noise, which is the same at every run with -R, and `reach` samples
// before the cut) and past the tone's length, then cut there.
QStringList cutNoise(const Tone& tone, const QString& word, double seconds,
                     const QStringList& filter, qint64 reach) {
    const int rate = tone.sampleRate();
    const qint64 from = tone.repeatableNoiseFrom.value_or(0) + reach;
    const qint64 frames = std::llround(seconds * rate);
    // A sample more than the cut needs, whichever way the tool rounds the seconds.
    const double made = double(from + frames + reach + 1) / rate;
    return QStringList{QStringLiteral("synth"), decimalText(made), word} + filter +
           QStringList{QStringLiteral("trim"), QString::number(from) + QLatin1Char('s'),
                       QString::number(frames) + QLatin1Char('s')};
}

// Noise of the word's kind filtered to the tone's band, its notch taken out, given headroom
// first: noise at full scale filtered to a band peaks well above full scale, which the filter
// would clip.
QStringList filteredNoise(const Tone& tone, const QString& word, const QString& length) {
    QStringList filter{QStringLiteral("vol"), QStringLiteral("0.25")};
    const auto sinc = [&](const QString& edges) {
        filter << QStringLiteral("sinc") << QStringLiteral("-t") << decimalText(bandSlopeHz)
               << edges;
    };
    if (tone.band)
        sinc(tone.band->text());
    // The filter takes out the band between its edges when the higher one comes first.
    if (tone.notch)
        sinc(decimalText(tone.notch->high) + QLatin1Char('-') + decimalText(tone.notch->low));
    const std::optional<double> seconds = toneSecondsOf(tone.lengthText);
    // A length that is none stays as typed, for the run to refuse.
    if (!seconds)
        return QStringList{QStringLiteral("synth"), length, word} + filter;
    return cutNoise(tone, word, *seconds, filter,
                    std::llround(bandFilterReachSeconds * tone.sampleRate()));
}

// What makes one tone from nothing: the synth effect, and the band noise is filtered to. A tone
// made of sines has each sine in a channel of its own, mixed into one by remix with the sines'
// amplitudes; a masking noise comes first, filtered to its band alone, in the first channel, and
// the sines join it through synth's "mix", which halves both. Remix then gives the sines their
// level, doubled back, and the noise the weight the library engine measures for the SNR (1 until
// then).
// `length` is the tone's length as the tool takes it, `seconds` as we read it.
QStringList sourceEffects(const Tone& tone, const QString& length, double seconds, double start,
                          double end) {
    if (tone.repeatableNoiseFrom && tone.isNoise() && !tone.isFiltered())
        return cutNoise(tone, tone.waveformWord(), seconds, {}, 0);
    if (!tone.isMadeOfSines()) {
        QStringList effects =
            tone.isFiltered() ? filteredNoise(tone, tone.waveformWord(), length)
                              : QStringList{QStringLiteral("synth"), length, tone.waveformWord(),
                                            pitchArgument(tone, start, end)};
        // Its level is set once filtered: the peak is known only then.
        if (tone.isFilteredNoiseAtPeakLevel())
            effects << QStringLiteral("gain") << QStringLiteral("-n")
                    << QString::number(tone.options.levelDb);
        return effects;
    }
    QList<Partial> sines{{start, end, 1, 0}};
    QString word = tone.waveformWord();
    if (tone.hasSineRecipe())
        sines = recipePartials(tone.sineRecipe(start, end));
    const bool masked = tone.isInNoise();
    // A binaural condition mixes each ear apart (`right` the right ear's weights): its noise the
    // left's, inverted, or one of its own in the second channel; its sines inverted for Spi.
    const ToneOptions::Binaural binaural = tone.binaural();
    const bool ownNoise = hasOwnNoisePerEar(binaural);
    const int noises = masked ? 1 + int(ownNoise) : 0;
    QStringList effects;
    QStringList weights;
    QStringList right;
    if (masked) {
        const QString& masker = maskerWords[int(tone.options.masker)];
        effects << (tone.isFiltered() ? filteredNoise(tone, masker, length)
                                      : QStringList{QStringLiteral("synth"), length, masker});
        effects << QStringLiteral("remix") << QStringLiteral("1");
        if (ownNoise)
            effects << QStringLiteral("2");
        weights << QStringLiteral("1v1");
        right << (ownNoise                 ? QStringLiteral("2v1")
                  : invertsNoise(binaural) ? QStringLiteral("1v-1")
                                           : QStringLiteral("1v1"));
    } else {
        effects << QStringLiteral("remix");
    }
    for (qsizetype at = 0; at < sines.size(); ++at)
        effects << QStringLiteral("0");
    // "-n": no headroom, which remix would take from the sines for the sum of its weights.
    effects << QStringLiteral("synth") << QStringLiteral("-n") << length;
    for (int noise = 0; noise < noises; ++noise)
        effects << QStringLiteral("sine") << QStringLiteral("mix") << QStringLiteral("0");
    const double scale = masked ? 2 * std::pow(10.0, tone.gainDb().value_or(0) / 20) : 1;
    for (qsizetype at = 0; at < sines.size(); ++at) {
        const Partial& sine = sines[at];
        effects << word;
        if (masked)
            effects << QStringLiteral("mix");
        effects << pitchArgument(tone, sine.frequency, sine.endFrequency);
        if (sine.phase != 0)
            effects << QStringLiteral("0") << decimalText(sine.phase * 100);
        const QString channel = QString::number(noises + at + 1) + QLatin1Char('v');
        const double weight = scale * sine.amplitude;
        weights << channel + decimalText(weight);
        right << channel + decimalText(invertsTone(binaural) ? -weight : weight);
    }
    effects << QStringLiteral("remix") << weights.join(QLatin1Char(','));
    if (binaural != ToneOptions::Binaural::none)
        effects << right.join(QLatin1Char(','));
    return effects;
}

} // namespace

QStringList toolArguments(const Tone& tone) {
    double seconds = 0;
    parseNumberText(tone.lengthText, seconds);
    // A tone in noise has its level in its mix's weights, band noise at a peak level in its
    // source's.
    // A binaural condition's mix is made for both ears already.
    ToneOptions options = tone.options;
    if (tone.binaural() != ToneOptions::Binaural::none)
        options.channel = ToneOptions::Channel::mono;
    const OptionArguments optional = optionArguments(
        options, seconds,
        tone.isInNoise() || tone.isFilteredNoiseAtPeakLevel() ? std::nullopt : tone.gainDb());
    const QString length = lengthArgument(tone.lengthText);
    // Each tone of the file is a chain of its own, the chains parted by ":", each but the last
    // followed by the gap.
    const auto chain = [&](double start, double end, bool last) {
        QStringList effects = sourceEffects(tone, length, seconds, start, end);
        effects += optional.effects;
        // The leading ear's tone, faded, waits in the other: "delay" pads the lagging ear's
        // start and the leading ear's end. A wait of part of a sample is made at sixteen times
        // the rate, the tone then back at its own and cut to whole samples.
        if (const qint64 steps = tone.itdSteps(); steps > 0) {
            const bool whole = steps % itdStepsPerSample == 0;
            const int rate = tone.sampleRate();
            const QString wait =
                QString::number(whole ? steps / itdStepsPerSample : steps) + QLatin1Char('s');
            if (!whole)
                effects << QStringLiteral("rate") << QStringLiteral("-v")
                        << QString::number(rate * itdStepsPerSample);
            effects << QStringLiteral("delay")
                    << (tone.options.itdUs > 0 ? wait : QStringLiteral("0"))
                    << (tone.options.itdUs > 0 ? QStringLiteral("0") : wait);
            if (!whole)
                effects << QStringLiteral("rate") << QStringLiteral("-v") << QString::number(rate)
                        << QStringLiteral("pad") << QStringLiteral("0") << QStringLiteral("1s")
                        << QStringLiteral("trim") << QStringLiteral("0s")
                        << QString::number(std::llround(seconds * rate) + tone.itdSamples()) +
                               QLatin1Char('s');
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
