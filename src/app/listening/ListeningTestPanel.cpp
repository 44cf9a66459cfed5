// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listening/ListeningTestPanel.h"

#include "app/listening/TrackView.h"
#include "app/window/Modals.h"
#include "runner/Failure.h"
#include "sound/SoundOutput.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <utility>

namespace {

// The forced-choice tasks in their order, then identification.
const QStringList procedureRows{QStringLiteral("Frequency discrimination"),
                                QStringLiteral("Intensity discrimination"),
                                QStringLiteral("Lateralisation by time (ITD)"),
                                QStringLiteral("Lateralisation by level (ILD)"),
                                QStringLiteral("Detection in noise"),
                                QStringLiteral("Identification from the set listed")};
const int identificationRow = 5;
// The key's columns a listener usually answers by; any other may be typed.
const QStringList answerColumns{QStringLiteral("note"), QStringLiteral("frequency_hz"),
                                QStringLiteral("waveform"), QStringLiteral("channel"),
                                QStringLiteral("direction")};

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
    m_form = new QFormLayout(m_setupPage);
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
    level = decimalBox(m_setupPage, lowestLevelDb, 0, 1);
    level->setSuffix(QStringLiteral(" dBFS"));
    intervalMs = spinBox(m_setupPage, 10, 10000, QStringLiteral(" ms"));
    gapMs = spinBox(m_setupPage, 0, 10000, QStringLiteral(" ms"));
    columnList = new QComboBox(m_setupPage);
    columnList->setEditable(true);
    columnList->addItems(answerColumns);
    repeatsBox = spinBox(m_setupPage, 1, 100);
    pauseMs = spinBox(m_setupPage, 0, 10000, QStringLiteral(" ms"));
    listenerField = new QLineEdit(m_setupPage);
    feedbackBox =
        new QCheckBox(QStringLiteral("Say after each answer whether it was right"), m_setupPage);
    startButton = new QPushButton(QStringLiteral("&Start"), m_setupPage);
    m_form->addRow(QStringLiteral("Procedure:"), procedureList);
    m_form->addRow(QStringLiteral("Intervals:"), intervalsList);
    m_form->addRow(QStringLiteral("Rule:"), ruleList);
    m_form->addRow(QStringLiteral("First difference:"), startValue);
    m_form->addRow(QStringLiteral("Stop after reversals:"), stopReversals);
    m_form->addRow(QStringLiteral("Threshold from the last reversals:"), averagedReversals);
    m_form->addRow(QStringLiteral("Stop after trials:"), trialLimit);
    m_form->addRow(QStringLiteral("Standard from:"), lowestStandard);
    m_form->addRow(QStringLiteral("Standard to:"), highestStandard);
    m_form->addRow(QStringLiteral("Level:"), level);
    m_form->addRow(QStringLiteral("Interval:"), intervalMs);
    m_form->addRow(QStringLiteral("Gap between intervals:"), gapMs);
    m_form->addRow(QStringLiteral("Answer by the key's column:"), columnList);
    m_form->addRow(QStringLiteral("Times each file plays:"), repeatsBox);
    m_form->addRow(QStringLiteral("Pause after the answer:"), pauseMs);
    m_form->addRow(QStringLiteral("Listener:"), listenerField);
    m_form->addRow(feedbackBox);
    m_form->addRow(startButton);
    layout->addWidget(m_setupPage);

    // The labels' texts are what screen readers read: the trial's state, the feedback, the result.
    m_trialPage = new QWidget(this);
    auto* trialLayout = new QVBoxLayout(m_trialPage);
    trialLabel = new QLabel(m_trialPage);
    trialLabel->setAccessibleDescription(QStringLiteral("Trial"));
    trialLayout->addWidget(trialLabel);
    m_answerRow = new QHBoxLayout;
    trialLayout->addLayout(m_answerRow);
    // The number alone answers too, wherever the focus is in the window, while an answer is
    // awaited: at other times the keys type into the fields.
    for (int place = 1; place <= 9; ++place) {
        auto* key = new QShortcut(QKeySequence(Qt::Key_0 + place), this);
        key->setEnabled(false);
        connect(key, &QShortcut::activated, this, [this, place] { answer(place); });
        m_numberKeys << key;
    }
    feedbackLabel = new QLabel(m_trialPage);
    feedbackLabel->setAccessibleDescription(QStringLiteral("Feedback"));
    trialLayout->addWidget(feedbackLabel);
    layout->addWidget(m_trialPage);

    m_resultPage = new QWidget(this);
    auto* resultLayout = new QVBoxLayout(m_resultPage);
    trackView = new TrackView(m_resultPage);
    resultLabel = new QLabel(m_resultPage);
    resultLabel->setWordWrap(true);
    resultLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    resultLabel->setAccessibleDescription(QStringLiteral("Result"));
    confusionLabel = new QLabel(m_resultPage);
    confusionLabel->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    confusionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    confusionLabel->setAccessibleDescription(QStringLiteral("Confusion matrix"));
    auto* again = new QPushButton(QStringLiteral("New test"), m_resultPage);
    connect(again, &QPushButton::clicked, this, [this] { showPage(m_setupPage); });
    resultLayout->addWidget(trackView);
    resultLayout->addWidget(resultLabel);
    resultLayout->addWidget(confusionLabel);
    resultLayout->addWidget(again);
    layout->addWidget(m_resultPage);

    connect(procedureList, &QComboBox::currentIndexChanged, this, &ListeningTestPanel::applyPreset);
    connect(startButton, &QPushButton::clicked, this, &ListeningTestPanel::start);
    applyPreset(0);
    showPage(m_setupPage);
}

ListeningTestPanel::~ListeningTestPanel() = default;

bool ListeningTestPanel::isIdentification() const {
    return procedureList->currentIndex() == identificationRow;
}

// The classic procedure of the task, its controls set to it; identification shows its own.
void ListeningTestPanel::applyPreset(int procedure) {
    const bool identification = procedure == identificationRow;
    for (QWidget* forcedChoice : std::initializer_list<QWidget*>{
             intervalsList, ruleList, startValue, stopReversals, averagedReversals, trialLimit,
             lowestStandard, highestStandard, level, intervalMs, gapMs})
        m_form->setRowVisible(forcedChoice, !identification);
    m_form->setRowVisible(columnList, identification);
    m_form->setRowVisible(repeatsBox, identification);
    emit shapeChanged();
    if (identification)
        return;
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
    ForcedChoiceSetup setup = classicSetup(
        ForcedChoiceTask(std::min(procedureList->currentIndex(), identificationRow - 1)));
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
    const QString keyPath = m_services.keyPath();
    if (isIdentification() && keyPath.isEmpty()) {
        m_services.modals.showNotice(QStringLiteral("Identification plays the set listed below "
                                                    "the window: make a set, or open its answer "
                                                    "key (Ctrl+O), then start again."));
        return;
    }
    const QString tool = isIdentification() ? QString() : m_services.tool();
    if (!isIdentification() && tool.isEmpty())
        return;
    const QDir folder(m_services.folder());
    const QString prefix = m_services.prefix();
    try {
        m_results = std::make_unique<ResponsesFile>(folder.filePath(responsesName(prefix)));
        if (isIdentification()) {
            m_procedure =
                identificationProcedure(keyPath, columnList->currentText(), repeatsBox->value());
        } else {
            // The trials are made where only we can reach them, and go with the session.
            m_trialFolder = std::make_unique<PrivateFolder>(folder.path());
            m_procedure = forcedChoiceProcedure(setup(), m_services.session, tool, *m_trialFolder);
        }
    } catch (const Failure& failure) {
        m_results.reset();
        m_trialFolder.reset();
        m_services.modals.showNotice(failure.description());
        return;
    }
    m_summaryPath = folder.filePath(sessionSummaryName(prefix));
    makeAnswerButtons();
    m_services.setBusy(true);
    showPage(m_trialPage);
    m_sinceStart.start();
    playTrial();
}

// Large buttons, one for each answer, their number its access key: "1", or "1  A4".
void ListeningTestPanel::makeAnswerButtons() {
    qDeleteAll(answerButtons);
    answerButtons.clear();
    const QStringList texts = m_procedure->answerTexts();
    const bool intervals = m_procedure->intervalSeconds() > 0;
    for (qsizetype at = 0; at < texts.size(); ++at) {
        const QString number = QString::number(at + 1);
        auto* button = new QPushButton(
            QLatin1Char('&') + number + (intervals ? QString() : QStringLiteral("  ") + texts[at]),
            m_trialPage);
        button->setMinimumHeight(fontMetrics().height() * 4);
        QFont large = button->font();
        large.setPointSizeF(large.pointSizeF() * (intervals ? 2 : 1.4));
        button->setFont(large);
        button->setAccessibleName(intervals ? QStringLiteral("Interval %1").arg(number)
                                            : texts[at]);
        button->setEnabled(false);
        const int place = int(at) + 1;
        connect(button, &QPushButton::clicked, this, [this, place] { answer(place); });
        answerButtons << button;
        m_answerRow->addWidget(button);
    }
}

void ListeningTestPanel::playTrial(int afterAnswerMs) {
    const quint64 played = ++m_played;
    m_answering = false;
    for (QPushButton* button : answerButtons)
        button->setEnabled(false);
    trialLabel->setText(QStringLiteral("Trial %1").arg(m_procedure->trialNumber()));
    m_making = true;
    QString failed;
    try {
        m_sound = m_procedure->trialSound();
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
    const auto now = std::chrono::steady_clock::now();
    startSound(played, afterAnswerMs > 0
                           ? std::max(now, m_answeredAt + std::chrono::milliseconds(afterAnswerMs))
                           : now);
}

void ListeningTestPanel::startSound(quint64 played, std::chrono::steady_clock::time_point due) {
    if (!m_services.sound.playSoundFileAt(m_sound.path, due)) {
        finish(QStringLiteral("There is no audio output, so the test cannot be heard. Connect or "
                              "turn on a sound device, then start again."));
        return;
    }
    // Ms from now, never below none: a timer set for less never fires.
    const int start = std::max(
        0, int(std::chrono::ceil<std::chrono::milliseconds>(due - std::chrono::steady_clock::now())
                   .count()));
    QTimer::singleShot(start, this, [this, played] {
        if (played == m_played)
            feedbackLabel->clear();
    });
    // Each interval's button is lit while it sounds, at its time within the one sound.
    const int intervalLength = int(std::lround(m_procedure->intervalSeconds() * 1000));
    for (int interval = 1; intervalLength > 0 && interval <= m_sound.intervalOnsets.size();
         ++interval) {
        const int onset = start + int(std::lround(m_sound.onsetSeconds(interval) * 1000));
        QPushButton* button = answerButtons[interval - 1];
        QTimer::singleShot(onset, this, [this, played, button, interval] {
            if (played != m_played)
                return;
            button->setDown(true);
            trialLabel->setText(QStringLiteral("Trial %1: interval %2")
                                    .arg(m_procedure->trialNumber())
                                    .arg(interval));
        });
        QTimer::singleShot(onset + intervalLength, this, [this, played, button] {
            if (played == m_played)
                button->setDown(false);
        });
    }
    QTimer::singleShot(start + int(std::lround(m_sound.seconds() * 1000)), this, [this, played] {
        if (played == m_played)
            openAnswers();
    });
}

void ListeningTestPanel::openAnswers() {
    trialLabel->setText(QStringLiteral("Trial %1: which? 1 to %2")
                            .arg(m_procedure->trialNumber())
                            .arg(answerButtons.size()));
    for (QPushButton* button : answerButtons)
        button->setEnabled(true);
    for (QShortcut* key : m_numberKeys)
        key->setEnabled(true);
    answerButtons.first()->setFocus();
    m_sinceLastInterval.start();
    m_answering = true;
}

void ListeningTestPanel::answer(int place) {
    if (!m_answering || place > answerButtons.size())
        return;
    // The pause runs from the answer, not from when its row is on disk.
    m_answeredAt = std::chrono::steady_clock::now();
    m_answering = false;
    for (QShortcut* key : m_numberKeys)
        key->setEnabled(false);
    const double reactionMs = double(m_sinceLastInterval.nsecsElapsed()) / 1e6;
    const ResponseRow row =
        m_procedure->answer(place - 1, double(m_sinceStart.nsecsElapsed()) / 1e9, reactionMs);
    try {
        m_results->add(row);
    } catch (const Failure& failure) {
        finish(failure.description());
        return;
    }
    for (QPushButton* button : answerButtons)
        button->setEnabled(false);
    if (feedbackBox->isChecked())
        feedbackLabel->setText(
            row.correct
                ? QStringLiteral("Right.")
                : QStringLiteral("Not this time: it was %1.").arg(m_procedure->rightAnswer()));
    if (m_procedure->finished()) {
        finish();
        return;
    }
    playTrial(pauseMs->value());
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
    for (QShortcut* key : m_numberKeys)
        key->setEnabled(false);
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

void ListeningTestPanel::finish(const QString& why) {
    ++m_played;
    m_answering = false;
    for (QShortcut* key : m_numberKeys)
        key->setEnabled(false);
    m_services.sound.stopSound();
    const QStringList result = m_procedure->resultText().split(QLatin1Char('\n'));
    QString text = why.isEmpty() ? result.first() : why + QLatin1Char(' ') + result.first();
    if (m_procedure->trialNumber() > 1) {
        QJsonObject summary = m_procedure->summary(listenerField->text());
        summary.insert(QStringLiteral("output_device"), m_services.sound.outputName());
        try {
            keepSessionSummary(m_summaryPath, summary);
        } catch (const Failure& failure) {
            text += QLatin1Char(' ') + failure.description();
        }
        text += QStringLiteral(" Results: %1").arg(QDir::toNativeSeparators(m_results->path()));
    }
    const ForcedChoiceSession* staircase = m_procedure->staircaseSession();
    trackView->setVisible(staircase);
    if (staircase)
        trackView->setTrack(staircase->track(), staircase->staircase().threshold(),
                            staircase->setup().rule.logScale);
    trackView->setAccessibleDescription(result.first());
    resultLabel->setText(text);
    confusionLabel->setText(result.mid(1).join(QLatin1Char('\n')));
    confusionLabel->setVisible(result.size() > 1);
    m_procedure.reset();
    m_results.reset();
    m_trialFolder.reset();
    m_services.setBusy(false);
    showPage(m_resultPage);
}
