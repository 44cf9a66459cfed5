// SPDX-License-Identifier: GPL-3.0-or-later
// The set below the window after a batch: its list, Play, Open folder, a key opened from disk,
// the tone's picture checked against the file, and the quiz; driven by keyboard where users do.
#include "SoundFiles.h"
#include "ToneRun.h"
#include "app/options/OptionsPanel.h"
#include "app/pictures/TonePictureView.h"
#include "app/set/ListenPanel.h"
#include "sound/SoundOutput.h"

#include <QLabel>
#include <QPushButton>
#include <QSet>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <memory>

#ifdef Q_OS_WIN
#include <windows.h>

#include <mmsystem.h>
#endif

class TestListen : public QObject {
    Q_OBJECT

private slots:
    void pictureMatchesTheFile();
    void previewIsPictured();
    void setPlayedByKeyboard();
    void quizHidesTheAnswerUntilReveal();
    void quizTakesAnswersAndScores();
    void noOutputPlaysNothing();
};

namespace {

QString keyPath(const ToneRun& run) {
    return run.output + QStringLiteral("/Ziravel_tones.csv");
}

} // namespace

// The marked pitch is the key's, and the envelope rises over the key's fade.
void TestListen::pictureMatchesTheFile() {
    ToneRun run;
    run.w.lengthField->setText(QStringLiteral("0.5"));
    run.w.fromField->setText(QStringLiteral("300"));
    run.w.toField->setText(QStringLiteral("3000"));
    run.w.optionsPanel->fade->setValue(60);
    makeSet(run, 1);
    const TonePictureView& view = *run.w.listenPanel()->pictureView;
    QTRY_VERIFY(view.picture());
    const QString row = linesOf(keyPath(run)).value(1);
    const double keyHz = keyField(row, QStringLiteral("frequency_hz")).toDouble();
    // Between bins: within a quarter of one.
    QVERIFY2(std::abs(*view.markedPitch() - keyHz) < view.picture()->binHz / 4,
             qPrintable(QStringLiteral("%1 vs %2, bins of %3 Hz")
                            .arg(*view.markedPitch())
                            .arg(keyHz)
                            .arg(view.picture()->binHz)));
    const std::vector<float>& envelope = view.picture()->envelope;
    const float loudest = *std::max_element(envelope.begin(), envelope.end());
    const auto risen = std::find_if(envelope.begin(), envelope.end(),
                                    [loudest](float peak) { return peak >= 0.95f * loudest; });
    const double riseSeconds =
        double(risen - envelope.begin()) * view.picture()->envelopeSliceSeconds();
    QVERIFY2(riseSeconds > 0.7 * 0.060 && riseSeconds < 1.1 * 0.060,
             qPrintable(QString::number(riseSeconds)));
    QVERIFY(view.accessibleDescription().contains(view.markText()));
}

void TestListen::previewIsPictured() {
    ToneRun run;
    run.w.pushButton3->click();
    QVERIFY(run.w.listenPanel());
    const TonePictureView& view = *run.w.listenPanel()->pictureView;
    QTRY_VERIFY(view.markedPitch());
    // The status line names the pitch played; the picture finds it in the file.
    const double played = run.w.statusLine->text().section(QLatin1Char(' '), 1, 1).toDouble();
    QVERIFY(std::abs(*view.markedPitch() / played - 1) < 0.01);
    QVERIFY(!run.w.listenPanel()->fileList->isVisible());
}

// Down and Space play the second file; Alt+D shows the folder; Ctrl+O opens a key from disk.
void TestListen::setPlayedByKeyboard() {
    ToneRun run;
    makeSet(run, 3);
    ListenPanel& panel = *run.w.listenPanel();
    panel.fileList->setFocus();
    QTest::keyClick(panel.fileList, Qt::Key_Down);
    QTest::keyClick(panel.fileList, Qt::Key_Space);
    QCOMPARE(run.fixture.sound.played.last(), run.output + QStringLiteral("/Ziravel_2.wav"));
    press(run.w, Qt::Key_D);
    QTRY_COMPARE(run.fixture.modals.shownFolders, QStringList{run.output});

    QTemporaryDir other;
    QFile::copy(keyPath(run), other.filePath(QStringLiteral("Ziravel_tones.csv")));
    run.fixture.modals.keyAnswer = other.filePath(QStringLiteral("Ziravel_tones.csv"));
    press(run.w, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(panel.filePath(0), other.filePath(QStringLiteral("Ziravel_1.wav")));
    QVERIFY(panel.caption->text().contains(QDir::toNativeSeparators(other.path())));
    run.fixture.modals.keyAnswer = run.output + QStringLiteral("/Ziravel_1.wav");
    const qsizetype notices = run.fixture.modals.notices.size();
    press(run.w, Qt::Key_O, Qt::ControlModifier);
    QTRY_COMPARE(run.fixture.modals.notices.size(), notices + 1);
    QCOMPARE(run.fixture.modals.notices.last(),
             QDir::toNativeSeparators(run.output + QStringLiteral("/Ziravel_1.wav")) +
                 QStringLiteral(" is no answer key that can be read."));
}

// Nothing on screen, nor for screen readers, tells the quiz tone before Reveal; Play plays it
// again; Next plays another.
void TestListen::quizHidesTheAnswerUntilReveal() {
    ToneRun run;
    makeSet(run, 3);
    ListenPanel& panel = *run.w.listenPanel();
    press(run.w, Qt::Key_Q);
    QTRY_VERIFY(panel.hiddenRow());
    const QString quizFile = run.fixture.sound.played.last();
    const QString quizName = QFileInfo(quizFile).fileName();
    QVERIFY(!panel.fileList->isEnabled() && panel.currentRow() < 0);
    QVERIFY(!panel.pictureView->picture());
    for (const QWidget* shown : run.w.findChildren<QWidget*>()) {
        const QLabel* label = qobject_cast<const QLabel*>(shown);
        QVERIFY(!(label && label->text().contains(quizName)));
        for (const QString& told :
             {shown->accessibleDescription(), shown->accessibleName(), shown->toolTip(),
              shown->statusTip(), shown->whatsThis(), shown->windowTitle()})
            QVERIFY2(!told.contains(quizName), qPrintable(told));
    }
    press(run.w, Qt::Key_L);
    QTRY_COMPARE(run.fixture.sound.played.size(), 2);
    QCOMPARE(run.fixture.sound.played.last(), quizFile);
    press(run.w, Qt::Key_R);
    QTRY_VERIFY(!panel.hiddenRow());
    QCOMPARE(panel.filePath(panel.currentRow()), quizFile);
    QTRY_VERIFY(panel.pictureView->picture());
    press(run.w, Qt::Key_N);
    QTRY_COMPARE(run.fixture.sound.played.size(), 3);
    QVERIFY(run.fixture.sound.played.last() != quizFile);
}

// The set's notes are the answers; choosing one reveals the tone and scores the answer.
void TestListen::quizTakesAnswersAndScores() {
    ToneRun run;
    makeSet(run, 3);
    ListenPanel& panel = *run.w.listenPanel();
    const QStringList rows = linesOf(keyPath(run)).mid(1);
    const auto playedNote = [&] {
        const QString name = QFileInfo(run.fixture.sound.played.last()).fileName();
        for (const QString& row : rows)
            if (keyField(row, QStringLiteral("file")) == name)
                return keyField(row, QStringLiteral("note"));
        return QString();
    };
    press(run.w, Qt::Key_Q);
    QTRY_VERIFY(panel.choiceRow->isVisible());
    const QList<QPushButton*> choices = panel.choiceRow->findChildren<QPushButton*>();
    QSet<QString> notes;
    for (const QString& row : rows)
        notes.insert(keyField(row, QStringLiteral("note")));
    QCOMPARE(choices.size(), notes.size());
    const auto button = [&](bool right) {
        for (QPushButton* choice : choices)
            if ((choice->text() == playedNote()) == right)
                return choice;
        return static_cast<QPushButton*>(nullptr);
    };
    button(true)->click();
    QVERIFY(!panel.hiddenRow() && !panel.choiceRow->isVisible());
    QCOMPARE(panel.caption->text(), QStringLiteral("Right: it was %1.").arg(playedNote()));
    QCOMPARE(panel.scoreLabel->text(), QStringLiteral("Score: 1 of 1 (100 %)"));
    press(run.w, Qt::Key_N);
    QTRY_VERIFY(panel.choiceRow->isVisible());
    if (QPushButton* wrong = button(false)) {
        wrong->click();
        QCOMPARE(panel.scoreLabel->text(), QStringLiteral("Score: 1 of 2 (50 %)"));
    }
}

// Where no audio output exists (wine here has none), playing is refused, so that the window says
// "No audio output" rather than "Played".
void TestListen::noOutputPlaysNothing() {
#ifdef Q_OS_WIN
    QTemporaryDir folder;
    const QString tone = folder.filePath(QStringLiteral("tone.wav"));
    QVERIFY(writeWavFile(tone, 1, 16, false, 1600, QByteArray(1600, 0x20)));
    const std::unique_ptr<SoundOutput> output(newPlatformSoundOutput());
    QCOMPARE(output->playSoundFile(tone), waveOutGetNumDevs() > 0);
    output->stopSound();
#else
    QSKIP("Qt Multimedia's output is tried in tst_soundplayer");
#endif
}

QTEST_MAIN(TestListen)
#include "tst_listen.moc"
