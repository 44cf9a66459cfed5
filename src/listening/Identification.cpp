// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/Identification.h"

#include "tone/NumberText.h"
#include "tone/ToneDraws.h"

#include <QSet>
#include <algorithm>
#include <cmath>
#include <random>

std::optional<QStringList> choicesOf(const AnswerKeyIndex& key, const QString& column) {
    if (!key.columns().contains(column))
        return std::nullopt;
    QSet<QString> values;
    for (qsizetype row = 0; row < key.rowCount(); ++row) {
        const QString value = key.field(row, column);
        if (!value.isEmpty())
            values.insert(value);
        if (values.size() > mostChoices)
            return std::nullopt;
    }
    if (values.isEmpty())
        return std::nullopt;
    QStringList choices(values.begin(), values.end());
    std::sort(choices.begin(), choices.end(), [](const QString& one, const QString& other) {
        double first = 0;
        double second = 0;
        const bool numbers = parseNumberText(one, first) && parseNumberText(other, second);
        return numbers ? first < second : one.localeAwareCompare(other) < 0;
    });
    return choices;
}

QList<qsizetype> identificationOrder(qsizetype rows, int repeats, quint64 seed) {
    QList<qsizetype> order;
    for (int round = 0; round < repeats; ++round)
        for (qsizetype row = 0; row < rows; ++row)
            order << row;
    // Apart from every tone's draws: toneSeed(~seed, n) with n < 0 are the keys'.
    std::mt19937_64 generator(toneSeed(~seed, -1000));
    for (qsizetype at = order.size() - 1; at > 0; --at)
        std::swap(order[at], order[drawIndex(at + 1, generator)]);
    return order;
}

void IdentificationScore::add(const QString& expected, const QString& answered) {
    ++m_counts[{expected, answered}];
    ++m_trials;
    m_correct += expected == answered;
}

double IdentificationScore::percentCorrect() const {
    return m_trials == 0 ? 0 : 100.0 * m_correct / m_trials;
}

double IdentificationScore::percentCorrect(const QString& expected) const {
    int played = 0;
    for (auto entry = m_counts.begin(); entry != m_counts.end(); ++entry)
        if (entry.key().first == expected)
            played += entry.value();
    return played == 0 ? 0 : 100.0 * count(expected, expected) / played;
}

int IdentificationScore::count(const QString& expected, const QString& answered) const {
    return m_counts.value({expected, answered});
}

QString IdentificationScore::text() const {
    return QStringLiteral("Score: %1 of %2 (%3 %)")
        .arg(m_correct)
        .arg(m_trials)
        .arg(decimalText(std::round(percentCorrect())));
}
