// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/SimulatedListener.h"

#include "tone/ToneDraws.h"

#include <cmath>

double PsychometricFunction::correctChance(double x) const {
    const double rise = shape == Shape::logistic
                            ? 1 / (1 + std::exp(-slope * (x - threshold)))
                            : (x <= 0 ? 0 : 1 - std::exp(-std::pow(x / threshold, slope)));
    return guess + (1 - guess - lapse) * rise;
}

double PsychometricFunction::valueAt(double chance) const {
    const double rise = (chance - guess) / (1 - guess - lapse);
    return shape == Shape::logistic ? threshold - std::log(1 / rise - 1) / slope
                                    : threshold * std::pow(-std::log(1 - rise), 1 / slope);
}

SimulatedListener::SimulatedListener(const PsychometricFunction& function, quint64 seed)
    : m_function(function), m_seed(seed) {}

bool SimulatedListener::answersCorrectly(qint64 trial, double value) const {
    // A uniform draw in [0, 1) from the trial's own seed: 53 bits of it.
    const double draw = double(toneSeed(m_seed, trial) >> 11) * 0x1.0p-53;
    return draw < m_function.correctChance(value);
}
