// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ForcedChoice.h"
#include "making/ToneSession.h"

#include <QList>
#include <QString>

// A trial as one sound: its intervals and the gaps between them are in one file, so that the
// gaps are exact to the sample however busy the machine is when it plays.
struct TrialSound {
    QString path;
    int sampleRate = 0;
    QList<qint64> intervalOnsets; // in samples from the sound's start
    qint64 frames = 0;

    double onsetSeconds(int interval) const; // from 1
    double seconds() const;
};

// Makes each interval's tone with the tool at `toolPath` and joins them with the gaps into
// one WAV file at `path` (written safely, replacing an earlier trial's). Throws Failure with
// the reason when a tone cannot be made or the file written.
TrialSound makeTrialSound(ToneSession& session, const QString& toolPath,
                          const ForcedChoiceSetup& setup, const ForcedChoiceTrial& trial,
                          const QString& path);
