// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listening/ListeningTestPanel.h"

#include "app/listening/TrackView.h"
#include "app/window/Modals.h"
#include "runner/Failure.h"
#include "sound/SoundOutput.h"
#include "tone/NumberText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRandomGenerator>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <cmath>
#include <utility>

namespace {

const QStringList procedureRows{QStringLiteral("Frequency discrimination"),
                                QStringLiteral("Intensity discrimination"),
                                QStringLiteral("Lateralisation by time (ITD)"),
                                QStringLiteral("Lateralisation by level (ILD)")};
// What each task's value is counted in.
const QStringList valueUnits{QStringLiteral("cents"), QStringLiteral("dB"),
                             QStringLiteral("\u00b5s"), QStringLiteral("dB")};

QSpinBox* spinBox(QWidget* parent, int lowest, int highest, const QString& suffix = {}) {
    auto* box = new QSpinBox(parent);
    box->setRange(lowest, highest);
    box->setSuffix(suffix);
    return box;
}

QDoubleSpinBox* decimalBox(QWidget* parent, double lowest, double highest, int decimals) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(lowest, highest);
    box->setDecimals(decimals);
    return box;
}

} // namespace

ListeningTestPanel::ListeningTestPanel(Services services, QWidget* parent)
    : QWidget(parent), m_services(std::move(services)) {
    setAccessibleName(QStringLiteral("Listening test"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_setupPage = new QWidget(this);
    auto* form = new QFormLayout(m_setupPage);
    procedureList = new QComboBox(m_setupPage);
    procedureList->addItems(procedureRows);
    intervalsList = new QComboBox(m_setupPage);
    intervalsList->addItems({QStringLiteral("2"), QStringLiteral("3")});
    ruleList = new QComboBox(m_setupPage);
    ruleList->addItems({QStringLiteral("1-up/2-down (70.7 % correct)"),
                        QStringLiteral("1-up/3-down (79.4 % correct)")});
    startValue = decimalBox(m_setupPage, 0, 100000, 1);
    stopReversals = spinBox(m_setupPage, 1, 100);
    averagedReversals = spinBox(m_setupPage, 1, 100);
    trialLimit = spinBox(m_setupPage, 1, 10000);
    lowestStandard = spinBox(m_setupPage, 20, 20000, QStringLiteral(" Hz"));
    highestStandard = spinBox(m_setupPage, 20, 20000, QStringLiteral(" Hz"));
    level = decimalBox(m_setupPage, -60, 0, 1);
    level->setSuffix(QStringLiteral(" dBFS"));
    intervalMs = spinBox(m_setupPage, 10, 10000, QStringLiteral(" ms"));
    gapMs = spinBox(m_setupPage, 0, 10000, QStringLiteral(" ms"));
    pauseMs = spinBox(m_setupPage, 0, 10000, QStringLiteral(" ms"));
    listenerField = new QLineEdit(m_setupPage);
    feedbackBox =
        new QCheckBox(QStringLiteral("Say after each answer whether it was right"), m_setupPage);
    startButton = new QPushButton(QStringLiteral("&Start"), m_setupPage);
    form->addRow(QStringLiteral("Procedure:"), procedureList);
    form->addRow(QStringLiteral("Intervals:"), intervalsList);
    form->addRow(QStringLiteral("Rule:"), ruleList);
    form->addRow(QStringLiteral("First difference:"), startValue);
    form->addRow(QStringLiteral("Stop after reversals:"), stopReversals);
    form->addRow(QStringLiteral("Threshold from the last reversals:"), averagedReversals);
    form->addRow(QStringLiteral("Stop after trials:"), trialLimit);
    form->addRow(QStringLiteral("Standard from:"), lowestStandard);
    form->addRow(QStringLiteral("Standard to:"), highestStandard);
    form->addRow(QStringLiteral("Level:"), level);
    form->addRow(QStringLiteral("Interval:"), intervalMs);
    form->addRow(QStringLiteral("Gap between intervals:"), gapMs);
    form->addRow(QStringLiteral("Pause after the answer:"), pauseMs);
    form->addRow(QStringLiteral("Listener:"), listenerField);
    form->addRow(feedbackBox);
    form->addRow(startButton);
    layout->addWidget(m_setupPage);

    m_trialPage = new QWidget(this);
    auto* trialLayout = new QVBoxLayout(m_trialPage);
    trialLabel = new QLabel(m_trialPage);
    trialLabel->setAccessibleName(QStringLiteral("Trial"));
    trialLayout->addWidget(trialLabel);
    auto* buttonRow = new QHBoxLayout;
    for (int interval = 1; interval <= 3; ++interval) {
        auto* button = new QPushButton(QStringLiteral("&%1").arg(interval), m_trialPage);
        button->setMinimumHeight(fontMetrics().height() * 4);
        QFont large = button->font();
        large.setPointSizeF(large.pointSizeF() * 2);
        button->setFont(large);
        button->setAccessibleName(QStringLiteral("Interval %1").arg(interval));
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, interval] { answer(interval); });
        // The number alone answers too, wherever the focus is in the window.
        auto* key = new QShortcut(QKeySequence(Qt::Key_0 + interval), this);
        connect(key, &QShortcut::activated, this, [this, interval] { answer(interval); });
        answerButtons << button;
        buttonRow->addWidget(button);
    }
    trialLayout->addLayout(buttonRow);
    feedbackLabel = new QLabel(m_trialPage);
    feedbackLabel->setAccessibleName(QStringLiteral("Feedback"));
    trialLayout->addWidget(feedbackLabel);
    layout->addWidget(m_trialPage);

    m_resultPage = new QWidget(this);
    auto* resultLayout = new QVBoxLayout(m_resultPage);
    trackView = new TrackView(m_resultPage);
    resultLabel = new QLabel(m_resultPage);
    resultLabel->setWordWrap(true);
    resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel->setAccessibleName(QStringLiteral("Result"));
    auto* again = new QPushButton(QStringLiteral("New test"), m_resultPage);
    connect(again, &QPushButton::clicked, this, [this] { showPage(m_setupPage); });
    resultLayout->addWidget(trackView);
    resultLayout->addWidget(resultLabel);
    resultLayout->addWidget(again);
    layout->addWidget(m_resultPage);

    connect(procedureList, &QComboBox::currentIndexChanged, this, &ListeningTestPanel::applyPreset);
    connect(startButton, &QPushButton::clicked, this, &ListeningTestPanel::start);
    applyPreset(0);
    showPage(m_setupPage);
}

ListeningTestPanel::~ListeningTestPanel() = default;

// The classic procedure of the task, its controls set to it.
void ListeningTestPanel::applyPreset(int procedure) {
    const ForcedChoiceSetup preset = classicSetup(ForcedChoiceTask(procedure));
    const StaircaseRule& rule = preset.rule;
    intervalsList->setCurrentIndex(preset.intervals - 2);
    ruleList->setCurrentIndex(rule.down - 2);
    startValue->setRange(rule.lowest, rule.highest);
    startValue->setValue(rule.start);
    startValue->setSuffix(QLatin1Char(' ') + valueUnits[procedure]);
    stopReversals->setValue(rule.reversalsToStop);
    averagedReversals->setValue(rule.reversalsAveraged);
    trialLimit->setValue(rule.trialLimit);
    lowestStandard->setValue(preset.lowestStandard);
    highestStandard->setValue(preset.highestStandard);
    level->setValue(preset.levelDb);
    intervalMs->setValue(int(std::lround(preset.intervalSeconds * 1000)));
    gapMs->setValue(preset.gapMs);
    pauseMs->setValue(preset.pauseMs);
}

ForcedChoiceSetup ListeningTestPanel::setup() const {
    ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask(procedureList->currentIndex()));
    setup.intervals = intervalsList->currentIndex() + 2;
    setup.rule.down = ruleList->currentIndex() + 2;
    setup.rule.start = startValue->value();
    setup.rule.reversalsToStop = stopReversals->value();
    setup.rule.reversalsAveraged = std::min(averagedReversals->value(), stopReversals->value());
    setup.rule.trialLimit = trialLimit->value();
    setup.lowestStandard = qint16(std::min(lowestStandard->value(), highestStandard->value()));
    setup.highestStandard = qint16(std::max(lowestStandard->value(), highestStandard->value()));
    setup.levelDb = level->value();
    setup.intervalSeconds = intervalMs->value() / 1000.0;
    setup.gapMs = gapMs->value();
    setup.pauseMs = pauseMs->value();
    return setup;
}

void ListeningTestPanel::showPage(QWidget* page) {
    for (QWidget* each : {m_setupPage, m_trialPage, m_resultPage})
        each->setVisible(each == page);
    emit shapeChanged();
}

void ListeningTestPanel::start() {
    if (isRunning())
        return;
    m_tool = m_services.tool();
    if (m_tool.isEmpty())
        return;
    const QDir folder(m_services.folder());
    const QString prefix = m_services.prefix();
    try {
        m_results = std::make_unique<ResponsesFile>(folder.filePath(responsesName(prefix)));
        m_trialFolder = std::make_unique<PrivateFolder>(folder.path());
    } catch (const Failure& failure) {
        m_results.reset();
        m_services.modals.showNotice(failure.description());
        return;
    }
    m_summaryPath = folder.filePath(sessionSummaryName(prefix));
    m_session = std::make_unique<ForcedChoiceSession>(
        setup(), QRandomGenerator::system()->generate64(), newSessionId());
    m_services.setBusy(true);
    showPage(m_trialPage);
    m_sinceStart.start();
    playTrial();
}

void ListeningTestPanel::playTrial(int afterAnswerMs) {
    const quint64 played = ++m_played;
    m_answering = false;
    for (QPushButton* button : answerButtons)
        button->setEnabled(false);
    const ForcedChoiceSetup& setup = m_session->setup();
    for (qsizetype at = 0; at < answerButtons.size(); ++at)
        answerButtons[at]->setVisible(at < setup.intervals);
    const ForcedChoiceTrial trial = m_session->trial();
    trialLabel->setText(QStringLiteral("Trial %1").arg(trial.number));
    m_making = true;
    QString failed;
    try {
        m_sound = makeTrialSound(m_services.session, m_tool, setup, trial,
                                 m_trialFolder->filePath(QStringLiteral("trial.wav")));
    } catch (const Failure& failure) {
        failed = failure.description();
    }
    m_making = false;
    if (!failed.isEmpty()) {
        finish(failed);
        return;
    }
    if (const EndAsked asked = std::exchange(m_endAsked, EndAsked::no); asked != EndAsked::no) {
        asked == EndAsked::end ? finish() : askToEnd();
        return;
    }
    // Made at once after the answer, played the pause after it: the time the making took never
    // moves the trial.
    const qint64 due = afterAnswerMs > 0 ? afterAnswerMs - m_sinceAnswer.elapsed() : 0;
    if (due <= 0)
        startSound(played);
    else
        QTimer::singleShot(int(due), Qt::PreciseTimer, this, [this, played] {
            if (played == m_played)
                startSound(played);
        });
}

void ListeningTestPanel::startSound(quint64 played) {
    const ForcedChoiceSetup& setup = m_session->setup();
    feedbackLabel->clear();
    if (!m_services.sound.playSoundFile(m_sound.path)) {
        finish(QStringLiteral("There is no audio output, so the test cannot be heard. Connect or "
                              "turn on a sound device, then start again."));
        return;
    }
    // Each interval's button is lit while it sounds, at its time within the one sound.
    const int intervalLength = int(std::lround(setup.intervalSeconds * 1000));
    for (int interval = 1; interval <= setup.intervals; ++interval) {
        const int onset = int(std::lround(m_sound.onsetSeconds(interval) * 1000));
        QPushButton* button = answerButtons[interval - 1];
        QTimer::singleShot(onset, this, [this, played, button, interval] {
            if (played != m_played)
                return;
            button->setDown(true);
            trialLabel->setText(QStringLiteral("Trial %1: interval %2")
                                    .arg(m_session->trial().number)
                                    .arg(interval));
        });
        QTimer::singleShot(onset + intervalLength, this, [this, played, button] {
            if (played == m_played)
                button->setDown(false);
        });
    }
    QTimer::singleShot(int(std::lround(m_sound.seconds() * 1000)), this, [this, played] {
        if (played == m_played)
            openAnswers();
    });
}

void ListeningTestPanel::openAnswers() {
    const int intervals = m_session->setup().intervals;
    trialLabel->setText(QStringLiteral("Trial %1: which interval? 1 to %2")
                            .arg(m_session->trial().number)
                            .arg(intervals));
    for (int at = 0; at < intervals; ++at)
        answerButtons[at]->setEnabled(true);
    answerButtons.first()->setFocus();
    m_sinceLastInterval.start();
    m_answering = true;
}

void ListeningTestPanel::answer(int interval) {
    if (!m_answering || interval > m_session->setup().intervals)
        return;
    m_answering = false;
    const double reactionMs = double(m_sinceLastInterval.nsecsElapsed()) / 1e6;
    const int target = m_session->trial().targetInterval;
    const ResponseRow row =
        m_session->answer(interval, double(m_sinceStart.nsecsElapsed()) / 1e9, reactionMs);
    try {
        m_results->add(row);
    } catch (const Failure& failure) {
        finish(failure.description());
        return;
    }
    for (QPushButton* button : answerButtons)
        button->setEnabled(false);
    if (feedbackBox->isChecked())
        feedbackLabel->setText(row.correct
                                   ? QStringLiteral("Right.")
                                   : QStringLiteral("Not this time: it was %1.").arg(target));
    if (m_session->finished()) {
        finish();
        return;
    }
    m_sinceAnswer.start();
    playTrial(m_session->setup().pauseMs);
}

void ListeningTestPanel::askToEnd() {
    if (!isRunning())
        return;
    if (m_making) {
        m_endAsked = EndAsked::ask;
        return;
    }
    // The trial under way stops; its timers do nothing from now on.
    ++m_played;
    m_answering = false;
    m_services.sound.stopSound();
    if (m_services.modals.confirm(this, QStringLiteral("End the listening test? The answers given "
                                                       "so far are kept.")))
        finish();
    else if (isRunning())
        playTrial();
}

void ListeningTestPanel::end() {
    if (m_making)
        m_endAsked = EndAsked::end;
    else if (isRunning())
        finish();
}

QString ListeningTestPanel::resultText() const {
    const ForcedChoiceSetup& setup = m_session->setup();
    const QString unit = valueUnits[int(setup.task)];
    const std::optional<double> threshold = m_session->staircase().threshold();
    QString text = threshold
                       ? QStringLiteral("Threshold: %1 %2, the mean of the last %3 reversals.")
                             .arg(decimalText(std::round(*threshold * 100) / 100), unit)
                             .arg(setup.rule.reversalsAveraged)
                       : QStringLiteral("No threshold: fewer than %1 reversals.")
                             .arg(setup.rule.reversalsAveraged);
    text += QStringLiteral(" %1 % correct over %2 trials.")
                .arg(decimalText(std::round(m_session->percentCorrect() * 10) / 10))
                .arg(m_session->staircase().trials());
    return text;
}

void ListeningTestPanel::finish(const QString& why) {
    ++m_played;
    m_answering = false;
    m_services.sound.stopSound();
    QString text = why.isEmpty() ? QString() : why + QLatin1Char(' ');
    text += resultText();
    if (m_session->staircase().trials() > 0) {
        try {
            keepSessionSummary(m_summaryPath, m_session->summary(listenerField->text(), {}));
        } catch (const Failure& failure) {
            text += QLatin1Char(' ') + failure.description();
        }
        text += QStringLiteral(" Results: %1").arg(QDir::toNativeSeparators(m_results->path()));
    }
    trackView->setTrack(m_session->track(), m_session->staircase().threshold(),
                        m_session->setup().rule.logScale);
    trackView->setAccessibleDescription(resultText());
    resultLabel->setText(text);
    m_session.reset();
    m_results.reset();
    m_trialFolder.reset();
    m_services.setBusy(false);
    showPage(m_resultPage);
}
