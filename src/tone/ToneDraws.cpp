// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneDraws.h"

#include "runner/Failure.h"

#include <algorithm>
#include <cmath>

quint64 splitMix64(quint64 value) {
    value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ULL;
    value = (value ^ (value >> 27)) * 0x94D049BB133111EBULL;
    return value ^ (value >> 31);
}

double unitDraw(std::mt19937_64& generator) {
    return double(generator() >> 11) * 0x1.0p-53;
}

qsizetype drawIndex(qsizetype size, std::mt19937_64& generator) {
    return std::min(size - 1, qsizetype(unitDraw(generator) * double(size)));
}

quint64 toneSeed(quint64 setSeed, qint64 toneNumber) {
    // Twice over the pair: every bit of both reaches every bit of the seed.
    return splitMix64(splitMix64(setSeed ^ (quint64(toneNumber) * splitMix64Increment)));
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
