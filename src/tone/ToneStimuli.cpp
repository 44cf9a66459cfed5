// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneStimuli.h"

#include "tone/NumberText.h"
#include "tone/ToneDraws.h"

#include <QMap>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numbers>

std::optional<QList<int>> harmonicNumbers(const QString& text) {
    QList<int> numbers;
    for (const QString& item : text.split(QLatin1Char(','))) {
        const QStringList ends = item.trimmed().split(QLatin1Char('-'));
        bool firstRead = false;
        bool lastRead = false;
        const int first = ends.value(0).toInt(&firstRead);
        const int last = ends.size() == 2 ? ends[1].toInt(&lastRead) : first;
        if (!firstRead || (ends.size() == 2 && !lastRead) || ends.size() > 2 || first < 1 ||
            last < first || last > highestHarmonic)
            return std::nullopt;
        for (int number = first; number <= last; ++number)
            if (!numbers.contains(number))
                numbers.append(number);
    }
    std::sort(numbers.begin(), numbers.end());
    return numbers;
}

double Modulation::highestRate() const {
    return *std::max_element(rates.begin(), rates.end());
}

double Modulation::drawRate(std::mt19937_64& generator) const {
    if (rates.size() == 1)
        return rates.first();
    if (range) // to a hundredth of a hertz, as the key writes it
        return std::round((rates[0] + unitDraw(generator) * (rates[1] - rates[0])) * 100) / 100;
    return rates[drawIndex(rates.size(), generator)];
}

namespace {

std::optional<Modulation> modulationOf(const QString& text, double highestAmount,
                                       double largestIndex) {
    const QStringList parts = text.split(QLatin1Char(','));
    Modulation modulation;
    if (parts.size() != 2 || !parseNumberText(parts[1], modulation.amount) ||
        !(modulation.amount >= 0 && modulation.amount <= highestAmount))
        return std::nullopt;
    const QString rates = parts[0].trimmed();
    modulation.range = rates.contains(QLatin1Char('-'));
    for (const QString& rate :
         rates.split(modulation.range ? QLatin1Char('-') : QLatin1Char('/'))) {
        double hertz = 0;
        if (!parseNumberText(rate, hertz) || !(hertz > 0 && hertz <= 10000))
            return std::nullopt;
        modulation.rates.append(hertz);
    }
    if (modulation.range &&
        (modulation.rates.size() != 2 || modulation.rates[0] >= modulation.rates[1]))
        return std::nullopt;
    if (modulation.amount >
        largestIndex * *std::min_element(modulation.rates.begin(), modulation.rates.end()))
        return std::nullopt;
    return modulation;
}

} // namespace

std::optional<Modulation> amOf(const QString& text) {
    return modulationOf(text, 1, HUGE_VAL);
}

std::optional<Modulation> fmOf(const QString& text) {
    return modulationOf(text, 10000, largestFmIndex);
}

namespace {

constexpr double twoPi = 2 * std::numbers::pi;

// The peak of sines at whole numbers of cycles per period (`cycles`), on a grid over the period
// fine enough to miss it by less than 0.003 dB.
double periodPeak(const QList<Partial>& sines, const QList<int>& cycles) {
    const int points = 128 * cycles.last();
    double peak = 0;
    for (int at = 0; at < points; ++at) {
        const double t = double(at) / points;
        double sum = 0;
        for (qsizetype sine = 0; sine < sines.size(); ++sine)
            sum += sines[sine].amplitude * std::sin(twoPi * (cycles[sine] * t + sines[sine].phase));
        peak = std::max(peak, std::abs(sum));
    }
    return peak;
}

// The sine with its amplitude made positive and its frequency 0 Hz or more: -sin(x) is
// sin(x + 1/2 cycle), and sin(-x + p) is sin(x - p + 1/2 cycle).
Partial folded(Partial partial) {
    if (partial.frequency < 0) {
        partial.frequency = -partial.frequency;
        partial.endFrequency = -partial.endFrequency;
        partial.phase = 0.5 - partial.phase;
    }
    if (partial.amplitude < 0) {
        partial.amplitude = -partial.amplitude;
        partial.phase += 0.5;
    }
    partial.phase -= std::floor(partial.phase);
    return partial;
}

QList<Partial> sinesOf(const SineRecipe& recipe, bool peakScaled) {
    QList<Partial> carrier;
    for (qsizetype at = 0; at < recipe.harmonics.size(); ++at) {
        const int number = recipe.harmonics[at];
        carrier.append({number * recipe.frequency, number * recipe.endFrequency,
                        std::pow(10.0, recipe.slopeDbPerOctave * std::log2(number) / 20),
                        recipe.phases.value(at)});
    }
    // The grid may miss the peak by 3e-4 of it, and side bands cut at 1e-6 add a little: a
    // thousandth of headroom keeps the mix from clipping by that much.
    const double peak = peakScaled ? periodPeak(carrier, recipe.harmonics) * 1.001 : 1;
    for (Partial& sine : carrier)
        sine.amplitude /= peak;
    QList<Partial> partials = carrier;
    if (recipe.fmRate && !isRecipeTooLarge(recipe)) {
        partials.clear();
        for (const Partial& sine : carrier) {
            // Each harmonic deviates in proportion to its number.
            const double index =
                sine.frequency / recipe.frequency * recipe.fmDeviation / *recipe.fmRate;
            const auto bessel = [&](int order) {
                const double value = std::cyl_bessel_j(std::abs(order), index);
                return order < 0 && order % 2 != 0 ? -value : value;
            };
            int widest = 0;
            while (widest < index || std::abs(bessel(widest + 1)) > 1e-6 ||
                   std::abs(bessel(widest + 2)) > 1e-6)
                ++widest;
            for (int order = -widest; order <= widest; ++order)
                partials.append({sine.frequency + order * *recipe.fmRate,
                                 sine.endFrequency + order * *recipe.fmRate,
                                 sine.amplitude * bessel(order), sine.phase});
        }
    }
    if (recipe.amRate) {
        const QList<Partial> unmodulated = partials;
        partials.clear();
        const double scale = 1 / (1 + recipe.amDepth);
        const double side = recipe.amDepth / 2 * scale;
        const double rate = *recipe.amRate;
        // sin(a) (1 + m sin(b)) = sin(a) + m/2 cos(a - b) - m/2 cos(a + b)
        for (const Partial& sine : unmodulated) {
            partials.append(
                {sine.frequency, sine.endFrequency, sine.amplitude * scale, sine.phase});
            partials.append({sine.frequency - rate, sine.endFrequency - rate, sine.amplitude * side,
                             sine.phase + 0.25});
            partials.append({sine.frequency + rate, sine.endFrequency + rate, sine.amplitude * side,
                             sine.phase + 0.75});
        }
    }
    // Sines of one frequency are one sine: their phasors add.
    QMap<double, std::pair<double, double>> phasors;
    QMap<double, double> ends;
    for (const Partial& partial : partials) {
        const Partial sine = folded(partial);
        if (sine.amplitude == 0)
            continue;
        auto& [x, y] = phasors[sine.frequency];
        x += sine.amplitude * std::cos(twoPi * sine.phase);
        y += sine.amplitude * std::sin(twoPi * sine.phase);
        ends[sine.frequency] = sine.endFrequency;
    }
    QList<Partial> merged;
    for (auto it = phasors.cbegin(); it != phasors.cend(); ++it) {
        const double amplitude = std::hypot(it->first, it->second);
        // A sine of 0 Hz is a constant, no sound: it is left out.
        if (amplitude < 1e-9 || it.key() == 0)
            continue;
        const double phase = std::atan2(it->second, it->first) / twoPi;
        merged.append({it.key(), ends[it.key()], amplitude, phase - std::floor(phase)});
    }
    return merged;
}

} // namespace

double harmonicPhaseOf(ToneOptions::HarmonicPhase kind, int number, qsizetype count, double drawn) {
    const double schroeder = double(number) * (number + 1) / (2.0 * double(count));
    switch (kind) {
    case ToneOptions::HarmonicPhase::sine:
        return 0;
    case ToneOptions::HarmonicPhase::cosine:
        return 0.25;
    case ToneOptions::HarmonicPhase::random:
        return drawn;
    case ToneOptions::HarmonicPhase::schroederPositive:
        return schroeder - std::floor(schroeder);
    case ToneOptions::HarmonicPhase::schroederNegative:
        return std::ceil(schroeder) - schroeder;
    }
    return 0;
}

bool isRecipeTooLarge(const SineRecipe& recipe) {
    // Each sine has at least twice its index of side bands; folding at 0 Hz and coinciding
    // frequencies may join some, but not this many.
    constexpr double mostSideBands = 8.0 * mostPartials;
    double sideBands = 0;
    for (const int number : recipe.harmonics) {
        const double index = recipe.fmRate ? number * recipe.fmDeviation / *recipe.fmRate : 0;
        sideBands += (2 * std::ceil(std::min(index, mostSideBands)) + 1) * (recipe.amRate ? 3 : 1);
    }
    return sideBands > mostSideBands;
}

QList<Partial> recipePartials(const SineRecipe& recipe) {
    return sinesOf(recipe, true);
}

double recipeHighestFrequency(const SineRecipe& recipe) {
    double highest = 0;
    for (const Partial& sine : sinesOf(recipe, false))
        highest = std::max({highest, sine.frequency, sine.endFrequency});
    return highest;
}

double partialsPeakOverRmsDb(const QList<Partial>& partials) {
    double power = 0;
    for (const Partial& partial : partials)
        power += partial.amplitude * partial.amplitude / 2;
    return -10 * std::log10(power);
}
