// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QtGlobal>

// A listener who answers by a psychometric function instead of by ear, for planning a
// procedure and for testing it: the chance of a correct answer at a stimulus value x is
// guess + (1 - guess - lapse) * F(x), with F logistic, 1 / (1 + exp(-slope (x - threshold))),
// or Weibull, 1 - exp(-(x / threshold)^slope).
struct PsychometricFunction {
    enum class Shape { logistic, weibull };
    Shape shape = Shape::weibull;
    double threshold = 10;
    double slope = 3;
    double guess = 0.5; // 1 / intervals for a forced choice
    double lapse = 0;

    double correctChance(double x) const;
    // The value answered correctly with the given chance; nothing to find outside
    // (guess, 1 - lapse).
    double valueAt(double chance) const;
};

// Answers trial after trial; the answer to trial k depends on the seed and k alone, so that a run
// is the same from its seed.
class SimulatedListener {
public:
    SimulatedListener(const PsychometricFunction& function, quint64 seed);
    bool answersCorrectly(qint64 trial, double value) const;
    quint64 seed() const { return m_seed; }

private:
    PsychometricFunction m_function;
    quint64 m_seed;
};
