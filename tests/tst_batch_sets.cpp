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

// ziravel-batch: sets made in pieces, remade from their manifests, merged and split.
class TestBatchSets : public QObject {
    Q_OBJECT

private slots:
    void seedAndJobs();
    void setIsTheSameInPieces();
    void keyAndManifestReadByPython();
    void remadeFromItsManifest_data();
    void remadeFromItsManifest();
    void manifestSaysOnlyWhatDecided();
    void remakeRefusesWhatItCannotPromise();
    void mergeNamesTheShardAtFault();
    void mergeBelievesNothingUnchecked_data();
    void mergeBelievesNothingUnchecked();
    void splitsAreStratifiedAndShardProof();
    void splitsKeepTheirShares_data();
    void splitsKeepTheirShares();
    void splitByNumberSurvivesGrowth();
    void numbersBeyond32Bits();
    void madeAgainOverItsOwnFiles();
    void eachFormatKeepsAKey();
};

// The same seed gives the same tones, however many runs go at once; another seed others.
void TestBatchSets::seedAndJobs() {
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
    QCOMPARE(oneAtATime.size(), 14);
    QCOMPARE(made(QStringLiteral("b"), "5", "4"), oneAtATime);
    QCOMPARE(made(QStringLiteral("c"), "5", "4"), oneAtATime);
    const QMap<QString, QByteArray> otherSeed = made(QStringLiteral("d"), "6", "4");
    QVERIFY(otherSeed.value(answerKeyFileName) != oneAtATime.value(answerKeyFileName));
}

// Tone k depends on the seed and k alone: a set made in shards, or continued with "never
// overwrite", is byte for byte the set made in one run, its key's rows included.
void TestBatchSets::setIsTheSameInPieces() {
    QTemporaryDir whole, shards, continued;
    const QStringList set{"--seed", "9",    "--length", "0.05",     "--from",
                          "100",    "--to", "5000",     "--digits", "2"};
    QCOMPARE(runBatch(set + QStringList{"--count", "7", "--folder", whole.path()}).exitStatus, 0);
    const QStringList wholeRows = linesOf(whole.filePath(answerKeyFileName));
    QStringList shardRows{wholeRows.first()};
    for (const char* shard : {"1/3", "2/3", "3/3"}) {
        QCOMPARE(
            runBatch(set + QStringList{"--count", "7", "--shard", shard, "--folder", shards.path()})
                .exitStatus,
            0);
        const QString key = QStringLiteral("Ziravel_tones-%1-of-3.csv").arg(shard[0]);
        shardRows += linesOf(shards.filePath(key)).mid(1);
        QFile::remove(shards.filePath(key));
    }
    QCOMPARE(shardRows, wholeRows);
    const QStringList sounds{"*.wav"};
    QCOMPARE(folderContent(shards.path(), sounds), folderContent(whole.path(), sounds));
    QVERIFY(QFile::exists(whole.filePath(QStringLiteral("Ziravel_07.wav"))));

    for (int run = 0; run < 2; ++run)
        QCOMPARE(runBatch(set + QStringList{"--count", run == 0 ? "4" : "3", "--never-overwrite",
                                            "--folder", continued.path()})
                     .exitStatus,
                 0);
    QCOMPARE(linesOf(continued.filePath(answerKeyFileName)), wholeRows);
    QCOMPARE(folderContent(continued.path(), sounds), folderContent(whole.path(), sounds));
}

// What a pipeline reads: the key with Python's csv module, the manifest with json; the folder
// is made with its parents, and nothing but the program's words reaches standard error.
void TestBatchSets::keyAndManifestReadByPython() {
    QTemporaryDir parent;
    const QString folder = parent.filePath(QStringLiteral("new/set"));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("XDG_RUNTIME_DIR"));
    const BatchResult batch =
        runBatch({"--count", "2", "--length", "0.1", "--seed", "18446744073709551615", "--channel",
                  "left", "--sample-size", "16", "--fade", "10", "--type", "pinknoise", "--prefix",
                  "p_", "--folder", folder},
                 {}, environment);
    QCOMPARE(batch.errors, QString());
    QCOMPARE(batch.exitStatus, 0);
    const char* check = R"(
import csv, json, sys
rows = list(csv.DictReader(open(sys.argv[1], newline='')))
manifest = json.load(open(sys.argv[2]))
assert [r['file'] for r in rows] == ['p_1.wav', 'p_2.wav'], rows
assert all(r['waveform'] == 'pinknoise' and r['frequency_hz'] == '' for r in rows), rows
assert all((r['sample_size_bits'], r['channel'], r['fade_ms'], r['format']) ==
           ('16', 'left', '10', 'wav') for r in rows), rows
assert len({r['tone_seed'] for r in rows}) == 2, rows
assert manifest['seed'] == '18446744073709551615' and manifest['count'] == 2, manifest
assert manifest['options']['channel'] == 'left' and manifest['engine'] in ('library', 'process')
arguments = manifest['first_tone_arguments']
at = arguments.index('synth')
assert arguments[at - 1:at + 3] == ['p_1.wav', 'synth', '0.1', 'pinknoise'], manifest
)";
    QProcess python;
    python.start(QStringLiteral("python3"), {"-c", QString::fromLatin1(check),
                                             folder + "/p_tones.csv", folder + "/p_set.json"});
    QVERIFY(python.waitForFinished());
    QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
}

void TestBatchSets::remadeFromItsManifest_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("balanced notes, levels and ears") << QStringList{
        "--notes",    "C4,Eb4",        "--balanced", "--level", "-10,-20", "--channel",
        "left,right", "--sample-size", "16",         "--fade",  "20"};
    QTest::newRow("noise in a band at an RMS level") << QStringList{
        "--count",           "3",   "--type", "pinknoise", "--band", "500-2000", "--level", "-20",
        "--level-reference", "rms", "--rate", "48000"};
    QTest::newRow("sequences, MP3, a shard") << QStringList{
        "--count",  "4",   "--tones-per-file", "2",   "--interval-cents", "-200", "--gap", "30",
        "--format", "mp3", "--shard",          "2/2", "--digits",         "2"};
    QTest::newRow("split") << QStringList{"--count",    "5",     "--split", "train=0.6,test=0.4",
                                          "--split-by", "number"};
}

// A set made again from its manifest into another folder is the same, file for file.
void TestBatchSets::remadeFromItsManifest() {
    QFETCH(QStringList, arguments);
    if (arguments.contains(QStringLiteral("pinknoise")) &&
        qEnvironmentVariable("ZIRAVEL_TEST_ENGINE") == QLatin1String("process"))
        QSKIP("the tool takes no seed");
    QTemporaryDir first;
    QTemporaryDir again;
    QCOMPARE(runBatch(arguments +
                      QStringList{"--length", "0.1", "--seed", "12", "--folder", first.path()})
                 .exitStatus,
             0);
    const QString manifest = QDir(first.path()).entryList({QStringLiteral("*set*.json")}).value(0);
    const BatchResult remade =
        runBatch({"--remake", first.filePath(manifest), "--folder", again.path()});
    QCOMPARE(remade.errors, QString());
    QCOMPARE(remade.exitStatus, 0);
    const QStringList files = QDir(first.path()).entryList(QDir::Files);
    QCOMPARE(QDir(again.path()).entryList(QDir::Files), files);
    for (const QString& file : files)
        QVERIFY2(file.startsWith('.') ||
                     contentOf(first.filePath(file)) == contentOf(again.filePath(file)),
                 qPrintable(file));
}

// Flags are booleans, numbers numbers, notes as written; what could not change the files is
// left out.
void TestBatchSets::manifestSaysOnlyWhatDecided() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--notes", "C4,Eb4", "--count", "2", "--length", "0.1", "--folder",
                       folder.path()})
                 .exitStatus,
             0);
    const QJsonObject options =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object()
            .value(QStringLiteral("options"))
            .toObject();
    QCOMPARE(options.value(QStringLiteral("never-overwrite")), QJsonValue(false));
    QCOMPARE(options.value(QStringLiteral("rate")), QJsonValue(8000));
    QCOMPARE(options.value(QStringLiteral("notes")), QJsonValue(QStringLiteral("C4,Eb4")));
    for (const char* unused : {"from", "to", "sweep", "gap", "frequencies", "pitch-draw"})
        QVERIFY2(!options.contains(QLatin1String(unused)), unused);
    // A one-ear file has no difference between its ears to tell.
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("ild_db")),
             (QStringList{QString(), QString()}));
    // Every list is written as a list, its numbers as numbers.
    QTemporaryDir design;
    QCOMPARE(runBatch({"--frequencies", "500", "--balanced", "--channel", "both", "--ild-db",
                       "-3,3", "--length", "0.1", "--folder", design.path()})
                 .exitStatus,
             0);
    QCOMPARE(QJsonDocument::fromJson(contentOf(design.filePath(QStringLiteral("Ziravel_set.json"))))
                 .object()
                 .value(QStringLiteral("options"))
                 .toObject()
                 .value(QStringLiteral("ild-db")),
             QJsonValue(QJsonArray{-3, 3}));
}

// A manifest of a newer format is refused; one made with another libsox is made, with a
// warning that its files may differ.
void TestBatchSets::remakeRefusesWhatItCannotPromise() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "0.1", "--checksums", "--folder", folder.path()})
                 .exitStatus,
             0);
    // A remake writes what the set's key had, its checksums included.
    QCOMPARE(runBatch({"--remake", folder.filePath(QStringLiteral("Ziravel_set.json"))}).exitStatus,
             0);
    QVERIFY(!keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("sha256"))
                 .value(0)
                 .isEmpty());
    const QString path = folder.filePath(QStringLiteral("Ziravel_set.json"));
    QJsonObject manifest = QJsonDocument::fromJson(contentOf(path)).object();
    const auto remakeWith = [&](const char* key, const QJsonValue& value) {
        manifest.insert(QLatin1String(key), value);
        QFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Truncate);
        file.write(QJsonDocument(manifest).toJson());
        file.close();
        return runBatch({"--remake", path});
    };
    const BatchResult newer = remakeWith("manifest_format", 99);
    QCOMPARE(newer.exitStatus, 2);
    QVERIFY2(newer.errors.contains(QStringLiteral("newer than this program reads")),
             qPrintable(newer.errors));
    for (const QJsonValue& unknown : {QJsonValue(QStringLiteral("3")), QJsonValue(3.5)})
        QVERIFY2(remakeWith("manifest_format", unknown)
                     .errors.contains(QStringLiteral("not a format this program wrote")),
                 qPrintable(unknown.toVariant().toString()));
    manifest.insert(QStringLiteral("manifest_format"), 2);
    const QJsonValue options = manifest.take(QStringLiteral("options"));
    QVERIFY(remakeWith("seed", QStringLiteral("1\x1b[2J"))
                .errors.contains(QStringLiteral("does not hold what decides the set")));
    manifest.insert(QStringLiteral("options"), options);
    // A control character the manifest holds is shown escaped, never sent to the terminal.
    const BatchResult garbled = remakeWith("seed", QStringLiteral("1\x1b[2J"));
    QVERIFY2(garbled.exitStatus == 2 && !garbled.errors.contains(QChar(0x1b)) &&
                 garbled.errors.contains(QStringLiteral("\\x1b[2J")),
             qPrintable(garbled.errors));
    manifest.insert(QStringLiteral("seed"), QString::number(1));
    // What the manifest holds is told as the manifest's.
    QVERIFY(remakeWith("count", 0)
                .errors.contains(QStringLiteral(
                    "Ziravel_set.json\": the manifest's --count \"0\": not a number of tones")));
    manifest.insert(QStringLiteral("count"), 1);
    const BatchResult otherLibrary = remakeWith("libsox", QStringLiteral("9.9.9"));
    QCOMPARE(otherLibrary.exitStatus, 0);
    QVERIFY2(otherLibrary.errors.startsWith(
                 QStringLiteral("ziravel-batch: the set was made with libsox 9.9.9")),
             qPrintable(otherLibrary.errors));
}

// A design of fewer rounds than splits still gives the whole set its shares exactly, and no cell
// more than its share of any split.
void TestBatchSets::splitsKeepTheirShares_data() {
    QTest::addColumn<QStringList>("design");
    QTest::addColumn<QString>("split");
    QTest::addColumn<QList<int>>("sizes");
    QTest::newRow("12 cells, 2 rounds")
        << QStringList{"--frequencies", "100,200,300,400,500,600",
                       "--level",       "-10,-20",
                       "--repeats",     "2"}
        << QStringLiteral("train=0.5,validation=0.25,test=0.25") << QList<int>{12, 6, 6};
    QTest::newRow("21 cells, 1 round")
        << QStringList{"--frequencies", "100,200,300,400,500,600,700", "--level", "-10,-20,-30"}
        << QStringLiteral("train=0.8,validation=0.1,test=0.1") << QList<int>{17, 2, 2};
}

void TestBatchSets::splitsKeepTheirShares() {
    QFETCH(QStringList, design);
    QFETCH(QString, split);
    QFETCH(QList<int>, sizes);
    QTemporaryDir folder;
    QCOMPARE(runBatch(design + QStringList{"--balanced", "--length", "0.02", "--seed", "5",
                                           "--split", split, "--folder", folder.path()})
                 .exitStatus,
             0);
    QMap<QString, int> perSplit;
    QMap<QString, int> perCellAndSplit;
    for (const QString& row : linesOf(folder.filePath(answerKeyFileName)).mid(1)) {
        perSplit[keyField(row, "split")]++;
        perCellAndSplit[keyFields(row, {"frequency_hz", "level_dbfs", "split"})]++;
    }
    QCOMPARE((QList<int>{perSplit.value(QStringLiteral("train")),
                         perSplit.value(QStringLiteral("validation")),
                         perSplit.value(QStringLiteral("test"))}),
             sizes);
    for (auto cell = perCellAndSplit.cbegin(); cell != perCellAndSplit.cend(); ++cell)
        QVERIFY2(cell.key().endsWith(QStringLiteral("train")) || cell.value() == 1,
                 qPrintable(cell.key()));
}

// Split by number, a set grown from the same seed keeps every earlier tone in its split.
void TestBatchSets::splitByNumberSurvivesGrowth() {
    QTemporaryDir small;
    QTemporaryDir grown;
    const QStringList set{"--length",           "0.02",       "--seed", "9", "--split",
                          "train=0.8,test=0.2", "--split-by", "number"};
    QCOMPARE(runBatch(set + QStringList{"--count", "20", "--folder", small.path()}).exitStatus, 0);
    QCOMPARE(runBatch(set + QStringList{"--count", "40", "--folder", grown.path()}).exitStatus, 0);
    QCOMPARE(keyColumn(grown.filePath(answerKeyFileName), QStringLiteral("split")).mid(0, 20),
             keyColumn(small.filePath(answerKeyFileName), QStringLiteral("split")));
}

// Each cell of a balanced design splits in the shares across its rounds; a shard's tones fall
// in the splits they fall in when the set is made whole.
void TestBatchSets::splitsAreStratifiedAndShardProof() {
    QTemporaryDir whole;
    QTemporaryDir shard;
    const QStringList set{
        "--frequencies", "300,400", "--balanced", "--level", "-10,-20", "--count",           "40",
        "--length",      "0.02",    "--seed",     "3",       "--split", "train=0.6,test=0.4"};
    QCOMPARE(runBatch(set + QStringList{"--folder", whole.path()}).exitStatus, 0);
    QCOMPARE(runBatch(set + QStringList{"--shard", "2/3", "--folder", shard.path()}).exitStatus, 0);
    QMap<QString, int> perCell;
    QMap<QString, QString> splitOf;
    for (const QString& row : linesOf(whole.filePath(answerKeyFileName)).mid(1)) {
        perCell[keyFields(row, {"frequency_hz", "level_dbfs", "split"})]++;
        splitOf[keyField(row, "file")] = keyField(row, "split");
    }
    QCOMPARE(perCell.size(), 8);
    for (auto cell = perCell.cbegin(); cell != perCell.cend(); ++cell)
        QCOMPARE(cell.value(), cell.key().endsWith(QStringLiteral("train")) ? 6 : 4);
    const QStringList shardRows =
        linesOf(shard.filePath(QStringLiteral("Ziravel_tones-2-of-3.csv"))).mid(1);
    QCOMPARE(shardRows.size(), 13);
    for (const QString& row : shardRows)
        QCOMPARE(keyField(row, "split"), splitOf.value(keyField(row, "file")));
}

// A missing shard, or one of another set, is named, and no whole key is written.
void TestBatchSets::mergeNamesTheShardAtFault() {
    QTemporaryDir folder;
    for (const char* shard : {"1/3", "3/3"})
        QVERIFY(madeShard(shard, "1", folder.path()));
    const auto merged = [&folder] {
        QProcess merge;
        merge.start(QStringLiteral(ZIRAVEL_BATCH), {"--merge", folder.path()});
        merge.waitForFinished();
        return QString::fromLocal8Bit(merge.readAllStandardError());
    };
    QVERIFY2(
        merged().endsWith(QStringLiteral("shard 2 of 3 is missing: Ziravel_set-2-of-3.json.\n")),
        qPrintable(merged()));
    QVERIFY(madeShard("2/3", "2", folder.path()));
    QVERIFY2(merged().endsWith(QStringLiteral("Ziravel_set-2-of-3.json is of another set: its "
                                              "seed, count or options differ from shard 1's.\n")),
             qPrintable(merged()));
    QVERIFY(!QFile::exists(folder.filePath(answerKeyFileName)));
}

// A shard's key and manifest are checked against each other and the set's seed before a merge
// believes them; a merge waits for no run that holds the set, and reads no shard through a link.
// Whole shards merge within a bounded address space.
void TestBatchSets::mergeBelievesNothingUnchecked_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QByteArray>("from");
    QTest::addColumn<QByteArray>("to");
    const QByteArray key = "Ziravel_tones-2-of-2.csv";
    QTest::newRow("row twice") << QString::fromLatin1(key) << QByteArray("Ziravel_5.wav,")
                               << QByteArray("Ziravel_4.wav,");
    QTest::newRow("row of a file elsewhere")
        << QString::fromLatin1(key) << QByteArray("Ziravel_5.wav,")
        << QByteArray("../../etc/passwd,");
    QTest::newRow("rows of another seed")
        << QString::fromLatin1(key) << QByteArray("seed") << QByteArray();
    QTest::newRow("quoted line break") << QString::fromLatin1(key) << QByteArray("Ziravel_6.wav,")
                                       << QByteArray("\"Ziravel_6\n.wav\",");
    QTest::newRow("tones not the key's")
        << QStringLiteral("Ziravel_set-2-of-2.json") << QByteArray("\"tones\": 3")
        << QByteArray("\"tones\": 2");
    QTest::newRow("count not the shards'")
        << QStringLiteral("Ziravel_set-2-of-2.json") << QByteArray("\"count\": 6")
        << QByteArray("\"count\": 7");
    QTest::newRow("a link") << QString::fromLatin1(key) << QByteArray() << QByteArray();
    QTest::newRow("set held by a run") << QString() << QByteArray() << QByteArray();
    QTest::newRow("nothing wrong") << QStringLiteral("-") << QByteArray() << QByteArray();
}

void TestBatchSets::mergeBelievesNothingUnchecked() {
    QFETCH(QString, file);
    QFETCH(QByteArray, from);
    QFETCH(QByteArray, to);
    QTemporaryDir folder;
    for (const char* shard : {"1/2", "2/2"})
        QVERIFY(madeShard(shard, "1", folder.path()));
    const QString path = folder.filePath(file);
    int holder = -1;
    if (file.isEmpty()) {
        // The lock a run of the whole set holds while it writes the key.
        holder = open(QFile::encodeName(folder.filePath(QStringLiteral(".Ziravel_tones.csv.lock"))),
                      O_RDWR | O_CREAT, 0600);
        struct flock lock {};
        lock.l_type = F_WRLCK;
        QVERIFY(holder >= 0 && fcntl(holder, F_OFD_SETLK, &lock) == 0);
    } else if (file == QLatin1String("-")) {
        // Merged as it is, within the address space a cluster's job may be given.
    } else if (from.isEmpty()) {
        // Another user's link to a key of theirs where the shard's key belongs.
        const QString theirs = folder.filePath(QStringLiteral("theirs.csv"));
        QVERIFY(QFile::rename(path, theirs) && QFile::link(theirs, path));
    } else if (from == "seed") {
        QTemporaryDir other;
        QVERIFY(madeShard("2/2", "2", other.path()));
        QVERIFY(QFile::remove(path) && QFile::copy(other.filePath(file), path));
    } else {
        QByteArray content = contentOf(path);
        QVERIFY(content.contains(from));
        content.replace(from, to);
        QFile written(path);
        QVERIFY(written.open(QIODevice::WriteOnly | QIODevice::Truncate));
        written.write(content);
    }
    QProcess merge;
#ifndef __SANITIZE_ADDRESS__
    // AddressSanitizer's shadow takes more address space than any bound: its build runs unbound.
    merge.setChildProcessModifier([] {
        const rlimit bounded{rlim_t(4) << 30, rlim_t(4) << 30};
        setrlimit(RLIMIT_AS, &bounded);
    });
#endif
    merge.start(QStringLiteral(ZIRAVEL_BATCH), {"--merge", folder.path()});
    QVERIFY(merge.waitForFinished());
    if (holder >= 0)
        close(holder);
    if (file == QLatin1String("-")) {
        QCOMPARE(merge.exitCode(), 0);
        QVERIFY(QFile::exists(folder.filePath(answerKeyFileName)));
        return;
    }
    QVERIFY2(merge.exitCode() == 1, merge.readAllStandardError().constData());
    QVERIFY(!QFile::exists(folder.filePath(answerKeyFileName)));
}

void TestBatchSets::numbersBeyond32Bits() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    // Not empty: an empty one would be a name a killed run reserved, which goes.
    const auto plant = [&](const char* name) {
        TestSupport::writeFile(folder.filePath(QString::fromLatin1(name)), "RIFF");
    };
    plant("Ziravel_2147483646.wav");
    const QStringList arguments{"--count",  "2",           "--length",         "0.1",
                                "--folder", folder.path(), "--never-overwrite"};
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QVERIFY(QFile::exists(folder.filePath(QStringLiteral("Ziravel_2147483648.wav"))));
    // Numbers that would not fit are refused before anything is made.
    plant("Ziravel_9223372036854775806.wav");
    const BatchResult refused = runBatch(arguments);
    QCOMPARE(refused.exitStatus, 2);
    QVERIFY2(refused.errors.contains(QStringLiteral("would not fit")), qPrintable(refused.errors));
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}).size(), 4);
}

// A set made over an earlier one's files is the set made anew, file for file, permissions
// included; a file the user linked elsewhere keeps what it held there.
void TestBatchSets::madeAgainOverItsOwnFiles() {
    QTemporaryDir again, anew;
    const auto made = [](const QTemporaryDir& folder, const char* length, const char* seed) {
        return runBatch(
                   {"--count", "4", "--length", length, "--seed", seed, "--folder", folder.path()})
                   .exitStatus == 0;
    };
    QVERIFY(made(again, "0.3", "1"));
    const QString linked = again.filePath(QStringLiteral("kept.wav"));
    QCOMPARE(::link(QFile::encodeName(again.filePath(QStringLiteral("Ziravel_2.wav"))).constData(),
                    QFile::encodeName(linked).constData()),
             0);
    const QByteArray kept = contentOf(linked);
    QVERIFY(QFile::setPermissions(again.filePath(QStringLiteral("Ziravel_3.wav")),
                                  QFile::ReadOwner | QFile::WriteOwner));
    QVERIFY(made(again, "0.1", "2"));
    QVERIFY(made(anew, "0.1", "2"));
    QCOMPARE(contentOf(linked), kept);
    QFile::remove(linked);
    QCOMPARE(folderContent(again.path()), folderContent(anew.path()));
    for (const QString& name : folderContent(anew.path()).keys())
        QCOMPARE(QFileInfo(again.filePath(name)).permissions(),
                 QFileInfo(anew.filePath(name)).permissions());
}

// A batch of another format in the same folder leaves the earlier files in a key of their own;
// a later batch of their format writes over them, and that key goes.
void TestBatchSets::eachFormatKeepsAKey() {
    QTemporaryDir folder;
    const auto made = [&folder](const char* format, const char* count) {
        return runBatch({"--count", count, "--length", "0.1", "--format", format, "--folder",
                         folder.path()})
                   .exitStatus == 0;
    };
    const auto files = [&folder](const char* key) {
        QStringList named;
        for (const QString& line : linesOf(folder.filePath(QLatin1String(key))).mid(1))
            named << line.section(QLatin1Char(','), 0, 0);
        return named;
    };
    QVERIFY(made("wav", "2"));
    QVERIFY(made("mp3", "1"));
    QCOMPARE(files("Ziravel_tones.csv"), QStringList{"Ziravel_1.mp3"});
    QCOMPARE(files("Ziravel_tones-wav.csv"), (QStringList{"Ziravel_1.wav", "Ziravel_2.wav"}));
    QVERIFY(made("wav", "1"));
    QCOMPARE(files("Ziravel_tones.csv"), QStringList{"Ziravel_1.wav"});
    QCOMPARE(files("Ziravel_tones-mp3.csv"), QStringList{"Ziravel_1.mp3"});
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("Ziravel_tones-wav.csv"))));
}

QTEST_MAIN(TestBatchSets)
#include "tst_batch_sets.moc"
