// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/ForcedChoiceSession.h"

#include "tone/ToneDraws.h"

#include <QJsonArray>

namespace {

QJsonArray jsonNumbers(const QList<double>& values) {
    QJsonArray numbers;
    for (const double value : values)
        numbers << value;
    return numbers;
}

} // namespace

ForcedChoiceSession::ForcedChoiceSession(const ForcedChoiceSetup& setup, quint64 seed,
                                         const QString& id)
    : m_setup(setup), m_seed(seed), m_id(id), m_staircase(setup.rule) {}

ForcedChoiceTrial ForcedChoiceSession::trial() const {
    return forcedChoiceTrial(m_setup, m_seed, m_staircase.trials() + 1, m_staircase.value());
}

ResponseRow ForcedChoiceSession::answer(int interval, std::optional<double> seconds,
                                        std::optional<double> reactionMs) {
    const ForcedChoiceTrial played = trial();
    const bool correct = interval == played.targetInterval;
    m_staircase.answer(correct);
    m_track << TrackPoint{played.value, correct, m_staircase.lastWasReversal()};
    ResponseRow row;
    row.session = m_id;
    row.trial = played.number;
    row.seconds = seconds;
    row.procedure = forcedChoiceTaskNames[int(m_setup.task)];
    row.seed = m_seed;
    row.toneSeed = played.intervalTones.first().seed;
    row.intervals = m_setup.intervals;
    row.intervalSeconds = m_setup.intervalSeconds;
    row.gapMs = m_setup.gapMs;
    row.targetInterval = played.targetInterval;
    row.standardHz = played.standardHz;
    row.targetHz = played.targetHz;
    row.standardLevelDb = played.standardLevelDb;
    row.targetLevelDb = played.targetLevelDb;
    row.itdUs = played.itdUs;
    row.ildDb = played.ildDb;
    if (played.signal) {
        row.snrDb = played.snrDb;
        for (const Tone& noise : played.intervalTones)
            row.noiseFrom << noise.repeatableNoiseFrom.value_or(0);
    }
    row.answer = QString::number(interval);
    row.correct = correct;
    row.reactionMs = reactionMs;
    row.value = played.value;
    row.reversal = m_staircase.lastWasReversal();
    return row;
}

double ForcedChoiceSession::percentCorrect() const {
    if (m_track.isEmpty())
        return 0;
    const auto correct = std::count_if(m_track.begin(), m_track.end(),
                                       [](const TrackPoint& point) { return point.correct; });
    return 100.0 * double(correct) / double(m_track.size());
}

QJsonObject ForcedChoiceSession::summary(const QString& listener) const {
    const StaircaseRule& rule = m_setup.rule;
    const std::optional<double> threshold = m_staircase.threshold();
    return {
        {QStringLiteral("id"), m_id},
        {QStringLiteral("procedure"), forcedChoiceTaskNames[int(m_setup.task)]},
        {QStringLiteral("seed"), QString::number(m_seed)},
        {QStringLiteral("listener"), listener},
        {QStringLiteral("intervals"), m_setup.intervals},
        {QStringLiteral("standard_hz"),
         QJsonArray{m_setup.lowestStandard, m_setup.highestStandard}},
        {QStringLiteral("level_db"), m_setup.levelDb},
        {QStringLiteral("interval_s"), m_setup.intervalSeconds},
        {QStringLiteral("fade_ms"), m_setup.fadeMs},
        {QStringLiteral("gap_ms"), m_setup.gapMs},
        {QStringLiteral("pause_ms"), m_setup.pauseMs},
        {QStringLiteral("down"), rule.down},
        {QStringLiteral("start"), rule.start},
        {QStringLiteral("steps"), jsonNumbers(rule.steps)},
        {QStringLiteral("log_scale"), rule.logScale},
        {QStringLiteral("lowest"), rule.lowest},
        {QStringLiteral("highest"), rule.highest},
        {QStringLiteral("reversals_to_stop"), rule.reversalsToStop},
        {QStringLiteral("trial_limit"), rule.trialLimit},
        {QStringLiteral("reversals_averaged"), rule.reversalsAveraged},
        {QStringLiteral("trials"), m_staircase.trials()},
        {QStringLiteral("percent_correct"), percentCorrect()},
        {QStringLiteral("reversals"), jsonNumbers(m_staircase.reversals())},
        {QStringLiteral("threshold"), threshold ? QJsonValue(*threshold) : QJsonValue()},
        {QStringLiteral("finished"), finished()},
    };
}

int simulatedAnswer(const SimulatedListener& listener, const ForcedChoiceTrial& trial,
                    int intervals) {
    if (listener.answersCorrectly(trial.number, trial.value))
        return trial.targetInterval;
    // One of the others, each as likely.
    const quint64 draw = toneSeed(listener.seed(), -trial.number);
    const int past = int(draw % quint64(intervals - 1)) + 1;
    return (trial.targetInterval - 1 + past) % intervals + 1;
}

QString simulatedSessionId(quint64 seed, int run) {
    return QStringLiteral("simulated-%1-%2").arg(seed).arg(run);
}

SimulatedRuns simulateRuns(const ForcedChoiceSetup& setup, const PsychometricFunction& function,
                           quint64 seed, int runs,
                           const std::function<void(const ResponseRow&)>& eachRow) {
    SimulatedRuns result;
    for (int run = 1; run <= runs; ++run) {
        const quint64 runSeed = toneSeed(seed, run);
        ForcedChoiceSession session(setup, runSeed, simulatedSessionId(seed, run));
        const SimulatedListener listener(function, listenerSeed(runSeed));
        while (!session.finished()) {
            const ResponseRow row =
                session.answer(simulatedAnswer(listener, session.trial(), setup.intervals), {}, {});
            if (eachRow)
                eachRow(row);
        }
        result.trials << session.staircase().trials();
        if (const std::optional<double> threshold = session.staircase().threshold())
            result.thresholds << *threshold;
        else
            ++result.withoutThreshold;
    }
    return result;
}
