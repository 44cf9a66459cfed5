// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "runner/FileProbes.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

const QString numericNotice =
    QStringLiteral("Non numeric value inputted.\r\nValue is changed back to default.");

void showActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

private slots:
    void applicationTitle_data();
    void applicationTitle();
    void errorReportText();
    void boxTitlesAreExact();
    void firstStartWritesDefaults();
    void storedValuesWin();
    void storedRow_data();
    void storedRow();
    void everyControlIsOnScreen();
    void keystrokesAreStoredOneByOne();
    void numericCheckOnLeave_data();
    void numericCheckOnLeave();
    void numericCheckShowsOneMessagePerLeave();
    void selectsAllOnEntry();
    void closingEndsProgram();
    void refusedWriteIsToldOnce();
    void laterSaveWinsOverAnotherWindow();
    void storeSurvivesKill();
};

void TestForm1::applicationTitle_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("title");
    QTest::newRow("one word stays whole") << "Ziravel"
                                          << "Ziravel";
    QTest::newRow("last word goes") << "Random Tone Maker"
                                    << "Random Tone";
    QTest::newRow("long one word stays whole") << QString(50, 'x') << QString(50, 'x');
    QTest::newRow("cut until 40 or fewer")
        << "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc Dddddddddd Eeeeeeeeee Ffff"
        << "Aaaaaaaaaa Bbbbbbbbbb Cccccccccc";
}

void TestForm1::applicationTitle() {
    QFETCH(QString, name);
    QFETCH(QString, title);
    QCOMPARE(::applicationTitle(name), title);
}

void TestForm1::errorReportText() {
    QCOMPARE(::errorReportText(QStringLiteral("Type mismatch"),
                               QStringLiteral("in Ziravel2021/08/31.Form1.Form_Load "), 150),
             QStringLiteral("Type mismatch\r\nin Ziravel2021/08/31.Form1.Form_Load at line 150\r\r"
                            "Please email screenshot of this message to " ZIRAVEL_SUPPORT_EMAIL));
}

void TestForm1::boxTitlesAreExact() {
    QtModals modals;
    modals.setApplicationTitle(QStringLiteral("Ziravel"));
    QStringList titles;
    const auto answerNextBox = [&titles] {
        QTimer::singleShot(0, [&titles] {
            QWidget* box = QApplication::activeModalWidget();
            titles << (box ? box->windowTitle() : QStringLiteral("<no box>"));
            if (box)
                box->close();
        });
    };
    answerNextBox();
    modals.showNotice(QStringLiteral("Done."));
    answerNextBox();
    modals.reportError(QStringLiteral("Overflow"), handlerLocation(QStringLiteral("Form_Load")),
                       100);
    QCOMPARE(titles, (QStringList{"Ziravel", "Application Error"}));
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
}

void TestForm1::firstStartWritesDefaults() {
    WindowFixture fixture;
    fixture.window->formLoad();
    QVERIFY(fixture.modals.reports.isEmpty());
    const Form1& w = *fixture.window;
    QCOMPARE(w.waveformList->currentText(), QStringLiteral("Sine (Default)"));
    QCOMPARE(w.waveformList->count(), 9);
    QCOMPARE(w.waveformList->itemText(8), QStringLiteral("Brown Noise"));
    QCOMPARE(w.lengthField->text(), QStringLiteral("1"));
    QCOMPARE(w.countField->text(), QStringLiteral("3"));
    QCOMPARE(w.fromField->text(), QStringLiteral("200"));
    QCOMPARE(w.toField->text(), QStringLiteral("400"));
    QCOMPARE(w.folderField->text(), defaultOutputFolder());
    QCOMPARE(fixture.stored("Combo1"), QStringLiteral("0"));
    QCOMPARE(fixture.stored("Text1"), QStringLiteral("1"));
    QCOMPARE(fixture.stored("Text2"), QStringLiteral("3"));
    QCOMPARE(fixture.stored("Text3"), QStringLiteral("200"));
    QCOMPARE(fixture.stored("Text4"), QStringLiteral("400"));
    QCOMPARE(fixture.stored("Text5"), w.folderField->text());
    QCOMPARE(fixture.stored("LastFolderDot"), QStringLiteral("<missing>"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Ziravel"));
    QCOMPARE(fixture.modals.applicationTitle, QStringLiteral("Ziravel"));
    // A display name would be appended to every window's title by the window system.
    QCOMPARE(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
    QVERIFY(!w.windowIcon().isNull());
    QVERIFY(QFile::exists(fixture.settingsFile()));

    // The next start reads what the first one wrote, and writes nothing back.
    const FileStamp written = fileStamp(fixture.settingsFile());
    RecordingModals modals;
    SettingsStore settings(noticesTo(modals), fixture.settingsFile());
    Form1 again({modals, settings, fixture.sound, fixture.folder(), [] {}});
    again.formLoad();
    QCOMPARE(again.folderField->text(), w.folderField->text());
    QCOMPARE(fileStamp(fixture.settingsFile()), written);
}

void TestForm1::storedValuesWin() {
    WindowFixture fixture;
    fixture.store("Combo1", "7");
    fixture.store("Text1", "abc");
    fixture.store("Text2", "10");
    fixture.store("Text3", "-5");
    fixture.store("Text4", "5, 6");
    fixture.store("Text5", "");
    fixture.window->formLoad();
    const Form1& w = *fixture.window;
    QVERIFY(fixture.modals.reports.isEmpty());
    QVERIFY(fixture.modals.notices.isEmpty());
    QCOMPARE(w.waveformList->currentText(), QStringLiteral("Pink Noise"));
    QCOMPARE(w.lengthField->text(), QStringLiteral("abc"));
    QCOMPARE(w.countField->text(), QStringLiteral("10"));
    QCOMPARE(w.fromField->text(), QStringLiteral("-5"));
    QCOMPARE(w.toField->text(), QStringLiteral("5, 6"));
    QCOMPARE(w.folderField->text(), QString());
    QCOMPARE(fixture.stored("Combo1"), QStringLiteral("7"));
    QCOMPARE(fixture.stored("Text4"), QStringLiteral("5, 6"));
}

void TestForm1::storedRow_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("row");
    QTest::addColumn<QList<int>>("reportedLines");
    QTest::newRow("last row") << "8" << 8 << QList<int>{};
    QTest::newRow("no row") << "-1" << -1 << QList<int>{};
    QTest::newRow("beyond the rows") << "9" << -1 << QList<int>{146};
    QTest::newRow("below no row") << "-2" << -1 << QList<int>{146};
    QTest::newRow("not a number") << "abc" << -1 << QList<int>{146};
    QTest::newRow("beyond 16 bits") << "70000" << -1 << QList<int>{146};
}

void TestForm1::storedRow() {
    QFETCH(QString, stored);
    QFETCH(int, row);
    QFETCH(QList<int>, reportedLines);
    WindowFixture fixture;
    fixture.store("Combo1", stored);
    fixture.store("Text2", "12");
    fixture.window->formLoad();
    QCOMPARE(fixture.window->waveformList->currentIndex(), row);
    QCOMPARE(fixture.modals.reportLines(), reportedLines);
    for (const auto& report : std::as_const(fixture.modals.reports))
        QCOMPARE(report.location, QStringLiteral("in Ziravel2021/08/31.Form1.Form_Load "));
    // The steps after the failed one still ran.
    QCOMPARE(fixture.window->countField->text(), QStringLiteral("12"));
    QCOMPARE(fixture.window->toField->text(), QStringLiteral("400"));
    QVERIFY(!fixture.window->folderField->text().isEmpty());
}

void TestForm1::everyControlIsOnScreen() {
    WindowFixture fixture;
    QVERIFY(fixture.loadAndShow());
    Form1& w = *fixture.window;
    const QRect client = w.centralWidget()->rect();
    const QList<QWidget*> controls = {w.frame1, w.frame2,      w.frame3,      w.frame4,
                                      w.frame5, w.pushButton1, w.pushButton2, w.pushButton3};
    for (QWidget* control : controls) {
        QVERIFY(control->isVisible());
        QVERIFY2(client.contains(control->geometry()), qPrintable(control->objectName()));
    }
    // The captions, with their access keys.
    QCOMPARE(w.pushButton1->text(), QStringLiteral(" Save Tones As &WAV Files"));
    QCOMPARE(w.pushButton2->text(), QStringLiteral(" Save Random Tone(s) As &MP3 File"));
    QCOMPARE(w.pushButton3->text(), QStringLiteral("&Preview (Play One Tone)"));
    QVERIFY(w.pushButton2->geometry().top() > w.pushButton1->geometry().bottom());
    const QList<QWidget*> inputs = {w.lengthField, w.countField,  w.fromField,
                                    w.toField,     w.folderField, w.waveformList};
    for (QWidget* input : inputs)
        QVERIFY(!input->accessibleName().isEmpty());
}

void TestForm1::keystrokesAreStoredOneByOne() {
    WindowFixture fixture;
    Form1& w = *fixture.window;
    w.formLoad();
    showActive(w);
    w.lengthField->setFocus();
    w.lengthField->clear();
    QCOMPARE(fixture.stored("Text1"), QString());
    QStringList seen;
    for (const char key : {'a', 'b', 'c'}) {
        QTest::keyClick(w.lengthField, key);
        seen << fixture.stored("Text1");
    }
    QCOMPARE(seen, (QStringList{"a", "ab", "abc"}));
    w.waveformList->setCurrentIndex(2);
    QCOMPARE(fixture.stored("Combo1"), QStringLiteral("2"));
}

void TestForm1::numericCheckOnLeave_data() {
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kept");
    QTest::newRow("empty count") << 2 << ""
                                 << "3";
    QTest::newRow("letters as length") << 1 << "abc"
                                       << "1";
    QTest::newRow("letters as lower bound") << 3 << "x1"
                                            << "200";
    QTest::newRow("letters as upper bound") << 4 << "1x"
                                            << "400";
    QTest::newRow("decimal count passes") << 2 << "2.5"
                                          << "2.5";
    QTest::newRow("decimal comma length passes") << 1 << "1,5"
                                                 << "1,5";
    QTest::newRow("negative bound passes") << 3 << "-100"
                                           << "-100";
    QTest::newRow("zero passes") << 4 << "0"
                                 << "0";
}

void TestForm1::numericCheckOnLeave() {
    QFETCH(int, field);
    QFETCH(QString, typed);
    QFETCH(QString, kept);
    WindowFixture fixture;
    Form1& w = *fixture.window;
    w.formLoad();
    showActive(w);
    FieldEdit* const fields[] = {w.lengthField, w.countField, w.fromField, w.toField};
    FieldEdit* edit = fields[field - 1];
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, typed);
    if (typed.isEmpty())
        QTest::keyClick(edit, Qt::Key_Backspace);
    w.folderField->setFocus(Qt::TabFocusReason);
    const bool refused = kept != typed;
    QCOMPARE(fixture.modals.notices, refused ? QStringList{numericNotice} : QStringList{});
    QCOMPARE(edit->text(), kept);
    QCOMPARE(fixture.stored(QStringLiteral("Text%1").arg(field)), kept);
}

void TestForm1::numericCheckShowsOneMessagePerLeave() {
    WindowFixture fixture;
    Form1& w = *fixture.window;
    w.formLoad();
    showActive(w);
    w.countField->setFocus();
    w.countField->setText(QStringLiteral("bad"));
    // While the box is up it holds the focus; that is no second leave.
    fixture.modals.whileNoticeShown = [&] {
        w.fromField->setText(QStringLiteral("also bad"));
        w.fromField->setFocus();
        w.countField->setFocus();
    };
    w.fromField->setFocus();
    QCOMPARE(fixture.modals.notices.size(), 1);
    fixture.modals.whileNoticeShown = nullptr;
    // The window losing its activation to another program is no leave either.
    w.fromField->setText(QStringLiteral("still bad"));
    w.fromField->setFocus();
    fixture.modals.notices.clear();
    QWidget other;
    showActive(other);
    QVERIFY(fixture.modals.notices.isEmpty());
}

void TestForm1::selectsAllOnEntry() {
    WindowFixture fixture;
    Form1& w = *fixture.window;
    w.formLoad();
    showActive(w);
    w.countField->setFocus();
    w.lengthField->setText(QStringLiteral("2.5"));
    w.lengthField->setFocus(Qt::TabFocusReason);
    QCOMPARE(w.lengthField->selectedText(), QStringLiteral("2.5"));
    QTest::mouseClick(w.folderField, Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(w.folderField->hasFocus());
    QCOMPARE(w.folderField->selectedText(), w.folderField->text());
    // A second click inside the field that has the focus places the cursor as usual.
    QTest::mouseClick(w.folderField, Qt::LeftButton, {}, QPoint(5, 5));
    QCOMPARE(w.folderField->selectedText(), QString());
}

void TestForm1::closingEndsProgram() {
    for (const bool byKey : {false, true}) {
        WindowFixture fixture;
        fixture.window->formLoad();
        showActive(*fixture.window);
        if (byKey)
            QTest::keyClick(fixture.window->windowHandle(), Qt::Key_Q, Qt::ControlModifier);
        else
            fixture.window->close();
        QCOMPARE(fixture.programEnds, 1);
    }
}

// Two windows on one settings file: a value saved again after the other window changed it is
// written, not taken for what the file already holds (a preset was once lost so).
void TestForm1::laterSaveWinsOverAnotherWindow() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Ziravel.conf"));
    RecordingModals modals;
    SettingsStore first(noticesTo(modals), file), second(noticesTo(modals), file);
    first.save(QStringLiteral("Presets/a/OptionFade"), QStringLiteral("20"));
    second.removeAll(QStringLiteral("Presets/"));
    first.save(QStringLiteral("Presets/a/OptionFade"), QStringLiteral("20"));
    QCOMPARE(SettingsStore(noticesTo(modals), file)
                 .value(QStringLiteral("Presets/a/OptionFade"), QString()),
             QStringLiteral("20"));
}

void TestForm1::refusedWriteIsToldOnce() {
    QTemporaryDir dir;
    QFile blocker(dir.filePath(QStringLiteral("blocked")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    // A file where the settings folder should be: nothing can be written under it.
    RecordingModals modals;
    SettingsStore store(noticesTo(modals),
                        blocker.fileName() + QStringLiteral("/Korvane/Ziravel.conf"));
    store.save(QStringLiteral("Text1"), QStringLiteral("2"));
    store.save(QStringLiteral("Text1"), QStringLiteral("3"));
    QCOMPARE(modals.notices.size(), 1);
    QVERIFY(modals.notices[0].startsWith(QStringLiteral("Settings cannot be saved to ")));
    QVERIFY(modals.notices[0].contains(blocker.fileName()));
}

void TestForm1::storeSurvivesKill() {
    QTemporaryDir config;
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    program.setProcessEnvironment(environment);
    program.start(QStringLiteral(ZIRAVEL_TYPE_AND_DIE), {QStringLiteral("7")});
    QVERIFY(program.waitForFinished(20000));
    QCOMPARE(program.exitStatus(), QProcess::CrashExit);
    QSettings stored(config.filePath(QStringLiteral("Korvane/Ziravel.conf")), QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("Text1")).toString(), QStringLiteral("17"));
}

// Two windows opened within one clock tick draw tones of their own.
QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
