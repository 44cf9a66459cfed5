// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/Identification.h"

#include "runner/Failure.h"
#include "tone/NumberText.h"
#include "tone/ToneDraws.h"

#include <QDir>
#include <QFileInfo>
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

QString IdentificationScore::confusionText(const QStringList& choices) const {
    qsizetype width = QStringLiteral("played").size();
    for (const QString& choice : choices)
        width = std::max(width, choice.size());
    QString text = QStringLiteral("played").leftJustified(width);
    for (const QString& answered : choices)
        text += QLatin1Char(' ') + answered.rightJustified(width);
    for (const QString& played : choices) {
        text += QLatin1Char('\n') + played.leftJustified(width);
        for (const QString& answered : choices)
            text +=
                QLatin1Char(' ') + QString::number(count(played, answered)).rightJustified(width);
    }
    return text;
}

IdentificationSession::IdentificationSession(std::shared_ptr<const AnswerKeyIndex> key,
                                             const QString& keyPath, const QString& column,
                                             int repeats, quint64 seed, const QString& id)
    : m_key(std::move(key)), m_keyPath(keyPath), m_column(column), m_repeats(repeats), m_seed(seed),
      m_id(id) {
    const std::optional<QStringList> choices = choicesOf(*m_key, column);
    if (!choices)
        throw Failure(QStringLiteral("The set's %1 column holds no values or more than %2: "
                                     "choose another to answer by.")
                          .arg(column)
                          .arg(mostChoices));
    m_choices = *choices;
    m_order = identificationOrder(m_key->rowCount(), repeats, seed);
}

QString IdentificationSession::filePath() const {
    return QFileInfo(m_keyPath).dir().filePath(
        m_key->field(m_order.value(m_answered), QStringLiteral("file")));
}

double IdentificationSession::fileSeconds() const {
    return m_key->field(m_order.value(m_answered), QStringLiteral("file_seconds")).toDouble();
}

int IdentificationSession::sampleRate() const {
    // A key of another program's may leave it out: any rate tells the seconds.
    const int rate = m_key->field(m_order.value(m_answered), QStringLiteral("sample_rate")).toInt();
    return rate > 0 ? rate : 48000;
}

ResponseRow IdentificationSession::answer(qsizetype choice, std::optional<double> seconds,
                                          std::optional<double> reactionMs) {
    const qsizetype row = m_order.value(m_answered);
    ResponseRow answered;
    answered.session = m_id;
    answered.trial = trialNumber();
    answered.seconds = seconds;
    answered.procedure = QStringLiteral("identification");
    answered.seed = m_seed;
    answered.file = m_key->field(row, QStringLiteral("file"));
    answered.expected = m_key->field(row, m_column);
    answered.answer = m_choices.value(choice);
    answered.correct = answered.answer == answered.expected;
    answered.reactionMs = reactionMs;
    m_score.add(answered.expected, answered.answer);
    ++m_answered;
    return answered;
}

QJsonObject IdentificationSession::summary(const QString& listener) const {
    QJsonObject perValue;
    for (const QString& choice : m_choices)
        perValue.insert(choice, m_score.percentCorrect(choice));
    return {
        {QStringLiteral("id"), m_id},
        {QStringLiteral("procedure"), QStringLiteral("identification")},
        {QStringLiteral("seed"), QString::number(m_seed)},
        {QStringLiteral("listener"), listener},
        {QStringLiteral("key"), m_keyPath},
        {QStringLiteral("column"), m_column},
        {QStringLiteral("repeats"), m_repeats},
        {QStringLiteral("trials"), m_score.trials()},
        {QStringLiteral("percent_correct"), m_score.percentCorrect()},
        {QStringLiteral("percent_correct_per_value"), perValue},
        {QStringLiteral("confusion"), m_score.confusionText(m_choices)},
        {QStringLiteral("finished"), finished()},
    };
}
