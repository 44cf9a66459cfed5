// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneOptions.h"

#include <QtGlobal>
#include <random>

// SplitMix64's finaliser: every bit of the value moves every bit of the result.
quint64 splitMix64(quint64 value);
// The step SplitMix64 adds before each finalising: the golden ratio in 64 bits.
inline constexpr quint64 splitMix64Increment = 0x9E3779B97F4A7C15ULL;

// A number in [0, 1) from the generator's next output, the same with every standard library.
double unitDraw(std::mt19937_64& generator);
// A place in a list of `size` (at least 1) drawn uniformly, the same with every library.
qsizetype drawIndex(qsizetype size, std::mt19937_64& generator);

// The seed of tone number `toneNumber` of a set drawn with `setSeed`: the same pair gives the
// same seed, neighbouring numbers unrelated ones. Every draw of a tone comes from a generator
// started with it, so that tone k is the same wherever and whenever it is made.
quint64 toneSeed(quint64 setSeed, qint64 toneNumber);

// A whole number drawn uniformly: lower..upper when lower <= upper, upper + 1..lower
// when the bounds are reversed. Throws Failure "Overflow" when upper - lower lies
// outside -32768..32766.
qint16 randomBetween(qint16 lower, qint16 upper, std::mt19937_64& generator);

// A frequency drawn between the bounds as the pitch draw says: whole hertz with equal
// chance (randomBetween()); whole hertz spread evenly per octave (both bounds above 0); or
// an equal-tempered note (A4 = 440 Hz) between the bounds, each with equal chance. Throws
// Failure when the bounds allow no such frequency. The same generator state gives the same
// frequency with every compiler and library.
double drawPitch(qint16 lower, qint16 upper, ToneOptions::PitchDraw draw,
                 std::mt19937_64& generator);
