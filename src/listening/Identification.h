// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "set/AnswerKey.h"

#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

// The most values a listener chooses from.
inline constexpr int mostChoices = 12;

// The values of the key's column a listener chooses from: each value once, numbers in their
// order and words in theirs; nothing when the column holds none or more than mostChoices.
std::optional<QStringList> choicesOf(const AnswerKeyIndex& key, const QString& column);

// The order a set's rows are played in: each of `rows` rows `repeats` times, shuffled from the
// seed alone.
QList<qsizetype> identificationOrder(qsizetype rows, int repeats, quint64 seed);

// Answers against the values played: per cent correct overall and per value, and how often
// each value was taken for each other (the confusion matrix).
class IdentificationScore {
public:
    void add(const QString& expected, const QString& answered);
    int trials() const { return m_trials; }
    int correct() const { return m_correct; }
    double percentCorrect() const;
    double percentCorrect(const QString& expected) const;
    int count(const QString& expected, const QString& answered) const;
    // "Score: 3 of 4 (75 %)".
    QString text() const;

private:
    QMap<QPair<QString, QString>, int> m_counts;
    int m_trials = 0;
    int m_correct = 0;
};
