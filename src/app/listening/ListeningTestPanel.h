// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/listening/PanelProcedure.h"

#include <QElapsedTimer>
#include <QWidget>
#include <chrono>
#include <functional>
#include <memory>

class Modals;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QFormLayout;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QShortcut;
class QSpinBox;
class SoundOutput;
class ToneSession;
class TrackView;

// The listening test: a forced-choice procedure, or identification from the set listed, chosen
// and set, then run trial by trial with the listener's answers, each written to the results file
// as it is given, and at the end the staircase's track and threshold, or the score and the
// confusion matrix.
class ListeningTestPanel : public QWidget {
    Q_OBJECT

public:
    struct Services {
        Modals& modals;
        SoundOutput& sound;
        ToneSession& session;
        // The tool ready to run, or empty text when it is not (already told).
        std::function<QString()> tool;
        // Where the results go, and the prefix of their names.
        std::function<QString()> folder;
        std::function<QString()> prefix;
        std::function<void(bool)> setBusy;
        // The answer key of the set listed below the window; empty when none is.
        std::function<QString()> keyPath;
    };
    ListeningTestPanel(Services services, QWidget* parent);
    ~ListeningTestPanel() override;

    // The forced-choice procedure as its controls set it.
    ForcedChoiceSetup setup() const;
    bool isRunning() const { return m_procedure != nullptr; }
    // Escape: the trial stops, and the listener is asked whether to end; an ended session keeps
    // what was answered.
    void askToEnd();
    // The window closes: the session ends as if asked, keeping what was answered.
    void end();

    QComboBox* procedureList;
    QComboBox* intervalsList;
    QComboBox* ruleList;
    QDoubleSpinBox* startValue;
    QSpinBox* stopReversals;
    QSpinBox* averagedReversals;
    QSpinBox* trialLimit;
    QSpinBox* lowestStandard;
    QSpinBox* highestStandard;
    QDoubleSpinBox* level;
    QSpinBox* intervalMs;
    QSpinBox* gapMs;
    QSpinBox* pauseMs;
    QLineEdit* listenerField;
    QCheckBox* feedbackBox;
    // Identification: the key's column answered by, and how often each file plays.
    QComboBox* columnList;
    QSpinBox* repeatsBox;
    QPushButton* startButton;
    QLabel* trialLabel;
    QList<QPushButton*> answerButtons;
    QLabel* feedbackLabel;
    TrackView* trackView;
    QLabel* resultLabel;
    QLabel* confusionLabel;

signals:
    void shapeChanged();

private:
    void applyPreset(int procedure);
    void start();
    // Makes the next trial's sound and plays it `afterAnswerMs` after the answer.
    void playTrial(int afterAnswerMs = 0);
    // Plays the trial made from `due` on and lights its intervals as they sound.
    void startSound(quint64 played, std::chrono::steady_clock::time_point due);
    void openAnswers();
    // The answer in that place (from 1) among those offered.
    void answer(int place);
    void makeAnswerButtons();
    bool isIdentification() const;
    // Ends the session: its summary written, its track and result shown.
    void finish(const QString& why = {});
    void showPage(QWidget* page);

    Services m_services;
    QWidget* m_setupPage;
    QWidget* m_trialPage;
    QWidget* m_resultPage;
    QHBoxLayout* m_answerRow;
    QList<QShortcut*> m_numberKeys;
    QFormLayout* m_form;
    std::unique_ptr<PanelProcedure> m_procedure;
    std::unique_ptr<ResponsesFile> m_results;
    std::unique_ptr<PrivateFolder> m_trialFolder;
    QString m_summaryPath;
    TrialSound m_sound;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceLastInterval;
    std::chrono::steady_clock::time_point m_answeredAt;
    bool m_answering = false;
    // Escape or closing while a trial is being made is taken once it is made.
    enum class EndAsked { no, ask, end };
    bool m_making = false;
    EndAsked m_endAsked = EndAsked::no;
    // Counts the trials played, so that a trial's timers left from one stopped do nothing.
    quint64 m_played = 0;
};
