// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listening/PanelProcedure.h"

#include "tone/NumberText.h"

#include <QRandomGenerator>
#include <cmath>

namespace {

quint64 newSeed() {
    return QRandomGenerator::system()->generate64();
}

class ForcedChoiceProcedure : public PanelProcedure {
public:
    ForcedChoiceProcedure(const ForcedChoiceSetup& setup, ToneSession& tones, const QString& tool,
                          const PrivateFolder& trials)
        : m_session(setup, newSeed(), newSessionId()), m_tones(tones), m_tool(tool),
          m_trials(trials) {}

    QStringList answerTexts() const override {
        QStringList texts;
        for (int interval = 1; interval <= m_session.setup().intervals; ++interval)
            texts << QString::number(interval);
        return texts;
    }
    bool finished() const override { return m_session.finished(); }
    qint64 trialNumber() const override { return m_session.trial().number; }
    TrialSound trialSound() override {
        return makeTrialSound(m_tones, m_tool, m_session.setup(), m_session.trial(),
                              m_trials.filePath(QStringLiteral("trial.wav")));
    }
    double intervalSeconds() const override { return m_session.setup().intervalSeconds; }
    ResponseRow answer(int choice, double seconds, double reactionMs) override {
        m_right = m_session.trial().targetInterval;
        return m_session.answer(choice + 1, seconds, reactionMs);
    }
    QString rightAnswer() const override { return QString::number(m_right); }
    QString resultText() const override {
        const ForcedChoiceSetup& setup = m_session.setup();
        const std::optional<double> threshold = m_session.staircase().threshold();
        QString text = threshold
                           ? QStringLiteral("Threshold: %1 %2, the mean of the last %3 reversals.")
                                 .arg(decimalText(std::round(*threshold * 100) / 100),
                                      valueUnits[int(setup.task)])
                                 .arg(setup.rule.reversalsAveraged)
                           : QStringLiteral("No threshold: fewer than %1 reversals.")
                                 .arg(setup.rule.reversalsAveraged);
        return text + QStringLiteral(" %1 % correct over %2 trials.")
                          .arg(decimalText(std::round(m_session.percentCorrect() * 10) / 10))
                          .arg(m_session.staircase().trials());
    }
    QJsonObject summary(const QString& listener) const override {
        return m_session.summary(listener);
    }
    const ForcedChoiceSession* staircaseSession() const override { return &m_session; }

private:
    ForcedChoiceSession m_session;
    ToneSession& m_tones;
    QString m_tool;
    const PrivateFolder& m_trials;
    int m_right = 0;
};

class IdentificationProcedure : public PanelProcedure {
public:
    IdentificationProcedure(const QString& keyPath, const QString& column, int repeats)
        : m_session(std::make_shared<const AnswerKeyIndex>(keyPath), keyPath, column, repeats,
                    newSeed(), newSessionId()) {}

    QStringList answerTexts() const override { return m_session.choices(); }
    bool finished() const override { return m_session.finished(); }
    qint64 trialNumber() const override { return m_session.trialNumber(); }
    TrialSound trialSound() override {
        // The set's own file, as it lies, one sound with no intervals to light.
        const int rate = m_session.sampleRate();
        return {
            m_session.filePath(), rate, {0}, qint64(std::llround(m_session.fileSeconds() * rate))};
    }
    double intervalSeconds() const override { return 0; }
    ResponseRow answer(int choice, double seconds, double reactionMs) override {
        const ResponseRow row = m_session.answer(choice, seconds, reactionMs);
        m_right = row.expected;
        return row;
    }
    QString rightAnswer() const override { return m_right; }
    QString resultText() const override {
        const IdentificationScore& score = m_session.score();
        return score.text() + QLatin1Char('\n') + score.confusionText(m_session.choices());
    }
    QJsonObject summary(const QString& listener) const override {
        return m_session.summary(listener);
    }

private:
    IdentificationSession m_session;
    QString m_right;
};

} // namespace

std::unique_ptr<PanelProcedure> forcedChoiceProcedure(const ForcedChoiceSetup& setup,
                                                      ToneSession& tones, const QString& tool,
                                                      const PrivateFolder& trials) {
    return std::make_unique<ForcedChoiceProcedure>(setup, tones, tool, trials);
}

std::unique_ptr<PanelProcedure> identificationProcedure(const QString& keyPath,
                                                        const QString& column, int repeats) {
    return std::make_unique<IdentificationProcedure>(keyPath, column, repeats);
}
