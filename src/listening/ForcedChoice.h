// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/Staircase.h"
#include "set/SetPlan.h"
#include "tone/Tone.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// What a forced-choice trial asks the listener to tell apart; the staircase adapts the
// difference: frequency in cents, level in dB, the time difference between the ears in
// microseconds, their level difference in dB, or the tone's level over the noise that fills every
// interval (its SNR, RMS over RMS, in dB).
enum class ForcedChoiceTask { frequency, intensity, itd, ild, detection };

// Their names on the command line and in the results, in that order.
inline const QStringList forcedChoiceTaskNames{QStringLiteral("frequency"),
                                               QStringLiteral("intensity"), QStringLiteral("itd"),
                                               QStringLiteral("ild"), QStringLiteral("detection")};

// A forced-choice procedure: 2 or 3 intervals, one of which holds the target.
struct ForcedChoiceSetup {
    ForcedChoiceTask task = ForcedChoiceTask::frequency;
    int intervals = 2;
    // Each trial's standard pitch is drawn between them; fixed when they are the same.
    qint16 lowestStandard = 1000;
    qint16 highestStandard = 1000;
    double levelDb = -20; // detection: the noise's peak
    double intervalSeconds = 0.3;
    int fadeMs = 20;
    int gapMs = 400;   // silence between the intervals, in the trial's sound
    int pauseMs = 500; // after the answer, before the next trial
    StaircaseRule rule;

    // The set plan the trials' standards are drawn from: pure tones at the level, each
    // interval a file of its own length and fades, both ears for the lateral tasks.
    SetPlan plan(quint64 seed) const;
};

// The classic procedure of the task: 2 intervals, 1-up/2-down, the difference halved (or
// lowered by a step) until the second reversal, then by a smaller step; stops after 8
// reversals, the threshold from the last 6.
ForcedChoiceSetup classicSetup(ForcedChoiceTask task);

// What one trial plays: an interval's tone for each interval, the target among them, which
// the session's seed and the trial's number decide with the value.
struct ForcedChoiceTrial {
    qint64 number = 0;
    double value = 0;
    int targetInterval = 0; // from 1
    double standardHz = 0;
    double targetHz = 0;
    double standardLevelDb = 0;
    double targetLevelDb = 0;
    double itdUs = 0; // the target's; the standard's is its opposite
    double ildDb = 0;
    double snrDb = 0;
    QList<Tone> intervalTones; // their files not yet named
    // Detection: each interval is noise, and this tone is added to the target's at the SNR, its
    // level set by the noise's RMS as made.
    std::optional<Tone> signal;
};

// Trial `number` (from 1) at the staircase's value. The same seed, number and value always
// give the same trial.
ForcedChoiceTrial forcedChoiceTrial(const ForcedChoiceSetup& setup, quint64 seed, qint64 number,
                                    double value);

// The seed of the simulated listener's answers in a session of that seed, apart from every
// trial's draws.
quint64 listenerSeed(quint64 seed);
