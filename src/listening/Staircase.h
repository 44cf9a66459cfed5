// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <optional>

// How a transformed up-down staircase moves (Levitt's rule): after `down` correct answers in a
// row the task gets harder by one step (the value falls), after a wrong answer easier (it
// rises). 1-up/2-down tracks the value answered 70.7 % correct, 1-up/3-down 79.4 %.
struct StaircaseRule {
    int down = 2;
    double start = 10;
    // The step while fewer reversals than its place have been seen; the last one from then on.
    // On a log scale a step is a factor (2: halved or doubled), else a difference.
    QList<double> steps{4, 2};
    bool logScale = false;
    double lowest = 0; // the value never passes these
    double highest = 1e9;
    int reversalsToStop = 8;
    int trialLimit = 100;
    int reversalsAveraged =
        6; // the threshold: the mean of the last ones (geometric on a log scale)
};

// One staircase as it runs: the value of the next trial, each answer taken in turn.
class Staircase {
public:
    explicit Staircase(const StaircaseRule& rule);

    double value() const { return m_value; }
    int trials() const { return m_trials; }
    bool finished() const;
    // Takes the answer to the trial at value(); the next value follows. The answer to a
    // finished staircase is ignored.
    void answer(bool correct);
    // Whether the last answer turned the track round (its value is then among reversals()).
    bool lastWasReversal() const { return m_lastWasReversal; }
    // The values at which the track turned, in order.
    const QList<double>& reversals() const { return m_reversals; }
    // The mean of the last reversalsAveraged reversals; nothing while there are fewer.
    std::optional<double> threshold() const;

private:
    double stepped(int direction) const;

    StaircaseRule m_rule;
    double m_value;
    int m_trials = 0;
    int m_correctInARow = 0;
    int m_direction = 0; // -1 falling, +1 rising, 0 before the first move
    bool m_lastWasReversal = false;
    QList<double> m_reversals;
};
