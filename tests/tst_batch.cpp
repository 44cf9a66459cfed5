#include "ToneRun.h"
#include "app/OptionsPanel.h"
#include "synth/AnswerKey.h"
#include "synth/ToneCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <csignal>
#include <functional>
#include <pty.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

struct BatchResult {
    int exitStatus = -1;
    QString errors;
};

// Runs ziravel-batch with the arguments; its tool folder is the TEMP of the test.
BatchResult
runBatch(const QStringList& arguments, const std::function<void(QProcess&)>& whileRunning = {},
         const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess batch;
    batch.setProcessEnvironment(environment);
    batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments);
    if (!batch.waitForStarted())
        return {};
    if (whileRunning)
        whileRunning(batch);
    batch.waitForFinished(60000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromLocal8Bit(batch.readAllStandardError())};
}

QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every file of the folder, by name, with its bytes.
QMap<QString, QByteArray> folderContent(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(QDir::Files))
        files.insert(name, contentOf(QDir(folder).filePath(name)));
    return files;
}

// What the batch writes to its error output when that is a terminal.
QByteArray terminalOutput(const QStringList& arguments) {
    int terminal = -1;
    int side = -1;
    if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0)
        return "no terminal";
    QProcess batch;
    batch.setChildProcessModifier([side] { dup2(side, STDERR_FILENO); });
    batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments);
    batch.waitForFinished(60000);
    close(side);
    QByteArray written;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        written.append(buffer, got);
    close(terminal);
    return written;
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void sameFilesAsTheWindow_data();
    void sameFilesAsTheWindow();
    void seedAndJobs();
    void badInput_data();
    void badInput();
    void neverOverwriteNumbersOn();
    void stopSignalLeavesNoPartialFile();
    void fullDiskIsCounted();
    void sameReasonIsToldOnce();
    void progressOnlyOnATerminal();
    void helpAndVersion();
    void storedInputsOnlyWhenAsked();
};

void TestBatch::sameFilesAsTheWindow_data() {
    QTest::addColumn<bool>("mp3");
    QTest::addColumn<bool>("options");
    QTest::newRow("WAV") << false << false;
    QTest::newRow("MP3") << true << false;
    QTest::newRow("every option") << false << true;
}

// The window's batch and ziravel-batch, with the same values and the same seed.
void TestBatch::sameFilesAsTheWindow() {
    QFETCH(bool, mp3);
    QFETCH(bool, options);
    ToneRun run;
    Form1& w = run.w;
    w.text2->setText(QStringLiteral("4"));
    w.text3->setText(QStringLiteral("300"));
    w.text4->setText(QStringLiteral("2000"));
    w.combo1->setCurrentIndex(2);
    QStringList arguments{"--length", "0.25", "--count", "4",        "--from", "300",
                          "--to",     "2000", "--type",  "Triangle", "--seed", "77"};
    if (mp3)
        arguments << "--format"
                  << "mp3";
    if (options) {
        OptionsPanel& panel = *w.optionsPanel;
        panel.sampleRate->setCurrentIndex(1);
        panel.sampleSize->setCurrentIndex(2);
        panel.level->setValue(-6);
        panel.fade->setValue(20);
        panel.channel->setCurrentIndex(3);
        panel.pitchDraw->setCurrentIndex(2);
        panel.prefix->setText(QStringLiteral("ear_"));
        arguments << "--rate"
                  << "16000"
                  << "--sample-size"
                  << "24"
                  << "--level"
                  << "-6"
                  << "--fade"
                  << "20"
                  << "--channel"
                  << "both"
                  << "--pitch-draw"
                  << "notes"
                  << "--prefix"
                  << "ear_";
    }
    toneGenerator().seed(77);
    (mp3 ? w.pushButton2 : w.pushButton1)->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{"Done."});

    QTemporaryDir batchFolder;
    const BatchResult batch = runBatch(arguments << "--folder" << batchFolder.path());
    QCOMPARE(batch.errors, QString());
    QCOMPARE(batch.exitStatus, 0);
    const QMap<QString, QByteArray> fromWindow = folderContent(run.output);
    QCOMPARE(fromWindow.size(), 5);
    QCOMPARE(folderContent(batchFolder.path()), fromWindow);
}

// The same seed gives the same tones, however many runs go at once; another seed others.
void TestBatch::seedAndJobs() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folders;
    const auto made = [&](const QString& name, const QString& seed, const QString& jobs) {
        const QString folder = folders.filePath(name);
        QDir().mkpath(folder);
        const BatchResult batch =
            runBatch({"--count", "12", "--length", "0.1", "--from", "100", "--to", "3000", "--seed",
                      seed, "--jobs", jobs, "--folder", folder});
        // Piped, a batch that goes well says nothing.
        return batch.exitStatus == 0 && batch.errors.isEmpty() ? folderContent(folder)
                                                               : QMap<QString, QByteArray>();
    };
    const QMap<QString, QByteArray> oneAtATime = made(QStringLiteral("a"), "5", "1");
    QCOMPARE(oneAtATime.size(), 13);
    QCOMPARE(made(QStringLiteral("b"), "5", "4"), oneAtATime);
    QCOMPARE(made(QStringLiteral("c"), "5", "4"), oneAtATime);
    const QMap<QString, QByteArray> otherSeed = made(QStringLiteral("d"), "6", "4");
    QVERIFY(otherSeed.value(answerKeyFileName) != oneAtATime.value(answerKeyFileName));
}

void TestBatch::badInput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const QStringList& arguments, const char* message) {
        QTest::newRow(name) << arguments << QString::fromUtf8(message);
    };
    row("length no number", {"--length", "1; rm -rf ~"},
        "--length \"1; rm -rf ~\": not a positive number of seconds (one sample at least).");
    row("length zero", {"--length", "0"},
        "--length \"0\": not a positive number of seconds (one sample at least).");
    row("length below a sample", {"--length", "0.0001"},
        "--length \"0.0001\": not a positive number of seconds (one sample at least).");
    row("length negative", {"--length", "-1"},
        "--length \"-1\": not a positive number of seconds (one sample at least).");
    row("count zero", {"--count", "0"}, "--count \"0\": not a number of tones from 1 to 32767.");
    row("count too large", {"--count", "40000"},
        "--count \"40000\": not a number of tones from 1 to 32767.");
    row("bound no number", {"--from", "low"},
        "--from \"low\": not a frequency in Hz from 0 to 32767.");
    row("bound negative", {"--to", "-5"}, "--to \"-5\": not a frequency in Hz from 0 to 32767.");
    row("no note between bounds", {"--from", "450", "--to", "460", "--pitch-draw", "notes"},
        "--from \"450\": with --to \"460\": No note lies between the bounds.");
    row("unknown type", {"--type", "saw"},
        "--type \"saw\": not a waveform; one of sine, square, triangle, sawtooth, trapezium, exp, "
        "whitenoise, pinknoise, brownnoise.");
    row("missing folder", {"--folder", "/no/such/folder"},
        "--folder \"/no/such/folder\": no such folder.");
    row("unknown format", {"--format", "ogg"}, "--format \"ogg\": not one of wav, mp3.");
    row("level above 0", {"--level", "3"}, "--level \"3\": not a level in dBFS from -60 to 0.");
    row("prefix with a separator", {"--prefix", "../x"},
        "--prefix \"../x\": a prefix names a file in the folder: no separator, no control "
        "character, not \".\" or \"..\".");
    row("no jobs", {"--jobs", "0"}, "--jobs \"0\": not a number of runs at once from 1 to 256.");
    row("unknown option", {"--colour", "red"}, "Unknown option 'colour'.");
    row("argument without option", {"loud"}, "unexpected argument \"loud\".");
}

void TestBatch::badInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QStringList withFolder{"--folder", folder.path()};
    const BatchResult batch = runBatch(withFolder + arguments);
    QCOMPARE(batch.errors, QStringLiteral("ziravel-batch: ") + message + QLatin1Char('\n'));
    QCOMPARE(batch.exitStatus, 2);
    QVERIFY(QDir(folder.path()).isEmpty());
    // Nothing was made, not even the tool put in place.
    QVERIFY(!QFile::exists(tools.filePath(QStringLiteral("sox.exe"))));
}

void TestBatch::neverOverwriteNumbersOn() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count",           "2",        "--length",   "0.1",
                                "--never-overwrite", "--folder", folder.path()};
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}),
             (QStringList{"Ziravel_1.wav", "Ziravel_2.wav", "Ziravel_3.wav", "Ziravel_4.wav"}));
    const QStringList key = linesOf(folder.filePath(answerKeyFileName));
    QCOMPARE(key.size(), 5);
    QVERIFY(key[4].startsWith(QStringLiteral("Ziravel_4.wav,")));
}

void TestBatch::stopSignalLeavesNoPartialFile() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The third tone stops half written for longer than the test waits.
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_STALL"), QStringLiteral("_3.wav:20000"));
    const QString stalled = folder.filePath(QStringLiteral("Ziravel_3.wav"));
    QElapsedTimer timer;
    const BatchResult batch = runBatch(
        {"--count", "8", "--length", "1", "--jobs", "2", "--folder", folder.path()},
        [&](QProcess& process) {
            QVERIFY(TestSupport::waitForFile(stalled, 10000));
            timer.start();
            // Ours, and still running: the id cannot have gone to another process.
            QCOMPARE(process.state(), QProcess::Running);
            kill(pid_t(process.processId()), SIGINT);
        },
        environment);
    QCOMPARE(batch.exitStatus, 130);
    QVERIFY(timer.elapsed() < 5000);
    QVERIFY(batch.errors.endsWith(QStringLiteral(" tones were made.\n")));
    QVERIFY(!QFile::exists(stalled));
    const QStringList key = linesOf(folder.filePath(answerKeyFileName));
    QVERIFY(key.size() >= 4);
    for (const QString& row : key.mid(1)) {
        // A file for every tone the key says was made, a whole one, and none for the others.
        const QString file = folder.filePath(row.section(QLatin1Char(','), 0, 0));
        const bool made = row.endsWith(QLatin1String(",yes"));
        QCOMPARE(QFile::exists(file), made);
        if (made)
            QCOMPARE(QFileInfo(file).size(), 44 + 16000);
    }
    QVERIFY(key.filter(QStringLiteral("Ziravel_3.wav,")).first().endsWith(QStringLiteral(",no")));
}

// A file-size limit on the program and its tools stands for a disk that fills.
void TestBatch::fullDiskIsCounted() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QProcess batch;
    batch.setChildProcessModifier([] {
        constexpr rlim_t bytes = 20 * 1024;
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);
    });
    // Tool files are put in place first, where the limit cannot touch them.
    QVERIFY(runBatch({"--count", "1", "--length", "0.1", "--folder", folder.path()}).exitStatus ==
            0);
    QFile::remove(folder.filePath(QStringLiteral("Ziravel_1.wav")));
    // Two seconds at 8000 Hz are 32000 bytes of samples: more than the limit lets through.
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                {"--count", "3", "--length", "2", "--folder", folder.path()});
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 1);
    const QStringList errors =
        QString::fromLocal8Bit(batch.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.last(), QStringLiteral("3 of 3 tones could not be made."));
    QVERIFY(errors.first().startsWith(QStringLiteral("ziravel-batch: Ziravel_")));
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}), QStringList());
    const QStringList key = linesOf(folder.filePath(answerKeyFileName));
    QCOMPARE(key.size(), 4);
    QCOMPARE(key.filter(QRegularExpression(QStringLiteral(",no$"))).size(), 3);
}

void TestBatch::progressOnlyOnATerminal() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count", "4", "--length", "0.1", "--folder", folder.path()};
    const QByteArray shown = terminalOutput(arguments);
    QVERIFY2(shown.contains("\rtone 4 of 4, 0 failed, 0.0 s left"), shown.constData());
    // The line is cleared at the end, for the shell's prompt.
    QVERIFY2(shown.endsWith("\r\x1b[K"), shown.constData());
    QCOMPARE(terminalOutput(arguments + QStringList{"--quiet"}), QByteArray());
}

void TestBatch::sameReasonIsToldOnce() {
    const TestSupport::TemporaryToolFolder tools;
    // The stand-in refuses lengths over ten seconds with status 1 and no words.
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QTemporaryDir folder;
    const BatchResult batch =
        runBatch({"--count", "5", "--length", "11", "--jobs", "2", "--folder", folder.path()});
    QCOMPARE(batch.exitStatus, 1);
    const QStringList errors = batch.errors.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[0].endsWith(QStringLiteral("sox.exe ended with status 1.")));
    QCOMPARE(errors[1], QStringLiteral("5 of 5 tones could not be made."));
}

void TestBatch::helpAndVersion() {
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH), {"--help"});
    QVERIFY(batch.waitForFinished());
    QCOMPARE(batch.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(batch.readAllStandardOutput());
    for (const char* line : {"--length <seconds>",   "(default: 1)",
                             "--count <n>",          "(default: 3)",
                             "(default: 200)",       "(default: 400)",
                             "--type <type>",        "(default: sine)",
                             "--format <format>",    "(default: wav)",
                             "--rate <hz>",          "(default: 8000)",
                             "--sample-size <bits>", "--level <db>",
                             "--fade <ms>",          "--channel <channel>",
                             "(default: mono)",      "--pitch-draw <draw>",
                             "(default: hz)",        "--prefix <prefix>",
                             "(default: Ziravel_)",  "--never-overwrite",
                             "--from-settings",      "--seed <n>",
                             "--jobs <n>",           "--quiet"})
        QVERIFY2(help.contains(QLatin1String(line)), line);
    batch.start(QStringLiteral(ZIRAVEL_BATCH), {"--version"});
    QVERIFY(batch.waitForFinished());
    QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardOutput()),
             QStringLiteral("ziravel-batch " ZIRAVEL_VERSION "\n"));
}

void TestBatch::storedInputsOnlyWhenAsked() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir stored;
    QTemporaryDir given;
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QDir().mkpath(QFileInfo(file).path());
    {
        QFile settings(file);
        QVERIFY(settings.open(QIODevice::WriteOnly));
        settings.write("[General]\nCombo1=1\nText1=0.2\nText2=2\nText3=500\nText4=500\nText5=" +
                       stored.path().toUtf8() + "\nOptionPrefix=kept_\n");
    }
    const QByteArray before = contentOf(file);
    const QDateTime changed = QFileInfo(file).lastModified();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());

    QCOMPARE(runBatch({"--length", "0.1", "--folder", given.path()}, {}, environment).exitStatus,
             0);
    QCOMPARE(QDir(given.path()).entryList({QStringLiteral("*.wav")}).size(), 3);
    QCOMPARE(runBatch({"--from-settings"}, {}, environment).exitStatus, 0);
    QCOMPARE(QDir(stored.path()).entryList(QDir::Files),
             (QStringList{"kept_1.wav", "kept_2.wav", "Ziravel_tones.csv"}));
    QVERIFY(linesOf(stored.filePath(answerKeyFileName))
                .at(1)
                .startsWith(QStringLiteral("kept_1.wav,500,B4,+21,Square,0.2,")));
    // An option given wins over the stored value; the file is never written.
    QCOMPARE(
        runBatch({"--from-settings", "--count", "1", "--folder", given.path(), "--prefix", "new_"},
                 {}, environment)
            .exitStatus,
        0);
    QVERIFY(QFile::exists(given.filePath(QStringLiteral("new_1.wav"))));
    QCOMPARE(contentOf(file), before);
    QCOMPARE(QFileInfo(file).lastModified(), changed);
}

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
