// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ResponsesFile.h"
#include "set/AnswerKey.h"

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>
#include <QStringList>
#include <memory>
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
    // The confusion matrix as lines of text: a row for each value played, a column for each
    // value answered, in the choices' order.
    QString confusionText(const QStringList& choices) const;

private:
    QMap<QPair<QString, QString>, int> m_counts;
    int m_trials = 0;
    int m_correct = 0;
};

// An identification session: each file of a set played `repeats` times in an order drawn from
// the seed, the listener naming each by a value of the key's column.
class IdentificationSession {
public:
    // Throws Failure when the column offers nothing to choose from.
    IdentificationSession(std::shared_ptr<const AnswerKeyIndex> key, const QString& keyPath,
                          const QString& column, int repeats, quint64 seed, const QString& id);

    const QStringList& choices() const { return m_choices; }
    bool finished() const { return m_answered >= m_order.size(); }
    qint64 trialNumber() const { return m_answered + 1; }
    // The file the trial plays, and its length as the key gives it (0 where it gives none).
    QString filePath() const;
    double fileSeconds() const;
    int sampleRate() const;
    // Takes the answer to the trial, a choice by its place from 0; the row it gives the
    // results file.
    ResponseRow answer(qsizetype choice, std::optional<double> seconds,
                       std::optional<double> reactionMs);
    const IdentificationScore& score() const { return m_score; }
    QJsonObject summary(const QString& listener) const;

private:
    std::shared_ptr<const AnswerKeyIndex> m_key;
    QString m_keyPath;
    QString m_column;
    int m_repeats;
    quint64 m_seed;
    QString m_id;
    QStringList m_choices;
    QList<qsizetype> m_order;
    qsizetype m_answered = 0;
    IdentificationScore m_score;
};
