// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ForcedChoiceSession.h"
#include "listening/Identification.h"
#include "listening/ResponsesFile.h"
#include "listening/TrialSound.h"
#include "making/ToneSession.h"
#include "runner/SafeFile.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>

// A procedure as the listening-test panel runs it, a forced-choice staircase or identification
// from a set, seen alike: the answers offered, each trial's sound, the answer taken, the result.
class PanelProcedure {
public:
    virtual ~PanelProcedure() = default;
    // The answers' texts, one button each, chosen by the keys 1 to 9 in their order.
    virtual QStringList answerTexts() const = 0;
    virtual bool finished() const = 0;
    virtual qint64 trialNumber() const = 0;
    // The trial's sound, made where it needs making. Throws Failure.
    virtual TrialSound trialSound() = 0;
    // The seconds each interval lasts, when its button is to be lit as it sounds; 0: none lit.
    virtual double intervalSeconds() const = 0;
    // Takes the answer to the trial (its place among the answers, from 0); the results' row.
    virtual ResponseRow answer(int choice, double seconds, double reactionMs) = 0;
    // The answer that was right, for the listener's feedback.
    virtual QString rightAnswer() const = 0;
    virtual QString resultText() const = 0;
    virtual QJsonObject summary(const QString& listener) const = 0;
    // The forced-choice session whose track is drawn at the end; none for identification.
    virtual const ForcedChoiceSession* staircaseSession() const { return nullptr; }
};

// A forced-choice session whose trials the tool makes into the private folder.
std::unique_ptr<PanelProcedure> forcedChoiceProcedure(const ForcedChoiceSetup& setup,
                                                      ToneSession& tones, const QString& tool,
                                                      const PrivateFolder& trials);

// Identification from the set whose answer key lies at the path. Throws Failure when the key
// cannot be read or the column offers nothing to choose.
std::unique_ptr<PanelProcedure> identificationProcedure(const QString& keyPath,
                                                        const QString& column, int repeats);

// What each forced-choice task's value is counted in.
inline const QStringList valueUnits{QStringLiteral("cents"), QStringLiteral("dB"),
                                    QStringLiteral("\u00b5s"), QStringLiteral("dB"),
                                    QStringLiteral("dB SNR")};
