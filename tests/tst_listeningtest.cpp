// SPDX-License-Identifier: GPL-3.0-or-later
// The listening test in the window, driven by keyboard as a listener drives it: every row of
// the results file is the answer given to the trial played, and the trial made again from its
// row is the sound that was played.
#include "ToneRun.h"
#include "app/listening/ListeningTestPanel.h"
#include "listening/ResponsesFile.h"
#include "listening/TrialSound.h"
#include "set/AnswerKey.h"

#include <QAccessible>
#include <QComboBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace TestSupport;

class TestListeningTest : public QObject {
    Q_OBJECT

private slots:
    void sessionByKeyboardIsRecorded();
    void escapeEndsKeepingTheAnswers();
    void noOutputStartsNothing();
    void intervalsLightInTurn();
    void identificationOfTheSetListed();
};

namespace {

// The panel opened by its access key, set to short trials so that a test takes a second.
ListeningTestPanel& openPanel(ToneRun& run, int trials) {
    run.w.show();
    [&] { QVERIFY(QTest::qWaitForWindowActive(&run.w)); }();
    press(run.w, Qt::Key_T);
    [&] { QVERIFY(QTest::qWaitFor([&] { return run.w.testPanel() != nullptr; })); }();
    ListeningTestPanel& panel = *run.w.testPanel();
    panel.procedureList->setCurrentIndex(2); // lateralisation by ITD
    panel.intervalMs->setValue(40);
    panel.gapMs->setValue(30);
    panel.pauseMs->setValue(0);
    panel.trialLimit->setValue(trials);
    return panel;
}

bool answersOpen(const ListeningTestPanel& panel) {
    return !panel.answerButtons.isEmpty() && panel.answerButtons[0]->isEnabled();
}

// The results file's rows, each by its columns' names.
QList<QMap<QString, QString>> responseRows(const QString& path) {
    QList<QMap<QString, QString>> rows;
    const QStringList lines = linesOf(path);
    for (const QString& line : lines.mid(1)) {
        const QStringList fields = *answerKeyFields(line.toUtf8());
        QMap<QString, QString> row;
        for (qsizetype at = 0; at < fields.size(); ++at)
            row.insert(responseColumns()[at], fields[at]);
        rows << row;
    }
    return rows;
}

} // namespace

void TestListeningTest::sessionByKeyboardIsRecorded() {
    ToneRun run;
    ListeningTestPanel& panel = openPanel(run, 6);
    const ForcedChoiceSetup setup = panel.setup();
    press(run.w, Qt::Key_S);
    QTRY_VERIFY(panel.isRunning());
    QList<QByteArray> played;
    QList<int> answers;
    for (int trial = 1; trial <= 6; ++trial) {
        QTRY_VERIFY(answersOpen(panel));
        QCOMPARE(panel.trialLabel->text().section(QLatin1Char(':'), 0, 0),
                 QStringLiteral("Trial %1").arg(trial));
        QCOMPARE(QAccessible::queryAccessibleInterface(panel.trialLabel)->text(QAccessible::Name),
                 panel.trialLabel->text());
        played << contentOf(run.fixture.sound.played.last());
        answers << 1 + trial % 2;
        press(run.w, Qt::Key_0 + answers.last(), Qt::NoModifier);
    }
    QTRY_VERIFY(!panel.isRunning());
    QVERIFY(QAccessible::queryAccessibleInterface(panel.resultLabel)
                ->text(QAccessible::Name)
                .contains(QStringLiteral("over 6 trials")));
    const QString results = run.output + QStringLiteral("/Ziravel_responses.csv");
    const QList<QMap<QString, QString>> rows = responseRows(results);
    QCOMPARE(rows.size(), 6);
    ToneSession session;
    const QString tool = QStandardPaths::findExecutable(QStringLiteral("sox"));
    QTemporaryDir remade;
    for (qsizetype at = 0; at < rows.size(); ++at) {
        const QMap<QString, QString>& row = rows[at];
        QCOMPARE(row["answer"].toInt(), answers[at]);
        QCOMPARE(row["correct"] == QLatin1String("yes"), row["answer"] == row["target_interval"]);
        QVERIFY(row["reaction_ms"].toDouble() >= 0);
        const ForcedChoiceTrial trial = forcedChoiceTrial(
            setup, row["seed"].toULongLong(), row["trial"].toLongLong(), row["value"].toDouble());
        QCOMPARE(trial.targetInterval, row["target_interval"].toInt());
        QCOMPARE(trial.itdUs, row["itd_us"].toDouble());
        const QString path = remade.filePath(QStringLiteral("trial.wav"));
        makeTrialSound(session, tool, setup, trial, path);
        QVERIFY2(contentOf(path) == played[at], qPrintable(QString::number(at + 1)));
    }
    const QJsonArray sessions = QJsonDocument::fromJson(contentOf(
        run.output + QStringLiteral("/Ziravel_session.json")))["sessions"]
                                    .toArray();
    QCOMPARE(sessions.size(), 1);
    QCOMPARE(sessions[0]["id"].toString(), rows[0]["session"]);
    QCOMPARE(sessions[0]["trials"].toInt(), 6);
    QVERIFY(!run.w.isBusy());
}

// Escape during a trial asks; Yes ends the session with the answer given kept, and a second
// session adds its rows after the first's.
void TestListeningTest::escapeEndsKeepingTheAnswers() {
    ToneRun run;
    ListeningTestPanel& panel = openPanel(run, 20);
    for (int session = 1; session <= 2; ++session) {
        press(run.w, Qt::Key_S);
        QTRY_VERIFY(answersOpen(panel));
        press(run.w, Qt::Key_2, Qt::NoModifier);
        QTRY_VERIFY(panel.trialLabel->text().startsWith(QStringLiteral("Trial 2")));
        press(run.w, Qt::Key_Escape, Qt::NoModifier);
        QTRY_VERIFY(!panel.isRunning());
        QCOMPARE(run.fixture.modals.questions.size(), session);
        panel.procedureList->setCurrentIndex(0);
        QTest::mouseClick(panel.resultLabel->parentWidget()->findChildren<QPushButton*>().last(),
                          Qt::LeftButton);
    }
    const QList<QMap<QString, QString>> rows =
        responseRows(run.output + QStringLiteral("/Ziravel_responses.csv"));
    QCOMPARE(rows.size(), 2);
    QVERIFY(rows[0]["session"] != rows[1]["session"]);
    QCOMPARE(rows[0]["procedure"], QStringLiteral("itd"));
    QCOMPARE(rows[1]["procedure"], QStringLiteral("frequency"));
}

// Without an audio output the test says why and writes no row.
void TestListeningTest::noOutputStartsNothing() {
    ToneRun run;
    run.fixture.sound.outputAvailable = false;
    ListeningTestPanel& panel = openPanel(run, 6);
    press(run.w, Qt::Key_S);
    QTRY_VERIFY(panel.resultLabel->text().startsWith(QStringLiteral("There is no audio output")));
    QCOMPARE(linesOf(run.output + QStringLiteral("/Ziravel_responses.csv")).size(), 1);
    QVERIFY(!run.w.isBusy());
}

// Each interval's button is lit while it sounds, the first too when the output is slow to open.
void TestListeningTest::intervalsLightInTurn() {
    ToneRun run;
    run.fixture.sound.opening = std::chrono::milliseconds(20);
    ListeningTestPanel& panel = openPanel(run, 6);
    panel.intervalMs->setValue(300);
    press(run.w, Qt::Key_S);
    QTRY_VERIFY(panel.answerButtons.size() == 2 && panel.answerButtons[0]->isDown());
    QVERIFY(!panel.answerButtons[1]->isDown());
    QTRY_VERIFY(panel.answerButtons[1]->isDown());
    QVERIFY(!panel.answerButtons[0]->isDown());
    QTRY_VERIFY(answersOpen(panel));
}

// Each file of the set is played twice and named by its note: every row says which file played,
// its note in the key, and the note answered; the score and confusions follow.
void TestListeningTest::identificationOfTheSetListed() {
    ToneRun run;
    makeSet(run, 3);
    ListeningTestPanel& panel = openPanel(run, 6);
    panel.procedureList->setCurrentIndex(5);
    panel.repeatsBox->setValue(2);
    panel.pauseMs->setValue(0);
    QMap<QString, QString> notes; // by file
    for (const QString& row : linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).mid(1))
        notes.insert(keyField(row, QStringLiteral("file")), keyField(row, QStringLiteral("note")));
    press(run.w, Qt::Key_S);
    QTRY_VERIFY(panel.isRunning());
    QStringList played;
    for (int trial = 1; trial <= 6; ++trial) {
        QTRY_VERIFY(answersOpen(panel));
        played << QFileInfo(run.fixture.sound.played.last()).fileName();
        press(run.w, Qt::Key_1, Qt::NoModifier);
    }
    QTRY_VERIFY(!panel.isRunning());
    const QList<QMap<QString, QString>> rows =
        responseRows(run.output + QStringLiteral("/Ziravel_responses.csv"));
    QCOMPARE(rows.size(), 6);
    QStringList choices = notes.values();
    choices.removeDuplicates();
    QCOMPARE(panel.answerButtons.size(), choices.size());
    int right = 0;
    for (qsizetype at = 0; at < rows.size(); ++at) {
        QCOMPARE(rows[at]["procedure"], QStringLiteral("identification"));
        QCOMPARE(rows[at]["file"], played[at]);
        QCOMPARE(rows[at]["expected"], notes.value(played[at]));
        QCOMPARE(rows[at]["answer"], panel.answerButtons[0]->accessibleName());
        right += rows[at]["correct"] == QLatin1String("yes");
        QCOMPARE(rows[at]["correct"] == QLatin1String("yes"),
                 rows[at]["answer"] == rows[at]["expected"]);
    }
    QCOMPARE(played.count(played.first()), 2);
    QVERIFY(panel.resultLabel->text().startsWith(QStringLiteral("Score: %1 of 6").arg(right)));
    QVERIFY(panel.confusionLabel->isVisible());
}

QTEST_MAIN(TestListeningTest)
#include "tst_listeningtest.moc"
