// SPDX-License-Identifier: GPL-3.0-or-later
#include "Spectrum.h"
#include "TestSupport.h"
#include "ToneRun.h"
#include "analysis/WavFile.h"
#include "app/options/OptionsPanel.h"
#include "app/window/Modals.h"
#include "app/window/ToneWindow.h"
#include "set/AnswerKey.h"

#include "app/window/ToneProgress.h"
#include <QAccessible>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <numbers>

namespace {

const QString done = QStringLiteral("Done.");

} // namespace

class TestToneActions : public QObject {
    Q_OBJECT

private slots:
    void windowsDrawApart();
    void wavBatchMakesTonesInRange();
    void mp3Batch();
    void countDecidesTones_data();
    void countDecidesTones();
    void countThatDoesNotConvert();
    void folderWithoutSeparator_data();
    void folderWithoutSeparator();
    void missingFolderForWav();
    void missingFolderForMp3();
    void toneWithFailedStepIsNotMade();
    void sameFailureIsReportedOnce();
    void tonesThatCannotBeHeardAreRefused();
    void lengthPastTheLimitsIsRefused();
    void batchKeepsTheFolderItTested();
    void clicksDuringRunAreDropped();
    void answerKeyMatchesTheFiles_data();
    void answerKeyMatchesTheFiles();
    void answerKeyThatCannotBeWritten();
    void pitchAboveHalfTheRate_data();
    void pitchAboveHalfTheRate();
    void keyboardReachesEveryAction();
    void clickGoesOnAfterNumberCheck();
    void screenReaderNames();
    void stopEndsTheBatch();
    void stopDuringTheLastTone();
    void escapeStopsThePreviewAndTheSound();
    void previewMakesAndPlaysTone();
    void playedPitchIsRounded();
    void noWaveformIsToldNotRun();
    void previewWithoutToneTellsUser();
    void stalePreviewIsNotPlayed();
};

void TestToneActions::wavBatchMakesTonesInRange() {
    ToneRun run;
    run.w.countField->setText(QStringLiteral("3"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.wav", "Ziravel_2.wav", "Ziravel_3.wav"}));
    for (const QString& name : run.outputFiles()) {
        const QString path = QDir(run.output).filePath(name);
        QCOMPARE(TestSupport::soundInfo(path, 'r'), QStringLiteral("8000"));
        QCOMPARE(TestSupport::soundInfo(path, 'c'), QStringLiteral("1"));
        QCOMPARE(TestSupport::soundInfo(path, 'D').toDouble(), 0.25);
        const double frequency = mainFrequency(path);
        QVERIFY2(frequency >= 199 && frequency <= 401, qPrintable(QString::number(frequency)));
    }
    run.checkIdle();
}

void TestToneActions::mp3Batch() {
    ToneRun run;
    run.w.countField->setText(QStringLiteral("2"));
    run.w.waveformList->setCurrentIndex(7);
    run.w.pushButton2->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.mp3", "Ziravel_2.mp3"}));
    const QString first = QDir(run.output).filePath(QStringLiteral("Ziravel_1.mp3"));
    QCOMPARE(TestSupport::soundInfo(first, 'r'), QStringLiteral("8000"));
    QCOMPARE(TestSupport::soundInfo(first, 'c'), QStringLiteral("1"));
    run.checkIdle();
}

void TestToneActions::countDecidesTones_data() {
    QTest::addColumn<QString>("count");
    QTest::addColumn<int>("tones");
    QTest::newRow("zero") << "0" << 0;
    QTest::newRow("negative") << "-2" << 0;
    QTest::newRow("halfway to even") << "2.5" << 2;
    QTest::newRow("rounds up") << "3.7" << 4;
}

void TestToneActions::countDecidesTones() {
    QFETCH(QString, count);
    QFETCH(int, tones);
    ToneRun run;
    run.w.lengthField->setText(QStringLiteral("0.01"));
    run.w.countField->setText(count);
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QCOMPARE(run.outputFiles().size(), tones);
    // The tool is put in place even when no tone is made.
    QVERIFY(QFile::exists(run.tools.filePath(QStringLiteral("sox.exe"))));
    run.checkIdle();
}

void TestToneActions::countThatDoesNotConvert() {
    ToneRun run;
    run.w.countField->setText(QStringLiteral("many"));
    run.w.pushButton2->click();
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{120});
    QCOMPARE(run.fixture.modals.reports[0].location,
             QStringLiteral("in Ziravel2021/08/31.Form1.PushButton2_Click "));
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QVERIFY(run.outputFiles().isEmpty());
    run.checkIdle();
}

void TestToneActions::folderWithoutSeparator_data() {
    QTest::addColumn<bool>("fromHome");
    QTest::newRow("as typed") << false;
    QTest::newRow("from the home folder") << true;
}

void TestToneActions::folderWithoutSeparator() {
    QFETCH(bool, fromHome);
    ToneRun run;
    const QTemporaryDir home(QDir::homePath() + QStringLiteral("/tones-XXXXXX"));
    const QString folder = fromHome ? home.path() : run.output + QStringLiteral("/Tones");
    QDir().mkpath(folder);
    const QString typed = fromHome ? QStringLiteral("~/") + QFileInfo(folder).fileName() : folder;
    run.w.folderField->setText(typed);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QCOMPARE(QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files),
             QStringList{"Ziravel_1.wav"});
    QCOMPARE(run.w.folderField->text(), typed);
}

void TestToneActions::missingFolderForWav() {
    ToneRun run;
    run.w.folderField->setText(run.output + QStringLiteral("/missing/"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Folder does not exist. Please select another folder."});
    QVERIFY(!QFile::exists(run.tools.filePath(QStringLiteral("sox.exe"))));
    run.checkIdle();
}

void TestToneActions::missingFolderForMp3() {
    ToneRun run;
    run.w.folderField->setText(run.output + QStringLiteral("/missing/"));
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton2->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Folder does not exist. Please select another folder."});
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QVERIFY(!QFile::exists(run.tools.filePath(QStringLiteral("sox.exe"))));
    run.checkIdle();
}

void TestToneActions::toneWithFailedStepIsNotMade() {
    ToneRun run;
    const QString log = run.useFakeTool(200);
    run.w.countField->setText(QStringLiteral("3"));
    run.w.fromField->setText(QStringLiteral("300"));
    run.w.toField->setText(QStringLiteral("300"));
    // Left by an earlier batch: it must not pass for this batch's third tone.
    QFile earlier(run.output + QStringLiteral("/Ziravel_3.wav"));
    QVERIFY(earlier.open(QIODevice::WriteOnly));
    earlier.close();
    // Typed while the first tone is being made: reaches the tones still to come.
    run.whenToolRunStarts(1, [&] { run.w.fromField->setText(QStringLiteral("abc")); });
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{128});
    QCOMPARE(run.fixture.modals.reports[0].description, QStringLiteral("Type mismatch"));
    const QStringList runs = linesOf(log);
    QCOMPARE(runs.size(), 1);
    QVERIFY2(runs[0].endsWith(QStringLiteral(" synth 0.25 sine 300")), qPrintable(runs[0]));
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Done.\r\n2 of 3 tones could not be made.\r\nType mismatch"});
    QCOMPARE(run.outputFiles(), QStringList{"Ziravel_1.wav"});
}

void TestToneActions::sameFailureIsReportedOnce() {
    ToneRun run;
    const QString log = run.useFakeTool(0);
    run.w.lengthField->setText(QStringLiteral("0"));
    run.w.countField->setText(QStringLiteral("50"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{134});
    QCOMPARE(run.fixture.modals.reports[0].description,
             QStringLiteral("Tone length must be a positive number of seconds."));
    QVERIFY(linesOf(log).isEmpty());
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Done.\r\n50 of 50 tones could not be made.\r\nTone length must be a "
                         "positive number of seconds."});
    run.checkIdle();
}

// Silence is never made and called a tone: no run, a reason per tone, and no box per tone.
void TestToneActions::tonesThatCannotBeHeardAreRefused() {
    ToneRun run;
    const QString log = run.useFakeTool(0);
    run.w.countField->setText(QStringLiteral("2"));
    run.w.fromField->setText(QStringLiteral("20000"));
    run.w.toField->setText(QStringLiteral("20000"));
    run.w.pushButton2->click();
    run.w.fromField->setText(QStringLiteral("0"));
    run.w.toField->setText(QStringLiteral("0"));
    run.w.pushButton3->click();
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QCOMPARE(run.fixture.modals.notices,
             (QStringList{"Done.\r\n2 of 2 tones could not be made.\r\nAn MP3 file cannot hold a "
                          "tone above 16300 Hz: its encoder removes it.",
                          "Failed to generate tone.\r\nPlease change your input values."}));
    QVERIFY(!QFile::exists(log));
    QVERIFY(run.outputFiles().isEmpty());
    // The key tells the refused tones as not made.
    const QStringList key = linesOf(run.output + QStringLiteral("/Ziravel_tones.csv"));
    QCOMPARE(key.size(), 3);
    QCOMPARE(madeColumn(key[1]), QStringLiteral("no"));
    QCOMPARE(madeColumn(key[2]), QStringLiteral("no"));
}

void TestToneActions::lengthPastTheLimitsIsRefused() {
    ToneRun run;
    const QString log = run.useFakeTool(0);
    run.w.lengthField->setText(QStringLiteral("100000"));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    // The user's to change, in a plain box: no error report.
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Done.\r\n1 of 1 tones could not be made.\r\nTone length must be at "
                         "most 24 hours (86400 seconds)."});
    QVERIFY(!QFile::exists(log));
}

void TestToneActions::batchKeepsTheFolderItTested() {
    ToneRun run;
    run.useFakeTool(150);
    run.w.countField->setText(QStringLiteral("3"));
    // Space after Tab replaces the whole folder text while the batch runs.
    run.whenToolRunStarts(1, [&] { run.w.folderField->setText(QStringLiteral(" ")); });
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.wav", "Ziravel_2.wav", "Ziravel_3.wav"}));
}

void TestToneActions::clicksDuringRunAreDropped() {
    ToneRun run;
    const QString log = run.useFakeTool(300);
    run.w.countField->setText(QStringLiteral("2"));
    bool busyDuringRun = false;
    int pointerDuringRun = -1;
    QString progressDuringRun;
    run.whenToolRunStarts(1, [&] {
        busyDuringRun = run.w.isBusy();
        pointerDuringRun = run.w.pointerShape();
        progressDuringRun = run.w.progressLabel->text();
        run.w.pushButton1->click();
        run.w.pushButton2->click();
        run.w.pushButton3->click();
    });
    run.w.pushButton1->click();
    QVERIFY(busyDuringRun);
    QCOMPARE(pointerDuringRun, PointerShape::busy);
    QCOMPARE(progressDuringRun, QStringLiteral("Tone 1 of 2"));
    QCOMPARE(linesOf(log).size(), 2);
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QVERIFY(run.fixture.sound.played.isEmpty());
    run.checkIdle();
    // After the batch the buttons work again.
    run.w.pushButton3->click();
    QCOMPARE(linesOf(log).size(), 3);
}

void TestToneActions::answerKeyMatchesTheFiles_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<bool>("pitched");
    QTest::newRow("sine") << 0 << true;
    QTest::newRow("square") << 1 << true;
    QTest::newRow("pink noise") << 7 << false;
}

// Each row tells the file it names: its frequency is what the file holds.
void TestToneActions::answerKeyMatchesTheFiles() {
    QFETCH(int, row);
    QFETCH(bool, pitched);
    ToneRun run;
    run.w.waveformList->setCurrentIndex(row);
    run.w.lengthField->setText(QStringLiteral("0,5"));
    run.w.countField->setText(QStringLiteral("4"));
    run.w.fromField->setText(QStringLiteral("200"));
    run.w.toField->setText(QStringLiteral("2000"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    // Where the files went.
    QCOMPARE(run.w.statusLine->text(),
             QStringLiteral("Key: ") + run.output + QStringLiteral("/Ziravel_tones.csv"));
    QFile key(run.output + QStringLiteral("/Ziravel_tones.csv"));
    QVERIFY(key.open(QIODevice::ReadOnly));
    const QStringList lines =
        QString::fromUtf8(key.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.value(0),
             QStringLiteral("file,frequency_hz,note,cents,waveform,length_s,"
                            "sample_rate_hz,level_dbfs,made,sample_size_bits,"
                            "channel,fade_ms,format,tone_seed,end_frequency_hz,band_hz,"
                            "level_reference,file_seconds,round,direction,split,ild_db,itd_us,"
                            "fade_shape,harmonics,harmonic_slope_db,harmonic_phase,am_rate_hz,"
                            "am_depth,fm_rate_hz,fm_deviation_hz,noise,snr_db,sha256"));
    QCOMPARE(lines.size(), 5);
    for (int tone = 1; tone <= 4; ++tone) {
        const QString& fields = lines[tone];
        const auto field = [&fields](const char* column) {
            return keyField(fields, QLatin1String(column));
        };
        QCOMPARE(field("file"), QStringLiteral("Ziravel_%1.wav").arg(tone));
        QCOMPARE((QStringList{field("waveform"), field("length_s"), field("sample_rate_hz"),
                              field("level_dbfs"), field("made"), field("sample_size_bits"),
                              field("channel"), field("fade_ms"), field("format")}),
                 (QStringList{waveformWord(run.w.waveformList->itemText(row)), "0.5", "8000", "0",
                              "yes", "32", "mono", "0", "wav"}));
        QVERIFY(!field("tone_seed").isEmpty());
        if (!pitched) {
            QCOMPARE(field("frequency_hz") + field("note") + field("cents"), QString());
            continue;
        }
        const int frequency = field("frequency_hz").toInt();
        QVERIFY(frequency >= 200 && frequency <= 2000);
        const double heard = mainFrequency(run.output + QLatin1Char('/') + field("file"));
        QVERIFY2(std::abs(heard - frequency) <= 0.01 * frequency,
                 qPrintable(QStringLiteral("%1: %2 Hz in the key, %3 Hz heard")
                                .arg(field("file"), field("frequency_hz"))
                                .arg(heard)));
        const std::optional<NearestNote> note = nearestNote(frequency);
        QCOMPARE(field("note"), note->name);
        QCOMPARE(field("cents").toInt(), note->cents);
    }
}

// Two windows started together draw different sets: nothing seeds them alike.
void TestToneActions::windowsDrawApart() {
    QStringList seeds[2];
    for (QStringList& seed : seeds) {
        ToneRun run;
        run.w.countField->setText(QStringLiteral("2"));
        run.w.pushButton1->click();
        for (const QString& row : linesOf(run.output + QStringLiteral("/Ziravel_tones.csv")).mid(1))
            seed << keyField(row, QStringLiteral("tone_seed"));
    }
    QCOMPARE(seeds[0].size(), 2);
    QVERIFY(seeds[0] != seeds[1]);
}

void TestToneActions::answerKeyThatCannotBeWritten() {
    ToneRun run;
    QVERIFY(QDir(run.output).mkdir(QStringLiteral("Ziravel_tones.csv")));
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{134});
    QVERIFY(run.fixture.modals.reports[0].description.contains(QStringLiteral("answer key")));
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.wav", "Ziravel_2.wav"}));
    run.checkIdle();
}

void TestToneActions::pitchAboveHalfTheRate_data() {
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("rate");
    QTest::newRow("50 Hz") << 50 << 8000;
    QTest::newRow("440 Hz") << 440 << 8000;
    QTest::newRow("just below half of 8000") << 3999 << 8000;
    QTest::newRow("half of 8000") << 4000 << 16000;
    QTest::newRow("5000 Hz") << 5000 << 16000;
    QTest::newRow("half of 22050") << 11025 << 44100;
    QTest::newRow("20000 Hz") << 20000 << 44100;
    QTest::newRow("24000 Hz") << 24000 << 96000;
    QTest::newRow("32000 Hz") << 32000 << 96000;
}

// The file holds the pitch asked, not its alias, at the lowest rate that can hold it.
void TestToneActions::pitchAboveHalfTheRate() {
    QFETCH(int, frequency);
    QFETCH(int, rate);
    ToneRun run;
    run.w.lengthField->setText(QStringLiteral("0.5"));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.fromField->setText(QString::number(frequency));
    run.w.toField->setText(QString::number(frequency));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{done});
    const QString file = run.output + QStringLiteral("/Ziravel_1.wav");
    QCOMPARE(TestSupport::soundInfo(file, 'r'), QString::number(rate));
    const double heard = mainFrequency(file);
    QVERIFY2(std::abs(heard - frequency) <= 0.01 * frequency, qPrintable(QString::number(heard)));
}

void TestToneActions::keyboardReachesEveryAction() {
    ToneRun run;
    QVERIFY(run.fixture.loadAndShow());
    QVERIFY(QTest::qWaitForWindowActive(run.fixture.window.get()));
    run.w.countField->setText(QStringLiteral("1"));
    QWidget* window = run.fixture.window.get();
    // Return and Enter on a focused button press it.
    run.w.pushButton3->setFocus();
    QTest::keyClick(run.w.pushButton3, Qt::Key_Return);
    QCOMPARE(run.fixture.sound.played.size(), 1);
    QTest::keyClick(run.w.pushButton3, Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(run.fixture.sound.played.size(), 2);
    // The access keys; a button pressed by one clicks a moment later, as it shows.
    QTest::keyClick(window->windowHandle(), Qt::Key_P, Qt::AltModifier);
    QTRY_COMPARE(run.fixture.sound.played.size(), 3);
    QTest::keyClick(window->windowHandle(), Qt::Key_W, Qt::AltModifier);
    QTRY_COMPARE(run.fixture.modals.notices, QStringList{done});
    QTest::keyClick(window->windowHandle(), Qt::Key_M, Qt::AltModifier);
    QTRY_COMPARE(run.fixture.modals.notices, (QStringList{done, done}));
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.mp3", "Ziravel_1.wav"}));
    QTest::keyClick(window->windowHandle(), Qt::Key_F, Qt::AltModifier);
    QTRY_COMPARE(run.fixture.modals.folderPrompts, QStringList{"Please select folder:"});
}

// A click on a button that takes the focus from a field holding no number: the box comes
// up between the button's press and its release, and the user then presses OK.
void TestToneActions::clickGoesOnAfterNumberCheck() {
    ToneRun run;
    run.w.show();
    QVERIFY(QTest::qWaitForWindowActive(&run.w));
    QtModals boxes(&run.w);
    run.fixture.modals.whileNoticeShown = [&] {
        boxes.showNotice(run.fixture.modals.notices.last());
    };
    QTimer answer;
    connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        // The release the user made while the box came up reaches no button.
        QTest::mouseRelease(run.w.pushButton1, Qt::LeftButton);
        QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    });
    answer.start(20);
    run.w.countField->setFocus();
    run.w.countField->setText(QStringLiteral("two"));
    QTest::mousePress(run.w.pushButton1, Qt::LeftButton);
    QTRY_COMPARE(run.fixture.modals.notices.size(), 2);
    QCOMPARE(
        run.fixture.modals.notices,
        (QStringList{"Non numeric value inputted.\r\nValue is changed back to default.", done}));
    QCOMPARE(run.w.countField->text(), QStringLiteral("3"));
    QCOMPARE(run.outputFiles(), (QStringList{"Ziravel_1.wav", "Ziravel_2.wav", "Ziravel_3.wav"}));
    QVERIFY(!run.w.pushButton1->isDown());
    run.checkIdle();
}

void TestToneActions::screenReaderNames() {
    ToneRun run;
    const auto name = [](QWidget* widget) {
        return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Name);
    };
    QCOMPARE(name(run.w.pushButton1), QStringLiteral("Save Tones As WAV Files"));
    QCOMPARE(name(run.w.pushButton2), QStringLiteral("Save Random Tone(s) As MP3 File"));
    QCOMPARE(name(run.w.pushButton3), QStringLiteral("Preview (Play One Tone)"));
    QCOMPARE(name(run.w.fromField), QStringLiteral("From"));
    QCOMPARE(QAccessible::queryAccessibleInterface(run.w.toField)->text(QAccessible::Description),
             QStringLiteral("Hz"));
    QCOMPARE(name(run.w.progressBar), QStringLiteral("Progress"));
    // The bar's value is read out in words, and still works as a number.
    run.w.showProgress(2, 5);
    QAccessibleInterface* bar = QAccessible::queryAccessibleInterface(run.w.progressBar);
    QCOMPARE(bar->role(), QAccessible::ProgressBar);
    QCOMPARE(bar->text(QAccessible::Value), QStringLiteral("Tone 2 of 5"));
    QCOMPARE(bar->valueInterface()->currentValue().toInt(), 1);
    QCOMPARE(bar->valueInterface()->maximumValue().toInt(), 5);
}

// Stop during the last (here the only) tone ends the batch as a stop between tones does.
void TestToneActions::stopDuringTheLastTone() {
    ToneRun run;
    run.useFakeTool(0);
    qputenv("ZIRAVEL_FAKE_SOX_STALL", "Ziravel_1:3000");
    run.w.countField->setText(QStringLiteral("1"));
    // Stop once the tone is being made, while the window waits for it.
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        if (TestSupport::waitForToneBeingMade(run.output, QStringLiteral("Ziravel_1.wav"), 0)) {
            watch.stop();
            run.w.stopButton->click();
        }
    });
    watch.start(20);
    run.w.pushButton1->click();
    qunsetenv("ZIRAVEL_FAKE_SOX_STALL");
    QCOMPARE(run.fixture.modals.notices, QStringList{"Stopped.\r\n0 of 1 tones were made."});
}

void TestToneActions::stopEndsTheBatch() {
    ToneRun run;
    run.useFakeTool(0);
    // The second tone stops half written for longer than the test waits.
    qputenv("ZIRAVEL_FAKE_SOX_STALL", "Ziravel_2:3000");
    run.w.countField->setText(QStringLiteral("5"));
    bool stopShown = false;
    run.whenToolRunStarts(2, [&] {
        stopShown = !run.w.stopButton->isHidden();
        run.w.stopButton->click();
    });
    run.w.pushButton1->click();
    qunsetenv("ZIRAVEL_FAKE_SOX_STALL");
    QVERIFY(stopShown);
    QCOMPARE(run.fixture.modals.notices, QStringList{"Stopped.\r\n1 of 5 tones were made."});
    QCOMPARE(run.outputFiles(), QStringList{"Ziravel_1.wav"});
    const QStringList key = linesOf(run.output + QStringLiteral("/Ziravel_tones.csv"));
    QCOMPARE(key.size(), 3);
    QVERIFY(madeColumn(key[1]) == QLatin1String("yes"));
    QVERIFY(key[2].startsWith(QStringLiteral("Ziravel_2.wav,")) &&
            madeColumn(key[2]) == QLatin1String("no"));
    run.checkIdle();
}

void TestToneActions::escapeStopsThePreviewAndTheSound() {
    ToneRun run;
    QVERIFY(run.fixture.loadAndShow());
    QVERIFY(QTest::qWaitForWindowActive(run.fixture.window.get()));
    run.useFakeTool(0);
    qputenv("ZIRAVEL_FAKE_SOX_STALL", "preview.wav:3000");
    run.whenToolRunStarts(1, [&] { QTest::keyClick(run.fixture.window.get(), Qt::Key_Escape); });
    run.w.pushButton3->click();
    qunsetenv("ZIRAVEL_FAKE_SOX_STALL");
    // Stopped by the user, not ended by itself: nothing to play and nothing to tell.
    QVERIFY(run.fixture.sound.played.isEmpty());
    QVERIFY(run.fixture.modals.notices.isEmpty());
    QVERIFY(!QFile::exists(run.tools.filePath(QStringLiteral("preview.wav"))));
    run.checkIdle();
    // Escape also ends the sound of a preview that plays on.
    const int stopsBefore = run.fixture.sound.stops;
    run.w.pushButton3->click();
    QCOMPARE(run.fixture.sound.played.size(), 1);
    QTest::keyClick(run.fixture.window.get(), Qt::Key_Escape);
    QCOMPARE(run.fixture.sound.stops, stopsBefore + 1);
}

// What people read of a pitch that is no whole number of hertz: one decimal.
void TestToneActions::playedPitchIsRounded() {
    ToneRun run;
    run.w.optionsPanel->pitchDraw->setCurrentIndex(3);
    run.w.optionsPanel->pitchList->setText(QStringLiteral("D4"));
    run.w.pushButton3->click();
    QCOMPARE(run.w.statusLine->text(), QStringLiteral("Played 293.7 Hz (D4 +0 cents)"));
}

// A stored row of -1 leaves no type chosen: the tone is refused before the tool runs.
void TestToneActions::noWaveformIsToldNotRun() {
    ToneRun run;
    run.w.waveformList->setCurrentIndex(-1);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Done.\r\n1 of 1 tones could not be made.\r\nNo waveform type is "
                         "chosen: choose one in the Type list."});
}

void TestToneActions::previewMakesAndPlaysTone() {
    ToneRun run;
    run.w.fromField->setText(QStringLiteral("440"));
    run.w.toField->setText(QStringLiteral("440"));
    run.w.pushButton3->click();
    // What was played, for the ear-training user's answer, and said to a screen reader.
    QCOMPARE(run.w.statusLine->text(), QStringLiteral("Played 440 Hz (A4 +0 cents)"));
    QCOMPARE(QAccessible::queryAccessibleInterface(run.w.statusLine)->text(QAccessible::Name),
             run.w.statusLine->text());
    const QString preview = run.tools.filePath(QStringLiteral("preview.wav"));
    QVERIFY(QFile::exists(preview));
    QCOMPARE(run.fixture.sound.played, QStringList{preview});
    QVERIFY(run.fixture.modals.notices.isEmpty());
    QVERIFY(run.outputFiles().isEmpty());
    QCOMPARE(TestSupport::soundInfo(preview, 'D').toDouble(), 0.25);
    run.checkIdle();
}

void TestToneActions::previewWithoutToneTellsUser() {
    ToneRun run;
    run.w.lengthField->setText(QStringLiteral("abc"));
    run.w.pushButton3->click();
    const QString preview = run.tools.filePath(QStringLiteral("preview.wav"));
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{128});
    QCOMPARE(run.fixture.sound.played, QStringList{preview});
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Failed to generate tone.\r\nPlease change your input values."});
    run.checkIdle();
}

void TestToneActions::stalePreviewIsNotPlayed() {
    ToneRun run;
    const QString preview = run.tools.filePath(QStringLiteral("preview.wav"));
    run.w.pushButton3->click();
    QVERIFY(QFile::exists(preview));
    // No type: SoX refuses, so there is no new tone, and the last one must not pass for it.
    run.w.waveformList->setCurrentIndex(-1);
    run.w.pushButton3->click();
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QCOMPARE(run.fixture.modals.notices,
             QStringList{"Failed to generate tone.\r\nPlease change your input values."});
    QCOMPARE(run.fixture.sound.played, (QStringList{preview, preview}));
    QVERIFY(!QFile::exists(preview));
    run.checkIdle();
}

QTEST_MAIN(TestToneActions)
#include "tst_toneactions.moc"
