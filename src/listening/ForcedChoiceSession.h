// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ForcedChoice.h"
#include "listening/ResponsesFile.h"
#include "listening/SimulatedListener.h"
#include "listening/Staircase.h"

#include <QJsonObject>
#include <QList>
#include <QString>
#include <optional>

// A forced-choice session as it runs: the trial to play, each answer taken in turn and the
// staircase moved by it. Knows no sound and no window: a person answers through the window, a
// simulated listener through simulatedAnswer().
class ForcedChoiceSession {
public:
    ForcedChoiceSession(const ForcedChoiceSetup& setup, quint64 seed, const QString& id);

    const ForcedChoiceSetup& setup() const { return m_setup; }
    quint64 seed() const { return m_seed; }
    const QString& id() const { return m_id; }
    bool finished() const { return m_staircase.finished(); }
    // The next trial, at the staircase's value.
    ForcedChoiceTrial trial() const;
    // Takes the answer to trial(), an interval from 1; the row it gives the results file.
    ResponseRow answer(int interval, std::optional<double> seconds,
                       std::optional<double> reactionMs);

    // The track so far: each trial's value, its answer's correctness, and whether it turned
    // the track.
    struct TrackPoint {
        double value = 0;
        bool correct = false;
        bool reversal = false;
    };
    const QList<TrackPoint>& track() const { return m_track; }
    const Staircase& staircase() const { return m_staircase; }
    double percentCorrect() const;

    // What the summaries file keeps of it: enough to play the same trials again.
    QJsonObject summary(const QString& listener) const;

private:
    ForcedChoiceSetup m_setup;
    quint64 m_seed;
    QString m_id;
    Staircase m_staircase;
    QList<TrackPoint> m_track;
};

// The interval the listener answers: the target when it answers correctly, else one of the
// others, drawn from the trial's own seed.
int simulatedAnswer(const SimulatedListener& listener, const ForcedChoiceTrial& trial,
                    int intervals);

// Runs of a procedure with a simulated listener, each from a seed of its own drawn from `seed`,
// to see how far its thresholds spread before listeners are booked.
struct SimulatedRuns {
    QList<double> thresholds; // of the runs that reached one
    QList<int> trials;        // of every run
    int withoutThreshold = 0;
};
// `eachRow`, when given, receives every trial's row, run after run.
SimulatedRuns simulateRuns(const ForcedChoiceSetup& setup, const PsychometricFunction& function,
                           quint64 seed, int runs,
                           const std::function<void(const ResponseRow&)>& eachRow = {});
// The session id of simulated run `run` (from 1) of the seed.
QString simulatedSessionId(quint64 seed, int run);
