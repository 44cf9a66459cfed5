// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRun.h"
#include "SmallDisk.h"
#include "SoundFiles.h"
#include "Spectrum.h"
#include "ToneRun.h"
#include "app/options/OptionsPanel.h"
#include "making/libsox/LibsoxTone.h"
#include "set/AnswerKey.h"
#include "tone/ToneCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pty.h>
#include <random>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// ziravel-batch: its runs: stops, kills, full disks, locks and names held by others.
class TestBatchRuns : public QObject {
    Q_OBJECT

private slots:
    void neverOverwriteNumbersOn();
    void stopSignalLeavesNoPartialFile_data();
    void stopSignalLeavesNoPartialFile();
    void stopEndsTonesUnderWay();
    void fullDiskIsCounted();
    void sameReasonIsToldOnce();
    void keyIsNeverWrittenThrough_data();
    void keyIsNeverWrittenThrough();
    void toneNameHeldByAnotherIsLeftAlone_data();
    void toneNameHeldByAnotherIsLeftAlone();
    void fullDiskKeepsTheKey_data();
    void fullDiskKeepsTheKey();
    void runsAtOnceNeverShareAFile();
    void killedRunLeavesATrueKey();
    void killedRunLeavesNoFileUnlisted();
    void killedRunsPrivateFoldersGo();
    void secondRunIsRefused();
    void neverOverwriteKeepsEveryRun();
    void stopWhileTheKeyIsLocked();
    void stalledToneIsNamed();
    void killedRunsReservationsGo();
    void safeWriterSyncsBeforeItRenames();
    void fullTemporaryFolderKeepsTheKey();
    void refusedToolFolderRunsNothing();
    void jobsBeyondTheDescriptorLimit();
};

void TestBatchRuns::neverOverwriteNumbersOn() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count",           "2",        "--length",   "0.1",
                                "--never-overwrite", "--folder", folder.path()};
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    // A key whose last line lost its end, as an editor may leave it.
    const QString keyFile = folder.filePath(answerKeyFileName);
    QVERIFY(QFile::resize(keyFile, QFileInfo(keyFile).size() - 1));
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}),
             (QStringList{"Ziravel_1.wav", "Ziravel_2.wav", "Ziravel_3.wav", "Ziravel_4.wav"}));
    const QStringList key = linesOf(keyFile);
    QCOMPARE(key.size(), 5);
    QVERIFY(madeColumn(key[2]) == QLatin1String("yes"));
    QVERIFY(key[3].startsWith(QStringLiteral("Ziravel_3.wav,")));
    QVERIFY(key[4].startsWith(QStringLiteral("Ziravel_4.wav,")));
}

void TestBatchRuns::stopSignalLeavesNoPartialFile_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestBatchRuns::stopSignalLeavesNoPartialFile() {
    QFETCH(int, signal);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // The third tone stops half written for longer than the test waits.
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_STALL"), QStringLiteral("_3.wav:20000"));
    const QString stalled = folder.filePath(QStringLiteral("Ziravel_3.wav"));
    const BatchResult batch = runBatch(
        {"--count", "8", "--length", "1", "--jobs", "2", "--folder", folder.path(), "--engine",
         "process"},
        [&](QProcess& process) {
            QVERIFY(TestSupport::waitForToneBeingMade(folder.path(),
                                                      QStringLiteral("Ziravel_3.wav"), 10000));
            // Ours, and still running: the id cannot have gone to another process.
            QCOMPARE(process.state(), QProcess::Running);
            kill(pid_t(process.processId()), signal);
        },
        environment);
    QCOMPARE(batch.exitStatus, 130);
    // Woken at once: a stall that ran out would have made the tone whole.
    QVERIFY(batch.errors.endsWith(QStringLiteral(" tones were made.\n")));
    QVERIFY(!QFile::exists(stalled));
    const QStringList key = linesOf(folder.filePath(answerKeyFileName));
    QVERIFY(key.size() >= 4);
    for (const QString& row : key.mid(1)) {
        // A file for every tone the key says was made, a whole one, and none for the others.
        const QString file = folder.filePath(keyField(row, "file"));
        const bool made = madeColumn(row) == QLatin1String("yes");
        QCOMPARE(QFile::exists(file), made);
        if (made)
            QCOMPARE(QFileInfo(file).size(), 44 + 16000);
    }
    QVERIFY(madeColumn(key.filter(QStringLiteral("Ziravel_3.wav,")).first()) ==
            QLatin1String("no"));
    // Nothing is left where the tones were made.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

// Hour-long tones: only the stop ends them, at once, and the links at their names stay.
void TestBatchRuns::stopEndsTonesUnderWay() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "0.1", "--folder", folder.path()}).exitStatus,
             0);
    for (const char* name : {"Ziravel_1.wav", "Ziravel_2.wav"}) {
        QFile::remove(folder.filePath(QLatin1String(name)));
        QVERIFY(QFile::link(QStringLiteral("/dev/null"), folder.filePath(QLatin1String(name))));
    }
    const BatchResult batch =
        runBatch({"--count", "2", "--length", "3600", "--jobs", "2", "--folder", folder.path()},
                 [&](QProcess& process) {
                     QVERIFY(TestSupport::waitForToneBeingMade(
                         folder.path(), QStringLiteral("Ziravel_1.wav"), 10000));
                     // Ours, and still running: the id cannot have gone to another process.
                     QCOMPARE(process.state(), QProcess::Running);
                     kill(pid_t(process.processId()), SIGINT);
                 });
    QCOMPARE(batch.exitStatus, 130);
    QVERIFY2(batch.errors.endsWith(QStringLiteral("Stopped. 0 of 2 tones were made.\n")),
             qPrintable(batch.errors));
    QVERIFY(QFileInfo(folder.filePath(QStringLiteral("Ziravel_2.wav"))).isSymLink());
}

// A file-size limit on the program and its tools stands for a disk that fills.
void TestBatchRuns::fullDiskIsCounted() {
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
    batch.start(QStringLiteral(ZIRAVEL_BATCH), withEngine({"--count", "3", "--length", "2",
                                                           "--folder", folder.path(), "--quiet"}));
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.exitCode(), 1);
    const QStringList errors =
        QString::fromLocal8Bit(batch.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.last(), QStringLiteral("3 of 3 tones could not be made."));
    QVERIFY(errors.first().startsWith(QStringLiteral("ziravel-batch: Ziravel_")));
    // SoX names the file in its words: the same reason all the same.
    QCOMPARE(errors.size(), 2);
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}), QStringList());
    const QStringList key = linesOf(folder.filePath(answerKeyFileName));
    QCOMPARE(key.size(), 4);
    QCOMPARE(
        std::count_if(key.begin() + 1, key.end(),
                      [](const QString& row) { return madeColumn(row) == QLatin1String("no"); }),
        3);
}

void TestBatchRuns::sameReasonIsToldOnce() {
    const TestSupport::TemporaryToolFolder tools;
    // The stand-in refuses lengths over ten seconds with status 1 and no words.
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QTemporaryDir folder;
    const BatchResult batch = runBatch({"--count", "5", "--length", "11", "--jobs", "2", "--folder",
                                        folder.path(), "--engine", "process"});
    QCOMPARE(batch.exitStatus, 1);
    const QStringList errors = batch.errors.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(errors.size(), 2);
    QVERIFY(errors[0].endsWith(QStringLiteral("sox.exe ended with status 1.")));
    QCOMPARE(errors[1], QStringLiteral("5 of 5 tones could not be made."));
}

void TestBatchRuns::keyIsNeverWrittenThrough_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("neverOverwrite");
    QTest::newRow("link to a file, replaced") << "link" << false;
    QTest::newRow("link to a file, added to") << "link" << true;
    QTest::newRow("pipe, added to") << "fifo" << true;
    QTest::newRow("link to an endless device, added to") << "zero" << true;
}

// Another user plants the key's name in a folder that all may write.
void TestBatchRuns::keyIsNeverWrittenThrough() {
    QFETCH(QString, kind);
    QFETCH(bool, neverOverwrite);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir shared;
    QVERIFY(chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    QTemporaryDir home;
    const QString victim = home.filePath(QStringLiteral("victim.conf"));
    {
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("precious\n");
    }
    const QString key = shared.filePath(answerKeyFileName);
    const QByteArray planted = QFile::encodeName(key);
    if (kind == QLatin1String("fifo"))
        QVERIFY(mkfifo(planted.constData(), 0666) == 0);
    else
        QVERIFY(symlink(kind == QLatin1String("zero") ? "/dev/zero"
                                                      : QFile::encodeName(victim).constData(),
                        planted.constData()) == 0);
    if (geteuid() == 0)
        QVERIFY(lchown(planted.constData(), 65534, 65534) == 0);
    QStringList arguments{"--count", "2", "--length", "0.1", "--folder", shared.path()};
    if (neverOverwrite)
        arguments << "--never-overwrite";
    // A pipe that blocked the batch would leave it running past runBatch's wait.
    const BatchResult batch = runBatch(arguments);
    QCOMPARE(batch.exitStatus, 1);
    QVERIFY2(batch.errors.contains(QStringLiteral("The answer key ")), qPrintable(batch.errors));
    QCOMPARE(contentOf(victim), QByteArray("precious\n"));
    QCOMPARE(QFileInfo(key).isSymLink(), kind != QLatin1String("fifo"));
    // Found before the first tone: no tone is made that no key would tell.
    QVERIFY(QDir(shared.path()).entryList({QStringLiteral("*.wav")}).isEmpty());
}

void TestBatchRuns::toneNameHeldByAnotherIsLeftAlone_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("link to a file") << "link"
                                    << "it is a link, which is never written through";
    QTest::newRow("pipe") << "fifo"
                          << "it is not an ordinary file";
    QTest::newRow("folder") << "folder"
                            << "a folder is in its place";
    QTest::newRow("another user's file") << "foreign"
                                         << "it belongs to another user";
}

// Another user plants the first tone's name in a folder that all may write: that tone is not
// made and nothing is written there; the next one is made.
void TestBatchRuns::toneNameHeldByAnotherIsLeftAlone() {
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    if (kind == QLatin1String("foreign") && geteuid() != 0)
        QSKIP("only root can make a file that belongs to another user");
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir shared;
    QVERIFY(chmod(QFile::encodeName(shared.path()).constData(), 01777) == 0);
    QTemporaryDir home;
    const QString victim = home.filePath(QStringLiteral("victim.txt"));
    TestSupport::writeFile(victim, "precious\n");
    const QString first = shared.filePath(QStringLiteral("Ziravel_1.wav"));
    const QByteArray planted = QFile::encodeName(first);
    if (kind == QLatin1String("fifo"))
        QVERIFY(mkfifo(planted.constData(), 0666) == 0);
    else if (kind == QLatin1String("folder"))
        QVERIFY(QDir().mkdir(first));
    else if (kind == QLatin1String("foreign"))
        TestSupport::writeFile(first, "precious\n");
    else
        QVERIFY(symlink(QFile::encodeName(victim).constData(), planted.constData()) == 0);
    if (geteuid() == 0)
        QVERIFY(lchown(planted.constData(), 65534, 65534) == 0);
    const BatchResult batch =
        runBatch({"--count", "2", "--length", "0.1", "--folder", shared.path()});
    QCOMPARE(batch.exitStatus, 1);
    QVERIFY2(batch.errors.contains(QStringLiteral("Ziravel_1.wav was left as it was: ") + reason),
             qPrintable(batch.errors));
    QCOMPARE(contentOf(victim), QByteArray("precious\n"));
    if (kind == QLatin1String("foreign"))
        QCOMPARE(contentOf(first), QByteArray("precious\n"));
    QCOMPARE(QFileInfo(first).isSymLink(), kind == QLatin1String("link"));
    const QStringList key = linesOf(shared.filePath(answerKeyFileName));
    QCOMPARE(key.size(), 3);
    QCOMPARE(madeColumn(key[1]), QStringLiteral("no"));
    QCOMPARE(madeColumn(key[2]), QStringLiteral("yes"));
    QVERIFY(
        TestSupport::soundInfo(shared.filePath(QStringLiteral("Ziravel_2.wav")), 'D').toDouble() >
        0.09);
}

void TestBatchRuns::fullDiskKeepsTheKey_data() {
    QTest::addColumn<bool>("neverOverwrite");
    QTest::newRow("replaced") << false;
    QTest::newRow("added to") << true;
}

void TestBatchRuns::fullDiskKeepsTheKey() {
    QFETCH(bool, neverOverwrite);
    const TestSupport::TemporaryToolFolder tools;
    // The tool is put in place first, on a disk with room.
    QTemporaryDir roomy;
    QCOMPARE(runBatch({"--count", "1", "--length", "0.1", "--folder", roomy.path()}).exitStatus, 0);
    const TestSupport::SmallDisk disk(256);
    if (!disk.mounted())
        QSKIP("only root can mount a small disk");
    // A key that fills its last block: any row more needs a block the disk no longer has.
    QByteArray earlier = "file,frequency_hz,note,cents,waveform,length_s,sample_rate_hz,"
                         "level_dbfs,made\n";
    while (earlier.size() < 4096)
        earlier += "Ziravel_1.wav,300,D4,+16,Sine (Default),0.1,8000,0,yes\n";
    earlier.truncate(4095);
    earlier += '\n';
    {
        QFile file(disk.filePath(answerKeyFileName));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(earlier);
    }
    disk.fill();
    QStringList arguments{"--count", "1", "--length", "0.1", "--folder", disk.filePath({})};
    if (neverOverwrite)
        arguments << "--never-overwrite";
    const BatchResult batch = runBatch(arguments);
    QCOMPARE(batch.exitStatus, 1);
    QVERIFY2(batch.errors.contains(QStringLiteral("The answer key ")), qPrintable(batch.errors));
    QCOMPARE(contentOf(disk.filePath(answerKeyFileName)), earlier);
}

// Four batches into one folder: every tone gets a file of its own and a row of its own.
void TestBatchRuns::runsAtOnceNeverShareAFile() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "0.05", "--folder", folder.path(),
                       "--never-overwrite"})
                 .exitStatus,
             0);
    std::vector<std::unique_ptr<QProcess>> batches;
    for (int run = 0; run < 4; ++run) {
        batches.push_back(std::make_unique<QProcess>());
        batches.back()->start(QStringLiteral(ZIRAVEL_BATCH),
                              withEngine({"--count", "50", "--length", "0.05", "--jobs", "2",
                                          "--folder", folder.path(), "--never-overwrite"}));
    }
    for (const auto& batch : batches) {
        QVERIFY(batch->waitForFinished(60000));
        QCOMPARE(batch->exitCode(), 0);
    }
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}).size(), 201);
    const QStringList rows = linesOf(folder.filePath(answerKeyFileName)).mid(1);
    QCOMPARE(rows.size(), 201);
    QSet<QString> names;
    for (const QString& row : rows) {
        names.insert(keyField(row, "file"));
        QVERIFY2(madeColumn(row) == QLatin1String("yes"), qPrintable(row));
    }
    QCOMPARE(names.size(), 201);
}

// A run killed half way over an earlier set: every row of the key is this run's and true of
// its file, and at most the tone under way is made without a row.
// Tones that end while an earlier one is still being made wait for its row before their files
// take their names: a run killed then leaves no tone file that its key does not list.
void TestBatchRuns::killedRunLeavesNoFileUnlisted() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("runs.log"));
    QProcessEnvironment environment = slowFakeTool(tools, 0, log);
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_STALL"),
                       QStringLiteral("Ziravel_1.:20000"));
    runBatch(
        {"--count", "40", "--length", "0.1", "--jobs", "4", "--never-overwrite", "--folder",
         folder.path(), "--engine", "process"},
        [&](QProcess& batch) {
            QVERIFY(waitFor([&] { return linesOf(log).size() >= 12; }));
            // Ours, and still running: the id cannot have gone to another process.
            QCOMPARE(batch.state(), QProcess::Running);
            kill(pid_t(batch.processId()), SIGKILL);
        },
        environment);
    const QStringList listed =
        keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("file"));
    for (const QFileInfo& file :
         QDir(folder.path()).entryInfoList({QStringLiteral("Ziravel_*.wav")}, QDir::Files))
        QVERIFY2(file.size() == 0 || listed.contains(file.fileName()), qPrintable(file.fileName()));
}

// A run that owns a set removes the private folders that killed runs left in its folder, and
// leaves those of runs still alive alone.
void TestBatchRuns::killedRunsPrivateFoldersGo() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const auto privateFolders = [&] {
        return QDir(folder.path())
            .entryList({QStringLiteral(".ziravel-*")}, QDir::Dirs | QDir::Hidden);
    };
    const QStringList set{"--count",  "40", "--length", "0.1",         "--jobs",   "1",
                          "--prefix", "a_", "--folder", folder.path(), "--engine", "process"};
    runBatch(
        set,
        [&](QProcess& batch) {
            QVERIFY(waitFor([&] { return QFile::exists(folder.filePath("a_2.wav")); }));
            QCOMPARE(batch.state(), QProcess::Running);
            kill(pid_t(batch.processId()), SIGKILL);
        },
        slowFakeTool(tools, 100));
    const QStringList killed = privateFolders();
    QCOMPARE(killed.size(), 1);
    // Only we can reach the tones before they take their names.
    QCOMPARE(QFileInfo(folder.filePath(killed.first())).permissions() & QFile::Permissions(0x0077),
             QFile::Permissions());
    // Another set's run, alive in the same folder meanwhile.
    QProcess alive;
    alive.setProcessEnvironment(slowFakeTool(tools, 3000));
    alive.start(QStringLiteral(ZIRAVEL_BATCH),
                {"--count", "1", "--length", "0.1", "--prefix", "b_", "--folder", folder.path(),
                 "--engine", "process", "--quiet"});
    // Alone with its set, it removes the killed run's folder; the next run of the first set
    // leaves its own alone.
    QVERIFY(waitFor([&] {
        return privateFolders().size() == 1 && !privateFolders().contains(killed.first());
    }));
    const QStringList living = privateFolders();
    QCOMPARE(runBatch(QStringList(set).replaceInStrings(QStringLiteral("40"), QStringLiteral("1")),
                      {}, slowFakeTool(tools, 0))
                 .exitStatus,
             0);
    QCOMPARE(privateFolders(), living);
    QVERIFY(alive.waitForFinished());
    QCOMPARE(alive.exitCode(), 0);
    QVERIFY(privateFolders().isEmpty());
}

void TestBatchRuns::killedRunLeavesATrueKey() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QString key = folder.filePath(answerKeyFileName);
    QStringList arguments{"--count", "40",       "--length",    "0.1",      "--jobs",
                          "1",       "--folder", folder.path(), "--engine", "process"};
    QCOMPARE(
        runBatch(arguments + QStringList{"--seed", "1"}, {}, slowFakeTool(tools, 0)).exitStatus, 0);
    const QStringList earlierSeeds = keyColumn(key, QStringLiteral("tone_seed"));
    runBatch(
        arguments + QStringList{"--seed", "2"},
        [&](QProcess& batch) {
            QVERIFY(waitFor([&] {
                const QStringList seeds = keyColumn(key, QStringLiteral("tone_seed"));
                return seeds.size() >= 3 && !earlierSeeds.contains(seeds.first());
            }));
            // Ours, and still running: the id cannot have gone to another process.
            QCOMPARE(batch.state(), QProcess::Running);
            kill(pid_t(batch.processId()), SIGKILL);
        },
        slowFakeTool(tools, 100));
    const QStringList names = keyColumn(key, QStringLiteral("file"));
    const QStringList made = keyColumn(key, QStringLiteral("made"));
    QVERIFY(names.size() >= 3 && names.size() < 40);
    for (const QString& seed : keyColumn(key, QStringLiteral("tone_seed")))
        QVERIFY(!earlierSeeds.contains(seed));
    for (qsizetype row = 0; row < names.size(); ++row)
        QCOMPARE(QFileInfo(folder.filePath(names[row])).size(), 44 + 1600);
    QCOMPARE(made.count(QStringLiteral("yes")), names.size());
}

// Two runs at once over one set, either of which may write over the other's files: the second
// makes nothing and names the first.
void TestBatchRuns::secondRunIsRefused() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count", "30",       "--length",    "0.1",      "--jobs",
                                "1",       "--folder", folder.path(), "--engine", "process"};
    const QProcessEnvironment slow = slowFakeTool(tools, 100);
    runBatch(
        arguments,
        [&](QProcess& first) {
            QVERIFY(waitFor([&] { return QFile::exists(folder.filePath("Ziravel_1.wav")); }));
            const BatchResult second = runBatch(arguments, {}, slow);
            QCOMPARE(second.exitStatus, 1);
            QVERIFY2(second.errors.startsWith(
                         QStringLiteral("ziravel-batch: Another run is making this set's files: "
                                        "ziravel-batch, process %1, started ")
                             .arg(first.processId())),
                     qPrintable(second.errors));
            QCOMPARE(first.state(), QProcess::Running);
            kill(pid_t(first.processId()), SIGINT);
        },
        slow);
    // The first run's files, as its key tells them.
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("made"))
                 .count(QStringLiteral("yes")),
             QDir(folder.path()).entryList({QStringLiteral("*.wav")}).size());
}

// Runs that add to a set keep the manifests of the runs before them.
void TestBatchRuns::neverOverwriteKeepsEveryRun() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    for (const char* seed : {"1", "2", "3"})
        QCOMPARE(runBatch({"--count", "1", "--length", "0.05", "--never-overwrite", "--seed", seed,
                           "--folder", folder.path()})
                     .exitStatus,
                 0);
    const QJsonObject manifest =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object();
    QCOMPARE(manifest.value(QStringLiteral("seed")).toString(), QStringLiteral("3"));
    const QJsonArray earlier = manifest.value(QStringLiteral("earlier_runs")).toArray();
    QCOMPARE(earlier.size(), 2);
    QCOMPARE(earlier[0].toObject().value(QStringLiteral("seed")).toString(), QStringLiteral("1"));
    QCOMPARE(earlier[1].toObject().value(QStringLiteral("first_number")).toInt(), 2);
}

// Another program holds the key locked: a stop signal still stops the run.
void TestBatchRuns::stopWhileTheKeyIsLocked() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QFile key(folder.filePath(answerKeyFileName));
    QVERIFY(key.open(QIODevice::WriteOnly));
    QCOMPARE(flock(key.handle(), LOCK_EX), 0);
    const BatchResult batch = runBatch(
        {"--count", "1", "--never-overwrite", "--folder", folder.path()}, [&](QProcess& process) {
            // The run holds its set's lock just before it waits for the key's.
            QVERIFY(waitFor([&] {
                return QFile::exists(folder.filePath(QStringLiteral(".Ziravel_tones.csv.lock")));
            }));
            QCOMPARE(process.state(), QProcess::Running);
            kill(pid_t(process.processId()), SIGINT);
        });
    QCOMPARE(batch.exitStatus, 130);
    QVERIFY2(batch.errors.contains(QStringLiteral("another program holds it locked")),
             qPrintable(batch.errors));
}

// A tone that makes no progress: the run says which, and the tones after it wait a few rounds
// ahead, not the whole set.
void TestBatchRuns::stalledToneIsNamed() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("runs.log"));
    QProcessEnvironment environment = slowFakeTool(tools, 0, log);
    // The notice comes after ten quiet seconds, once the other job has run the tones it may
    // run ahead: on a loaded machine, with a sanitizer, that takes a while.
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_STALL"), QStringLiteral("_1.wav:60000"));
    const BatchResult batch = runBatch(
        {"--count", "3000", "--length", "0.01", "--jobs", "2", "--folder", folder.path(),
         "--engine", "process"},
        [](QProcess& process) {
            QString errors;
            QVERIFY(
                waitForText(process, QStringLiteral("Waiting for Ziravel_1.wav"), errors, 50000));
            QCOMPARE(process.state(), QProcess::Running);
            kill(pid_t(process.processId()), SIGINT);
        },
        environment);
    QCOMPARE(batch.exitStatus, 130);
    const qsizetype started = linesOf(log).size();
    QVERIFY2(started <= 2 * 4 + 256 + 2, qPrintable(QString::number(started)));
}

// A run that never overwrites, killed with tones under way, leaves the empty files that held
// their names; the next such run, alone, removes them and numbers on from the tones made.
void TestBatchRuns::killedRunsReservationsGo() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count",  "40",      "--length",         "0.1",
                                "--jobs",   "2",       "--folder",         folder.path(),
                                "--engine", "process", "--never-overwrite"};
    runBatch(
        arguments,
        [&](QProcess& batch) {
            QVERIFY(waitFor([&] {
                return keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("file"))
                           .size() >= 3;
            }));
            QCOMPARE(batch.state(), QProcess::Running);
            kill(pid_t(batch.processId()), SIGKILL);
        },
        slowFakeTool(tools, 200));
    // The name of the tone under way, held by an empty file.
    const QFileInfoList left = QDir(folder.path(), QStringLiteral("*.wav")).entryInfoList();
    QVERIFY(std::any_of(left.begin(), left.end(),
                        [](const QFileInfo& file) { return file.size() == 0; }));
    const QStringList made = keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("file"));
    QCOMPARE(runBatch({"--count", "1", "--length", "0.1", "--folder", folder.path(),
                       "--never-overwrite"})
                 .exitStatus,
             0);
    QDir files(folder.path(), QStringLiteral("*.wav"));
    for (const QFileInfo& file : files.entryInfoList())
        QVERIFY2(file.size() > 0, qPrintable(file.fileName()));
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("file")).last(),
             QStringLiteral("Ziravel_%1.wav").arg(files.count()));
    QVERIFY(made.size() >= 3);
}

// Every file the safe writer makes is on disk before it takes its name: the manifest's new
// file is synced under its temporary name, as an fsync() preloaded into the run records.
void TestBatchRuns::safeWriterSyncsBeforeItRenames() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QString log = folder.filePath(QStringLiteral("fsync.log"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(ZIRAVEL_FSYNC_LOG_LIBRARY));
    environment.insert(QStringLiteral("ZIRAVEL_FSYNC_LOG"), log);
    // A sanitized program wants its runtime first; the recorder only wraps fsync().
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) +
                           QStringLiteral(":verify_asan_link_order=0"));
    QCOMPARE(
        runBatch({"--count", "1", "--length", "0.05", "--folder", folder.path()}, {}, environment)
            .exitStatus,
        0);
    const QString temporary = folder.filePath(QStringLiteral("Ziravel_set.json."));
    const QStringList synced = linesOf(log);
    QVERIFY2(std::any_of(synced.begin(), synced.end(),
                         [&](const QString& path) { return path.startsWith(temporary); }),
             qPrintable(synced.join(QLatin1Char('\n'))));
}

// The key is written beside the tones, nowhere else: a full temporary folder costs nothing.
void TestBatchRuns::fullTemporaryFolderKeepsTheKey() {
    const TestSupport::TemporaryToolFolder tools;
    const TestSupport::SmallDisk disk(64);
    if (!disk.mounted())
        QSKIP("only root can mount a small disk");
    disk.fill();
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("TMPDIR"), disk.filePath({}));
    QCOMPARE(
        runBatch({"--count", "3", "--length", "0.1", "--folder", folder.path()}, {}, environment)
            .exitStatus,
        0);
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("made")),
             QStringList(3, QStringLiteral("yes")));
}

// Anyone may rename entries in it: no tool of ours is safe there, and none runs.
void TestBatchRuns::refusedToolFolderRunsNothing() {
    const TestSupport::TemporaryToolFolder tools;
    QVERIFY(chmod(QFile::encodeName(tools.path()).constData(), 0777) == 0);
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QTemporaryDir folder;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const QString log = folder.filePath(QStringLiteral("runs.log"));
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_LOG"), log);
    const BatchResult batch = runBatch(
        {"--count", "2", "--length", "0.1", "--folder", folder.path(), "--engine", "process"}, {},
        environment);
    QCOMPARE(batch.exitStatus, 1);
    QVERIFY(batch.errors.contains(tools.path()));
    QVERIFY(!QFile::exists(log));
    QVERIFY(QDir(folder.path()).isEmpty());
}

// More runs asked for than a low descriptor limit leaves room for: every tone is still
// judged from its file, and none is thrown away.
void TestBatchRuns::jobsBeyondTheDescriptorLimit() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    // Slow tones, so that all the runs asked for are under way at once.
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QProcess batch;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_MS"), QStringLiteral("1500"));
    batch.setProcessEnvironment(environment);
    batch.setChildProcessModifier([] {
        const rlimit limit{512, 512};
        setrlimit(RLIMIT_NOFILE, &limit);
    });
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                {"--count", "300", "--length", "0.05", "--jobs", "256", "--folder", folder.path(),
                 "--engine", "process", "--quiet"});
    QVERIFY(batch.waitForFinished(120000));
    QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardError()), QString());
    QCOMPARE(batch.exitCode(), 0);
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}).size(), 300);
}

QTEST_MAIN(TestBatchRuns)
#include "tst_batch_runs.moc"
