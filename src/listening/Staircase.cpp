// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/Staircase.h"

#include <algorithm>
#include <cmath>

Staircase::Staircase(const StaircaseRule& rule) : m_rule(rule), m_value(rule.start) {}

bool Staircase::finished() const {
    return m_reversals.size() >= m_rule.reversalsToStop || m_trials >= m_rule.trialLimit;
}

double Staircase::stepped(int direction) const {
    const qsizetype place =
        std::min<qsizetype>(m_reversals.size(), std::max<qsizetype>(0, m_rule.steps.size() - 1));
    const double step = m_rule.steps.value(place, 1);
    const double next =
        m_rule.logScale ? m_value * std::pow(step, direction) : m_value + direction * step;
    return std::clamp(next, m_rule.lowest, m_rule.highest);
}

void Staircase::answer(bool correct) {
    if (finished())
        return;
    ++m_trials;
    m_lastWasReversal = false;
    int direction = 0;
    if (!correct) {
        m_correctInARow = 0;
        direction = +1;
    } else if (++m_correctInARow >= m_rule.down) {
        m_correctInARow = 0;
        direction = -1;
    }
    if (direction == 0)
        return;
    // A turn is told at the value where the track stood when it turned.
    if (m_direction != 0 && direction != m_direction) {
        m_reversals << m_value;
        m_lastWasReversal = true;
    }
    m_direction = direction;
    m_value = stepped(direction);
}

std::optional<double> Staircase::threshold() const {
    const int averaged = m_rule.reversalsAveraged;
    if (averaged <= 0 || m_reversals.size() < averaged)
        return std::nullopt;
    const QList<double> last = m_reversals.mid(m_reversals.size() - averaged);
    double sum = 0;
    for (const double value : last)
        sum += m_rule.logScale ? std::log(value) : value;
    return m_rule.logScale ? std::exp(sum / averaged) : sum / averaged;
}
