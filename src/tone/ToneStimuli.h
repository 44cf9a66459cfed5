// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneOptions.h"

#include <QList>
#include <QString>
#include <optional>
#include <random>

// The highest harmonic number a complex may hold.
inline constexpr int highestHarmonic = 64;

// The harmonic numbers of a text such as "1-8", "2,3,4,5" or "1,3-7", ascending and each once;
// nothing for any other text, or a number outside 1..highestHarmonic.
std::optional<QList<int>> harmonicNumbers(const QString& text);

// A modulation as typed, "RATE,AMOUNT": one rate in Hz, a range "4-16" drawn evenly per tone, or
// a list "4/8/16" of which each tone draws one; the amount an AM depth (0 to 1) or an FM
// deviation in Hz.
struct Modulation {
    QList<double> rates; // one, a range's two ends, or the list
    bool range = false;
    double amount = 0;

    double highestRate() const;
    // The tone's rate, from its generator; one rate draws nothing.
    double drawRate(std::mt19937_64& generator) const;
};

// The most sines one tone is made of: each is a channel of the tool's synth effect.
inline constexpr qsizetype mostPartials = 512;
// The largest FM index (deviation over rate) of a sine: past it, its side bands alone would be
// more than mostPartials sines.
inline constexpr double largestFmIndex = mostPartials / 2.0;

// Nothing for a text that is not such a modulation: rates above 0 and at most 10000 Hz, a
// depth 0 to 1, a deviation 0 to 10000 Hz and at most largestFmIndex times the lowest rate.
std::optional<Modulation> amOf(const QString& text);
std::optional<Modulation> fmOf(const QString& text);

// One sine of a tone made of several: sin(2 pi (f t + phase)) times the amplitude, sweeping to
// `endFrequency` when it differs from `frequency`.
struct Partial {
    double frequency = 0;
    double endFrequency = 0;
    double amplitude = 0;
    double phase = 0; // in cycles, 0 to 1
};

// What a tone made of sines is: its carrier's harmonics with their levels and phases, and the
// modulations the tone drew.
struct SineRecipe {
    double frequency = 0;
    double endFrequency = 0;
    QList<int> harmonics{1};
    double slopeDbPerOctave = 0;
    QList<double> phases; // in cycles, one for each harmonic
    std::optional<double> amRate;
    double amDepth = 0;
    std::optional<double> fmRate;
    double fmDeviation = 0;
};

// The starting phase, in cycles, of harmonic `number`, one of `count` harmonics, in the
// complex's phase kind; `drawn` is a random phase's draw. Schroeder's phase is +-pi n(n+1)/N
// radians (n the harmonic's number, N the count), in sin(2 pi f n t + phase).
double harmonicPhaseOf(ToneOptions::HarmonicPhase kind, int number, qsizetype count, double drawn);

// The sines of the recipe, amplitudes scaled so that the carrier's peak is 1 less a thousandth
// (found on a grid over one period of the fundamental) and modulation keeps it there: an AM tone is
// (1 + m sin(2 pi r t)) / (1 + m) times its carrier, each sine giving two side bands; an FM
// tone sin(2 pi f t + (d / r) sin(2 pi r t)), each sine its Bessel side bands down to 1e-6.
// Side bands below 0 Hz fold over; sines of one frequency are added into one. No amplitude is
// negative: the sign goes into the phase. A recipe too large (isRecipeTooLarge()) gives its
// carrier alone.
QList<Partial> recipePartials(const SineRecipe& recipe);

// Whether the recipe's side bands, counted from its numbers alone, are so many that its sines
// would pass mostPartials however they fall together: it is refused without being worked out.
bool isRecipeTooLarge(const SineRecipe& recipe);

// The highest frequency any of its sines reaches.
double recipeHighestFrequency(const SineRecipe& recipe);

// How far the sines' peak (1) lies above their RMS, in dB.
double partialsPeakOverRmsDb(const QList<Partial>& partials);
