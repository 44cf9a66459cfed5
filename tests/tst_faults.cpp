// SPDX-License-Identifier: GPL-3.0-or-later
#include "SmallDisk.h"
#include "ToneRun.h"
#include "app/options/OptionsPanel.h"
#include "app/set/ListenPanel.h"
#include "runner/FileProbes.h"
#include "runner/RunLock.h"

#include <QComboBox>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include <csignal>
#include <sys/resource.h>

namespace {

// The final message of a batch with failed tones, and the first reason given.
QString failedTones(int failed, int count, const QString& reason) {
    return QStringLiteral("Done.\r\n%1 of %2 tones could not be made.\r\n%3")
        .arg(failed)
        .arg(count)
        .arg(reason);
}

const QString noTone =
    QStringLiteral("Failed to generate tone.\r\nPlease change your input values.");

// Files written from now on, by us or by our children, may hold at most `bytes`.
class FileSizeLimit {
public:
    static FileSizeLimit ofBytes(rlim_t bytes) { return FileSizeLimit(bytes); }
    explicit FileSizeLimit(rlim_t bytes) : m_bytes(bytes) {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool inEffect() const {
        rlimit now{};
        return getrlimit(RLIMIT_FSIZE, &now) == 0 && now.rlim_cur == m_bytes;
    }

private:
    rlim_t m_bytes;
    rlimit m_saved{};
    void (*m_previousHandler)(int) = nullptr;
};

} // namespace

class TestFaults : public QObject {
    Q_OBJECT

private slots:
    void toolFolderCannotBeWritten();
    void outputFolderDisappears();
    void diskFillsDuringTone();
    void soxCannotRun();
    void fullDiskLeavesNoTone_data();
    void fullDiskLeavesNoTone();
    void silentToneIsNotMade();
    void setOwnedByAnotherRun_data();
    void setOwnedByAnotherRun();
    void outputLinkedToDevice_data();
    void outputLinkedToDevice();
    void audioOutputMissing();
    void closingStopsTheToneUnderWay_data();
    void closingStopsTheToneUnderWay();
    void settingsOnAFullDisk();
    void damagedSettings_data();
    void damagedSettings();
    void settingsThatCannotBeSaved();
    void settingsPastWhatAStartReads();
};

void TestFaults::toolFolderCannotBeWritten() {
    ToneRun run;
    QFile blocker(run.tools.filePath(QStringLiteral("blocker")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    qputenv("TEMP", (blocker.fileName() + QStringLiteral("/tools")).toLocal8Bit());
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.reportLines(), (QList<int>{112, 118}));
    QVERIFY(run.fixture.modals.reports[0].description.contains(QStringLiteral("sox.exe")));
    const QString tool = blocker.fileName() + QStringLiteral("/tools/sox.exe");
    QCOMPARE(run.fixture.modals.notices,
             QStringList{failedTones(
                 2, 2, tool + QStringLiteral(" could not be started: Not a directory"))});
    run.checkIdle();
    // Once the folder can be written, the next click works.
    qputenv("TEMP", run.tools.path().toLocal8Bit());
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices.last(), QStringLiteral("Done."));
    QCOMPARE(run.outputFiles().size(), 2);
}

void TestFaults::outputFolderDisappears() {
    ToneRun run;
    run.useFakeTool(150);
    run.w.countField->setText(QStringLiteral("3"));
    // Gone while the second tone is being made.
    run.whenToolRunStarts(2, [&] { QDir(run.output).removeRecursively(); });
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{failedTones(2, 3,
                                     run.output + QStringLiteral("/Ziravel_2.wav does not "
                                                                 "hold the whole tone."))});
    run.checkIdle();
    QDir().mkpath(run.output);
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices.last(), QStringLiteral("Done."));
}

void TestFaults::diskFillsDuringTone() {
    ToneRun run;
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click(); // puts the tool in place before space runs out
    // The set's list is read beside the window: done before its files go.
    QTRY_COMPARE(run.w.listenPanel()->rowCount(), 1);
    QDir(run.output).removeRecursively();
    QDir().mkpath(run.output);
    run.fixture.modals.notices.clear();

    run.w.lengthField->setText(QStringLiteral("2"));
    run.w.countField->setText(QStringLiteral("2"));
    {
        // Two seconds of tone take 64 KB; SoX itself still says it succeeded.
        const FileSizeLimit limit(20 * 1024);
        QVERIFY(limit.inEffect());
        run.w.pushButton1->click();
        run.w.pushButton3->click();
    }
    QCOMPARE(run.fixture.modals.notices,
             (QStringList{failedTones(2, 2,
                                      QStringLiteral("sox FAIL sox: `%1/Ziravel_1.wav' error "
                                                     "writing output file: File too large")
                                          .arg(run.output)),
                          noTone}));
    QVERIFY(run.outputFiles().isEmpty());
    QVERIFY(!QFile::exists(run.tools.filePath(QStringLiteral("preview.wav"))));
    run.checkIdle();
}

void TestFaults::soxCannotRun() {
    ToneRun run;
    run.tools.installTool(QStringLiteral(ZIRAVEL_NEEDS_MISSING_LIB));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    run.w.pushButton3->click();
    QCOMPARE(run.fixture.modals.notices,
             (QStringList{failedTones(1, 1,
                                      QStringLiteral("sox: error while loading shared libraries: "
                                                     "libvanishing.so: cannot open shared object "
                                                     "file: No such file or directory")),
                          noTone}));
    QVERIFY(run.fixture.modals.reports.isEmpty());
    run.checkIdle();
}

void TestFaults::fullDiskLeavesNoTone_data() {
    QTest::addColumn<QString>("length");
    QTest::addColumn<int>("mp3");
    QTest::addColumn<QString>("reason");
    // SoX exits 0 in both cases: only the file tells. The hour-long length is never given
    // to SoX itself: a stand-in writes a second of it, as SoX does into a full disk.
    QTest::newRow("wav cut short")
        << "3600" << 0 << "%1/Ziravel_1.wav does not hold the whole tone.";
    QTest::newRow("mp3 cut short") << "5" << 1
                                   << "sox FAIL sox: `%1/Ziravel_1.mp3' File write failed: "
                                      "Unknown error -1";
}

void TestFaults::fullDiskLeavesNoTone() {
    QFETCH(QString, length);
    QFETCH(int, mp3);
    QFETCH(QString, reason);
    ToneRun run;
    run.w.countField->setText(QStringLiteral("1"));
    run.w.lengthField->setText(length);
    if (mp3) {
        run.w.pushButton3->click(); // puts the tool in place before space runs out
        run.fixture.modals.notices.clear();
        // Five seconds of MP3 take 5 KB.
        const FileSizeLimit full = FileSizeLimit::ofBytes(2048);
        QVERIFY(full.inEffect());
        run.w.pushButton2->click();
    } else {
        run.useFakeTool(0);
        qputenv("ZIRAVEL_FAKE_SOX_CUT", "16000");
        run.w.pushButton1->click();
        qunsetenv("ZIRAVEL_FAKE_SOX_CUT");
    }
    QCOMPARE(run.fixture.modals.notices, QStringList{failedTones(1, 1, reason.arg(run.output))});
    QVERIFY(run.outputFiles().isEmpty());
}

// A tool that ends well with a whole file of silence has not made the tone.
void TestFaults::silentToneIsNotMade() {
    ToneRun run;
    run.useFakeTool(0);
    qputenv("ZIRAVEL_FAKE_SOX_SILENT", "1");
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    qunsetenv("ZIRAVEL_FAKE_SOX_SILENT");
    QCOMPARE(
        run.fixture.modals.notices,
        QStringList{failedTones(1, 1, run.output + QStringLiteral("/Ziravel_1.wav is silent."))});
    QVERIFY(run.outputFiles().isEmpty());
}

void TestFaults::setOwnedByAnotherRun_data() {
    QTest::addColumn<bool>("neverOverwrites");
    QTest::newRow("a run that overwrites") << false;
    // Such runs share the lock among themselves, never with one that may overwrite.
    QTest::newRow("a run that never overwrites") << true;
}

// Another run is making the set's files: the window makes none and writes no key.
void TestFaults::setOwnedByAnotherRun() {
    QFETCH(bool, neverOverwrites);
    ToneRun run;
    const RunLock other(run.output + QStringLiteral("/.Ziravel_tones.csv.lock"), neverOverwrites,
                        QStringLiteral("ziravel-batch, process 1"));
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{failedTones(2, 2,
                                     QStringLiteral("Another run is making this set's files: "
                                                    "ziravel-batch, process 1."))});
    QVERIFY(run.outputFiles().isEmpty());
    QVERIFY(!QFile::exists(run.output + QStringLiteral("/Ziravel_tones.csv")));
    run.checkIdle();
}

void TestFaults::outputLinkedToDevice_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("device");
    QTest::newRow("wav to the null device") << "Ziravel_1.wav"
                                            << "/dev/null";
    QTest::newRow("mp3 to the null device") << "Ziravel_1.mp3"
                                            << "/dev/null";
    QTest::newRow("mp3 to the full device") << "Ziravel_1.mp3"
                                            << "/dev/full";
}

void TestFaults::outputLinkedToDevice() {
    QFETCH(QString, name);
    QFETCH(QString, device);
    ToneRun run;
    QVERIFY(QFile::link(device, run.output + QLatin1Char('/') + name));
    run.w.countField->setText(QStringLiteral("1"));
    (name.endsWith(QStringLiteral(".mp3")) ? run.w.pushButton2 : run.w.pushButton1)->click();
    QVERIFY(run.fixture.modals.notices.value(0).startsWith(
        QStringLiteral("Done.\r\n1 of 1 tones could not be made.\r\n")));
}

void TestFaults::audioOutputMissing() {
    ToneRun run;
    run.fixture.sound.outputAvailable = false;
    run.w.pushButton3->click();
    // Not a fault: the progress line says so, and the next action clears it.
    QVERIFY(run.fixture.modals.reports.isEmpty());
    QVERIFY(run.fixture.modals.notices.isEmpty());
    QVERIFY(!run.w.statusLine->isHidden());
    QCOMPARE(run.w.statusLine->text(),
             QStringLiteral("No audio output: the tone was made but cannot be played."));
    run.checkIdle();
    run.fixture.sound.outputAvailable = true;
    run.w.pushButton3->click();
    QVERIFY(run.w.statusLine->text().startsWith(QStringLiteral("Played ")));
}

void TestFaults::closingStopsTheToneUnderWay_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("closed") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGHUP") << int(SIGHUP);
    QTest::newRow("SIGINT") << int(SIGINT);
}

void TestFaults::closingStopsTheToneUnderWay() {
    QFETCH(int, signal);
    ToneRun run;
    run.useFakeTool(0);
    // An earlier batch's key, which must not pass for this one's.
    const QString key = run.output + QStringLiteral("/Ziravel_tones.csv");
    {
        QFile earlier(key);
        QVERIFY(earlier.open(QIODevice::WriteOnly));
        earlier.write("file,frequency_hz\nZiravel_1.wav,1234\n");
    }
    // The second tone stops half written for longer than the test waits.
    qputenv("ZIRAVEL_FAKE_SOX_STALL", "Ziravel_2:2500");
    QProcess program;
    program.start(QStringLiteral(ZIRAVEL_CLOSE_DURING_BATCH),
                  {run.output + QLatin1Char('/'), QStringLiteral("700"), QString::number(signal)});
    const bool ended = program.waitForFinished(10000);
    qunsetenv("ZIRAVEL_FAKE_SOX_STALL");
    QVERIFY(ended);
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QCOMPARE(run.outputFiles(), QStringList{"Ziravel_1.wav"});
    // The key tells the tones tried, as Stop writes it.
    const QStringList rows = linesOf(key);
    QCOMPARE(rows.size(), 3);
    QVERIFY(rows[1].startsWith(QStringLiteral("Ziravel_1.wav,")) &&
            madeColumn(rows[1]) == QLatin1String("yes"));
    QVERIFY(rows[2].startsWith(QStringLiteral("Ziravel_2.wav,")) &&
            madeColumn(rows[2]) == QLatin1String("no"));
    // Nothing is left where the tones were made: a child left running could only write there.
    QCOMPARE(QDir(run.output).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// The settings file on a disk with no block left: the last good file stays, and the user
// hears of it once.
void TestFaults::settingsOnAFullDisk() {
    const TestSupport::SmallDisk disk(64);
    if (!disk.mounted())
        QSKIP("only root can mount a small disk");
    const QString file = disk.filePath(QStringLiteral("Ziravel.conf"));
    RecordingModals modals;
    SettingsStore store(noticesTo(modals), file);
    store.save(QStringLiteral("Text1"), QStringLiteral("2"));
    const QByteArray before = readRegularFile(file, 4096);
    disk.fill();
    store.save(QStringLiteral("Text1"), QStringLiteral("23"));
    store.save(QStringLiteral("Text2"), QStringLiteral("4"));
    QCOMPARE(readRegularFile(file, 4096), before);
    QCOMPARE(modals.notices.size(), 1);
    QVERIFY(modals.notices[0].startsWith(QStringLiteral("Settings cannot be saved to ") + file));
}

void TestFaults::damagedSettings_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("text3");
    QByteArray garbage(4096, '\0');
    for (int i = 0; i < garbage.size(); ++i)
        garbage[i] = char((i * 7919 + 13) % 256);
    QTest::newRow("garbage bytes") << garbage << "200";
    QTest::newRow("invalid UTF-8")
        << QByteArray("[General]\nText1=\xff\xfe\xc3(\nText3=300\nCombo1=\xc0\x80\n") << "300";
    QTest::newRow("value of nearly 1 MB")
        << "[General]\nText3=300\nText1=" + QByteArray((1 << 20) - 100, '7') + "\n"
        << "300";
    QTest::newRow("half a line") << QByteArray("[General]\nText3=300\nText4=\"50") << "300";
}

void TestFaults::damagedSettings() {
    QFETCH(QByteArray, content);
    QFETCH(QString, text3);
    WindowFixture fixture;
    QDir().mkpath(QFileInfo(fixture.settingsFile()).path());
    QFile file(fixture.settingsFile());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    fixture.window->formLoad();
    QCOMPARE(fixture.window->fromField->text(), text3);
    QVERIFY(!fixture.window->folderField->text().isEmpty());
    QVERIFY(fixture.modals.notices.isEmpty());
    // The store keeps working: what is typed now is what the file holds.
    fixture.window->countField->setText(QStringLiteral("4"));
    QSettings reread(fixture.settingsFile(), QSettings::IniFormat);
    QCOMPARE(reread.status(), QSettings::NoError);
    QCOMPARE(reread.value(QStringLiteral("Text2")).toString(), QStringLiteral("4"));
    QCOMPARE(reread.value(QStringLiteral("Text1")).toString(), fixture.window->lengthField->text());
}

void TestFaults::settingsThatCannotBeSaved() {
    WindowFixture fixture;
    // A file where the settings folder should be: nothing can be written under it.
    const QString blocker = fixture.folder() + QStringLiteral("/Korvane");
    QFile file(blocker);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    fixture.window->formLoad();
    fixture.window->lengthField->setText(QStringLiteral("2"));
    fixture.window->lengthField->setText(QStringLiteral("3"));
    QCOMPARE(fixture.modals.notices.size(), 1);
    QVERIFY(fixture.modals.notices[0].contains(fixture.settingsFile()));
    QCOMPARE(fixture.window->countField->text(), QStringLiteral("3"));
    QCOMPARE(fixture.window->waveformList->currentIndex(), 0);
}

// A list pasted whole is kept whole, and one that would make the settings file larger than a
// start reads is refused and told: what was stored stays readable.
void TestFaults::settingsPastWhatAStartReads() {
    ToneRun run;
    OptionsPanel& options = *run.w.optionsPanel;
    options.prefix->setText(QStringLiteral("Kept_"));
    const QString longList = QStringList(8000, QStringLiteral("1000")).join(QLatin1Char(','));
    options.pitchList->setText(longList);
    QCOMPARE(options.pitchList->text(), longList);
    QVERIFY(run.fixture.modals.notices.isEmpty());
    options.pitchList->setText(QString(largestSettingsFile, QLatin1Char('1')));
    QCOMPARE(run.fixture.modals.notices.size(), 1);
    QVERIFY2(run.fixture.modals.notices[0].contains(
                 QStringLiteral("they would pass the 1048576 bytes a settings file may hold")),
             qPrintable(run.fixture.modals.notices[0]));
    QVERIFY(QFileInfo(run.fixture.settingsFile()).size() <= largestSettingsFile);
    QVERIFY(TestSupport::contentOf(run.fixture.settingsFile()).contains("Kept_"));
}

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
