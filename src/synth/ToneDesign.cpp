// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/ToneDesign.h"

#include "synth/NumberText.h"
#include "synth/ToneCommand.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>
#include <numeric>

std::optional<QList<double>> frequencyList(const QString& text) {
    QList<double> frequencies;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() > longestPitchList)
        return std::nullopt;
    for (const QString& part : parts) {
        double hertz = 0;
        if (!parseNumberText(part, hertz) || !(hertz >= 1 && hertz <= 32767))
            return std::nullopt;
        frequencies.append(hertz);
    }
    return frequencies;
}

namespace {

// A note's distance from A4 in semitones.
std::optional<int> semitonesFromA4(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^([A-Ga-g])([#b]?)(-1|\\d|10)$"));
    const QRegularExpressionMatch match = pattern.match(name.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    static const int fromC[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    const int letter = match.captured(1).toUpper().at(0).unicode() - 'A';
    const QString accidental = match.captured(2);
    const int step = fromC[letter] + (accidental == QLatin1String("#")   ? 1
                                      : accidental == QLatin1String("b") ? -1
                                                                         : 0);
    const int octave = match.captured(3).toInt();
    // C4 is nine semitones below A4.
    return (octave - 4) * 12 + step - 9;
}

double noteFrequency(int semitones) {
    return 440.0 * std::pow(2.0, semitones / 12.0);
}

} // namespace

std::optional<QList<double>> noteList(const QString& text) {
    QList<double> frequencies;
    if (text.contains(QStringLiteral(".."))) {
        const QStringList ends = text.split(QStringLiteral(".."));
        const std::optional<int> first = semitonesFromA4(ends.value(0));
        const std::optional<int> last = semitonesFromA4(ends.value(1));
        if (ends.size() != 2 || !first || !last || *first > *last)
            return std::nullopt;
        for (int note = *first; note <= *last; ++note)
            frequencies.append(noteFrequency(note));
    } else {
        const QStringList names = text.split(QLatin1Char(','));
        if (names.size() > longestPitchList)
            return std::nullopt;
        for (const QString& name : names) {
            const std::optional<int> note = semitonesFromA4(name);
            if (!note)
                return std::nullopt;
            frequencies.append(noteFrequency(*note));
        }
    }
    for (const double hertz : frequencies)
        if (hertz > 32767)
            return std::nullopt;
    return frequencies;
}

QMap<double, QString> noteSpellings(const QString& text) {
    QMap<double, QString> spellings;
    if (!noteList(text))
        return spellings;
    for (const QString& name : text.split(QRegularExpression(QStringLiteral(",|\\.\\."))))
        if (const std::optional<int> note = semitonesFromA4(name))
            spellings.insert(noteFrequency(*note), name.trimmed());
    return spellings;
}

std::optional<QList<double>> pitchesOf(const QString& text) {
    if (const std::optional<QList<double>> notes = noteList(text))
        return notes;
    return frequencyList(text);
}

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
