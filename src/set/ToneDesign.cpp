// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/ToneDesign.h"

#include "tone/NumberText.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <numeric>

ToneDesign::ToneDesign(QList<double> frequencies, QList<double> levels,
                       QList<ToneOptions::Channel> channels, QList<int> intervalSigns,
                       DesignStimuli stimuli)
    : m_frequencies(std::move(frequencies)), m_levels(std::move(levels)),
      m_channels(std::move(channels)), m_intervalSigns(std::move(intervalSigns)),
      m_stimuli(std::move(stimuli)) {}

namespace {

// How many values a list gives the design: an empty one is not listed, one value.
qsizetype valuesOf(const QList<double>& list) {
    return std::max<qsizetype>(1, list.size());
}

// The list's value at the place the combination's digit gives, which it then drops.
std::optional<double> nextValue(const QList<double>& list, qsizetype& combination) {
    const qsizetype at = combination % valuesOf(list);
    combination /= valuesOf(list);
    return list.isEmpty() ? std::nullopt : std::optional(list[at]);
}

} // namespace

qsizetype ToneDesign::roundSize() const {
    return m_frequencies.size() * m_levels.size() * m_channels.size() * valuesOf(m_stimuli.ildDbs) *
           valuesOf(m_stimuli.itdUs) * valuesOf(m_stimuli.snrDbs) * m_intervalSigns.size();
}

qsizetype ToneDesign::cellOf(quint64 setSeed, qint64 toneNumber) const {
    const qsizetype size = roundSize();
    const qint64 round = (toneNumber - 1) / size;
    if (round != m_round) {
        // Rounds are shuffled from seeds of their own, apart from the tones' seeds.
        std::mt19937_64 generator(toneSeed(~setSeed, round));
        m_order.resize(size);
        std::iota(m_order.begin(), m_order.end(), 0);
        for (qsizetype at = size - 1; at > 0; --at)
            std::swap(m_order[at], m_order[drawIndex(at + 1, generator)]);
        m_round = round;
    }
    return m_order[(toneNumber - 1) % size];
}

DesignPoint ToneDesign::point(quint64 setSeed, qint64 toneNumber) const {
    qsizetype combination = cellOf(setSeed, toneNumber);
    const qsizetype frequency = combination % m_frequencies.size();
    combination /= m_frequencies.size();
    const qsizetype level = combination % m_levels.size();
    combination /= m_levels.size();
    const qsizetype channel = combination % m_channels.size();
    combination /= m_channels.size();
    const std::optional<double> ildDb = nextValue(m_stimuli.ildDbs, combination);
    const std::optional<double> itdUs = nextValue(m_stimuli.itdUs, combination);
    const std::optional<double> snrDb = nextValue(m_stimuli.snrDbs, combination);
    return {m_frequencies[frequency],
            m_levels[level],
            m_channels[channel],
            m_intervalSigns[combination],
            ildDb,
            itdUs,
            snrDb};
}
