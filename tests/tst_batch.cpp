// SPDX-License-Identifier: GPL-3.0-or-later
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

using TestSupport::contentOf;

namespace {

// The key a batch at the default prefix writes.
const QString answerKeyFileName = QStringLiteral("Ziravel_tones.csv");

// The arguments with the engine this run of the suite is for (ZIRAVEL_TEST_ENGINE), unless
// they name one.
QStringList withEngine(QStringList arguments) {
    const QString engine = qEnvironmentVariable("ZIRAVEL_TEST_ENGINE");
    if (!engine.isEmpty() && !arguments.contains(QStringLiteral("--engine")))
        arguments << QStringLiteral("--engine") << engine;
    return arguments;
}

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
    // Quiet: the errors are what the tests read; the summary line has a test of its own.
    batch.start(QStringLiteral(ZIRAVEL_BATCH), withEngine(arguments) << QStringLiteral("--quiet"));
    if (!batch.waitForStarted())
        return {};
    if (whileRunning)
        whileRunning(batch);
    batch.waitForFinished(60000);
    return {batch.exitStatus() == QProcess::NormalExit ? batch.exitCode() : -1,
            QString::fromLocal8Bit(batch.readAllStandardError())};
}

// Every file of the folder, or those the name filters match, by name, with its bytes.
QMap<QString, QByteArray> folderContent(const QString& folder, const QStringList& filters = {}) {
    QMap<QString, QByteArray> files;
    for (const QString& name : QDir(folder).entryList(filters, QDir::Files))
        files.insert(name, contentOf(QDir(folder).filePath(name)));
    return files;
}

// The environment of a user whose window stored the settings text in the config folder.
QProcessEnvironment withStoredSettings(const QTemporaryDir& config, const QByteArray& text) {
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QDir().mkpath(QFileInfo(file).path());
    QFile settings(file);
    if (settings.open(QIODevice::WriteOnly))
        settings.write(text);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    return environment;
}

// What the batch writes to its error output when that is a terminal.
QByteArray terminalOutput(const QStringList& arguments) {
    int terminal = -1;
    int side = -1;
    if (openpty(&terminal, &side, nullptr, nullptr, nullptr) != 0)
        return "no terminal";
    QProcess batch;
    batch.setChildProcessModifier([side] { dup2(side, STDERR_FILENO); });
    batch.start(QStringLiteral(ZIRAVEL_BATCH), withEngine(arguments));
    batch.waitForFinished(60000);
    close(side);
    QByteArray written;
    char buffer[4096];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;)
        written.append(buffer, got);
    close(terminal);
    return written;
}

// What ziravel-batch writes to its standard output with these arguments.
QString printedBy(const QStringList& arguments) {
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments);
    batch.waitForFinished();
    return QString::fromUtf8(batch.readAllStandardOutput());
}

// Makes shard K/N of a set of six short tones drawn with the seed; true when it was made.
bool madeShard(const char* shard, const char* seed, const QString& folder) {
    return runBatch({"--count", "6", "--length", "0.05", "--seed", seed, "--shard", shard,
                     "--folder", folder})
               .exitStatus == 0;
}

// The values of a column of an answer key's rows, found by its name.
QStringList keyColumn(const QString& keyPath, const QString& column) {
    const QStringList lines = linesOf(keyPath);
    const qsizetype at = lines.value(0).split(QLatin1Char(',')).indexOf(column);
    QStringList values;
    for (const QString& row : lines.mid(1))
        values << row.section(QLatin1Char(','), at, at);
    return values;
}

// An environment whose tool is the stand-in, each run taking `milliseconds`, logged to `log`.
QProcessEnvironment slowFakeTool(const TestSupport::TemporaryToolFolder& tools, int milliseconds,
                                 const QString& log = {}) {
    tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_MS"), QString::number(milliseconds));
    if (!log.isEmpty())
        environment.insert(QStringLiteral("ZIRAVEL_FAKE_SOX_LOG"), log);
    return environment;
}

// Waits up to ten seconds for the condition.
bool waitFor(const std::function<bool()>& condition) {
    for (int waited = 0; waited < 10000 && !condition(); waited += 20)
        QThread::msleep(20);
    return condition();
}

// Reads the process's error output as it comes until it holds the text, for up to 20 seconds.
bool waitForText(QProcess& process, const QString& text, QString& read, int timeoutMs = 20000) {
    QElapsedTimer waited;
    waited.start();
    while (!read.contains(text) && waited.elapsed() < timeoutMs) {
        process.waitForReadyRead(200);
        read += QString::fromLocal8Bit(process.readAllStandardError());
    }
    return read.contains(text);
}

} // namespace

class TestBatch : public QObject {
    Q_OBJECT

private slots:
    void sameFilesAsTheWindow_data();
    void sameFilesAsTheWindow();
    void seedAndJobs();
    void seedRepeatsNoiseAndDither();
    void setIsTheSameInPieces();
    void keyAndManifestReadByPython();
    void balancedDesign();
    void levelInTenths();
    void flacHoldsTheWavSamples();
    void floatingPointWav();
    void sweepEndsFromTheFile_data();
    void sweepEndsFromTheFile();
    void logSweepPassesTheGeometricMean();
    void drawnSweepEnds();
    void sequenceFromTheFile();
    void balancedIntervalDirections();
    void noiseInItsBand_data();
    void noiseInItsBand();
    void rmsLevelFromTheFiles_data();
    void rmsLevelFromTheFiles();
    void badInput_data();
    void badInput();
    void summaryGoesToErrorOutput();
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
    void bandNoiseIsNotClipped();
    void notesKeepTheirSpelling();
    void levelDifferenceBetweenTheEars();
    void stimuliFromTheirFiles();
    void toneInNoiseAtItsSnr();
    void fadeShapesFollowTheirFormulas();
    void neverOverwriteNumbersOn();
    void stopSignalLeavesNoPartialFile_data();
    void stopSignalLeavesNoPartialFile();
    void stopEndsTonesUnderWay();
    void fullDiskIsCounted();
    void sameReasonIsToldOnce();
    void progressOnlyOnATerminal();
    void helpAndVersion();
    void storedInputsOnlyWhenAsked();
    void storedRowIsReadAsTheWindowReadsIt();
    void helpAndManualPageAgree();
    void manualExamplesAreInTheReadme();
    void readmeRecipesRunAsWritten();
    void presetFromTheSettings();
    void folderThatCannotBeWritten();
    void unsafeSettingsAreTold();
    void keyIsNeverWrittenThrough_data();
    void keyIsNeverWrittenThrough();
    void silentFileIsNotMade();
    void argumentThatIsNoText();
    void toneNameHeldByAnotherIsLeftAlone_data();
    void toneNameHeldByAnotherIsLeftAlone();
    void fullDiskKeepsTheKey_data();
    void fullDiskKeepsTheKey();
    void prefixIsLiteralText_data();
    void prefixIsLiteralText();
    void numbersBeyond32Bits();
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
    void mp3PitchIsHeardOrRefused_data();
    void mp3PitchIsHeardOrRefused();
    void refusedToolFolderRunsNothing();
    void jobsBeyondTheDescriptorLimit();
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
    w.countField->setText(QStringLiteral("4"));
    w.fromField->setText(QStringLiteral("300"));
    w.toField->setText(QStringLiteral("2000"));
    w.waveformList->setCurrentIndex(2);
    // The window seeds a set with one draw of its generator.
    std::mt19937_64 windowGenerator(77);
    QStringList arguments{"--length", "0.25",     "--count", "4",
                          "--from",   "300",      "--to",    "2000",
                          "--type",   "Triangle", "--seed",  QString::number(windowGenerator())};
    if (mp3)
        arguments << "--format"
                  << "mp3";
    if (options) {
        OptionsPanel& panel = *w.optionsPanel;
        panel.sampleRate->setCurrentIndex(1);
        panel.sampleSize->setCurrentIndex(2);
        panel.level->setValue(-60);
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
    w.toneGenerator().seed(77);
    (mp3 ? w.pushButton2 : w.pushButton1)->click();
    QCOMPARE(run.fixture.modals.notices, QStringList{"Done."});

    QTemporaryDir batchFolder;
    const BatchResult batch = runBatch(arguments << "--folder" << batchFolder.path());
    QCOMPARE(batch.errors, QString());
    QCOMPARE(batch.exitStatus, 0);
    // The tones and the key; the window writes no manifest.
    const QStringList made{"*.wav", "*.mp3", "*.csv"};
    const QMap<QString, QByteArray> fromWindow = folderContent(run.output, made);
    QCOMPARE(fromWindow.size(), 5);
    QCOMPARE(folderContent(batchFolder.path(), made), fromWindow);
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
    QCOMPARE(oneAtATime.size(), 14);
    QCOMPARE(made(QStringLiteral("b"), "5", "4"), oneAtATime);
    QCOMPARE(made(QStringLiteral("c"), "5", "4"), oneAtATime);
    const QMap<QString, QByteArray> otherSeed = made(QStringLiteral("d"), "6", "4");
    QVERIFY(otherSeed.value(answerKeyFileName) != oneAtATime.value(answerKeyFileName));
}

// The library takes a seed per tone: noise and dither come out the same with any --jobs,
// and each noise file is its own.
void TestBatch::seedRepeatsNoiseAndDither() {
    if (qEnvironmentVariable("ZIRAVEL_TEST_ENGINE") == QLatin1String("process"))
        QSKIP("the tool takes no seed");
    QTemporaryDir folders;
    const auto made = [&](const QString& name, const QString& type, const QString& jobs) {
        const QString folder = folders.filePath(name);
        QDir().mkpath(folder);
        const BatchResult batch =
            runBatch({"--count", "6", "--length", "0.1", "--type", type, "--sample-size", "16",
                      "--seed", "5", "--jobs", jobs, "--folder", folder});
        return batch.exitStatus == 0 ? folderContent(folder) : QMap<QString, QByteArray>();
    };
    for (const QString type : {"whitenoise", "sine"}) {
        const QMap<QString, QByteArray> oneAtATime = made(type + "1", type, "1");
        QCOMPARE(oneAtATime.size(), 8);
        QCOMPARE(made(type + "3", type, "3"), oneAtATime);
    }
    const QMap<QString, QByteArray> noise = made(QStringLiteral("noise"), "whitenoise", "1");
    QVERIFY(noise.value(QStringLiteral("Ziravel_1.wav")) !=
            noise.value(QStringLiteral("Ziravel_2.wav")));
}

// Tone k depends on the seed and k alone: a set made in shards, or continued with "never
// overwrite", is byte for byte the set made in one run, its key's rows included.
void TestBatch::setIsTheSameInPieces() {
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
void TestBatch::keyAndManifestReadByPython() {
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

// Every combination of the lists comes equally often, and the files are what the key says.
void TestBatch::balancedDesign() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--notes", "C4,Eb4,G4", "--balanced", "--level", "-40,-20", "--channel",
                       "left,right", "--repeats", "2", "--length", "0.1", "--seed", "4", "--folder",
                       folder.path()})
                 .exitStatus,
             0);
    const QStringList rows = linesOf(folder.filePath(answerKeyFileName)).mid(1);
    QCOMPARE(rows.size(), 24);
    QMap<QString, int> combinations;
    for (const QString& row : rows)
        ++combinations[keyField(row, "note") + keyField(row, "level_dbfs") +
                       keyField(row, "channel")];
    QCOMPARE(combinations.size(), 12);
    for (const int times : combinations)
        QCOMPARE(times, 2);
    // The last file, from itself: its level, and its ear.
    const QString last = rows.last();
    const QString file = folder.filePath(keyField(last, "file"));
    QCOMPARE(TestSupport::soundInfo(file, 'c'), QStringLiteral("2"));
    const double peak = std::pow(10.0, keyField(last, "level_dbfs").toDouble() / 20);
    const double rms = TestSupport::rmsAmplitude(file);
    // A sine's RMS lies 3 dB under its peak; one ear of two halves the power.
    QVERIFY2(std::abs(rms - peak / std::sqrt(2.0) / std::sqrt(2.0)) < 0.05 * peak,
             qPrintable(QStringLiteral("%1 against a peak of %2").arg(rms).arg(peak)));
}

// A level in tenths of a dB is made as asked, and the key says what was made.
void TestBatch::levelInTenths() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--level", "-6.5", "--folder", folder.path()}).exitStatus,
             0);
    QCOMPARE(keyField(linesOf(folder.filePath(answerKeyFileName)).value(1), "level_dbfs"),
             QStringLiteral("-6.5"));
    const double rms = TestSupport::rmsAmplitude(folder.filePath(QStringLiteral("Ziravel_1.wav")));
    const double asked = std::pow(10.0, -6.5 / 20) / std::sqrt(2.0);
    QVERIFY2(std::abs(rms - asked) < 0.003, qPrintable(QString::number(rms)));
}

// The samples of a sound file as SoX decodes them, as 32-bit integers.
QByteArray decodedSamples(const QString& file) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), {file, "-t", "raw", "-e", "signed-integer", "-b", "32", "-"});
    sox.waitForFinished();
    return sox.readAllStandardOutput();
}

// Noise and dither from the seed: a FLAC set is its WAV set, sample for sample.
void TestBatch::flacHoldsTheWavSamples() {
    QTemporaryDir folder;
    for (const char* format : {"wav", "flac"})
        QCOMPARE(
            runBatch({"--count", "2", "--type", "pinknoise", "--sample-size", "24", "--seed", "5",
                      "--format", format, "--engine", "library", "--folder", folder.path()})
                .exitStatus,
            0);
    for (const char* name : {"Ziravel_1", "Ziravel_2"}) {
        const QByteArray wav = decodedSamples(folder.filePath(QLatin1String(name) + ".wav"));
        QVERIFY(wav.size() > 1000);
        QCOMPARE(decodedSamples(folder.filePath(QLatin1String(name) + ".flac")), wav);
    }
    QCOMPARE(keyFields(linesOf(folder.filePath(answerKeyFileName)).value(1),
                       {"sample_size_bits", "channel", "fade_ms", "format"}),
             QStringLiteral("24,mono,0,flac"));
}

void TestBatch::floatingPointWav() {
    QTemporaryDir folder;
    QCOMPARE(
        runBatch({"--count", "1", "--sample-size", "32f", "--folder", folder.path()}).exitStatus,
        0);
    const std::optional<WavLayout> layout =
        readWavLayout(contentOf(folder.filePath(QStringLiteral("Ziravel_1.wav"))));
    QVERIFY(layout && layout->isFloat && layout->bitsPerSample == 32);
    QCOMPARE(keyField(linesOf(folder.filePath(answerKeyFileName)).value(1), "sample_size_bits"),
             QStringLiteral("32f"));
}

void TestBatch::sweepEndsFromTheFile_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("linear up") << QStringList{"--sweep", "linear"} << 1000.0 << 1150.0;
    QTest::newRow("log down") << QStringList{"--sweep", "log", "--shape", "down"} << 1150.0
                              << 1000.0;
}

// The ends measured over the first and the last tenth of the file, a short-time FFT each.
void TestBatch::sweepEndsFromTheFile() {
    QFETCH(QStringList, arguments);
    QFETCH(double, start);
    QFETCH(double, end);
    QTemporaryDir folder;
    QCOMPARE(runBatch(QStringList{"--count", "1", "--length", "2", "--from", "1000", "--to", "1150",
                                  "--rate", "16000", "--folder", folder.path()} +
                      arguments)
                 .exitStatus,
             0);
    const QString file = folder.filePath(QStringLiteral("Ziravel_1.wav"));
    const double first = mainFrequencyBetween(file, 0, 0.1);
    const double last = mainFrequencyBetween(file, 0.9, 1);
    QVERIFY2(std::abs(first / start - 1) < 0.02, qPrintable(QString::number(first)));
    QVERIFY2(std::abs(last / end - 1) < 0.02, qPrintable(QString::number(last)));
    QVERIFY((last > first) == (end > start));
    const QString row = linesOf(folder.filePath(answerKeyFileName)).value(1);
    QCOMPARE(keyField(row, "frequency_hz").toDouble(), start);
    QCOMPARE(keyField(row, "end_frequency_hz").toDouble(), end);
}

// Each file's ends drawn from the list, in the order its shape asks.
// Half way through, a logarithmic sweep stands at the geometric mean of its ends (1414 Hz from
// 500 to 4000), a linear one at their mean (2250 Hz).
void TestBatch::logSweepPassesTheGeometricMean() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "2", "--from", "500", "--to", "4000", "--rate",
                       "16000", "--sweep", "log", "--folder", folder.path()})
                 .exitStatus,
             0);
    const double middle =
        mainFrequencyBetween(folder.filePath(QStringLiteral("Ziravel_1.wav")), 0.45, 0.55);
    QVERIFY2(std::abs(middle / 1414 - 1) < 0.12, qPrintable(QString::number(middle)));
}

void TestBatch::drawnSweepEnds() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "20", "--length", "0.1", "--frequencies", "300,500,700",
                       "--sweep", "linear", "--sweep-ends", "drawn", "--shape", "down", "--seed",
                       "2", "--folder", folder.path()})
                 .exitStatus,
             0);
    QSet<QString> pairs;
    for (const QString& row : linesOf(folder.filePath(answerKeyFileName)).mid(1)) {
        const double start = keyField(row, "frequency_hz").toDouble();
        const double end = keyField(row, "end_frequency_hz").toDouble();
        QVERIFY2(start >= end && QList<double>({300, 500, 700}).contains(end), qPrintable(row));
        pairs.insert(keyField(row, "frequency_hz") + keyField(row, "end_frequency_hz"));
    }
    QVERIFY(pairs.size() > 2);
}

// Three tones with gaps: the onsets where the lengths and the gap put them, each tone the
// interval above the one before, and the file as long as all of it.
void TestBatch::sequenceFromTheFile() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count",
                       "1",
                       "--tones-per-file",
                       "3",
                       "--gap",
                       "200",
                       "--length",
                       "0.3",
                       "--fade",
                       "10",
                       "--interval-cents",
                       "200",
                       "--from",
                       "400",
                       "--to",
                       "400",
                       "--rate",
                       "16000",
                       "--folder",
                       folder.path()})
                 .exitStatus,
             0);
    const QString file = folder.filePath(QStringLiteral("Ziravel_1.wav"));
    int rate = 0;
    const std::vector<double> samples = firstChannel(file, rate);
    QCOMPARE(qsizetype(samples.size()), qsizetype(1.3 * rate));
    // An onset: the first sound after at least 50 ms of silence, or at the start.
    QList<double> onsets;
    qsizetype silent = rate;
    for (qsizetype at = 0; at < qsizetype(samples.size()); ++at) {
        const bool sound = std::abs(samples[size_t(at)]) > 1e-6;
        if (sound && silent >= rate / 20)
            onsets << double(at) / rate;
        silent = sound ? 0 : silent + 1;
    }
    QCOMPARE(onsets.size(), 3);
    const QStringList pitches =
        keyField(linesOf(folder.filePath(answerKeyFileName)).value(1), "frequency_hz").split(';');
    QCOMPARE(pitches.size(), 3);
    for (int tone = 0; tone < 3; ++tone) {
        QVERIFY2(std::abs(onsets[tone] - 0.5 * tone) < 0.002,
                 qPrintable(QString::number(onsets[tone])));
        const double asked = 400 * std::pow(2.0, tone * 200 / 1200.0);
        QVERIFY(std::abs(pitches[tone].toDouble() / asked - 1) < 1e-9);
        const double heard =
            mainFrequencyBetween(file, (0.5 * tone + 0.02) / 1.3, (0.5 * tone + 0.28) / 1.3);
        QVERIFY2(std::abs(heard / asked - 1) < 0.01, qPrintable(QString::number(heard)));
    }
}

// With --balanced, as many files step down as up, for each pitch, in each round; the key tells
// the round, the direction, the file's length and its checksum.
void TestBatch::balancedIntervalDirections() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--frequencies", "500,1000", "--balanced", "--repeats", "2",
                       "--tones-per-file", "2", "--interval-cents", "100", "--length", "0.05",
                       "--gap", "30", "--checksums", "--folder", folder.path()})
                 .exitStatus,
             0);
    // Each round holds each pitch once each way; the key's direction is the files' own.
    QMap<QString, int> directions;
    for (const QString& row : linesOf(folder.filePath(answerKeyFileName)).mid(1)) {
        const QStringList pitches = keyField(row, "frequency_hz").split(';');
        const QString direction = pitches[1].toDouble() > pitches[0].toDouble() ? "up" : "down";
        QCOMPARE(keyField(row, "direction"), direction);
        directions[keyField(row, "round") + ' ' + pitches[0] + ' ' + direction]++;
        // The file's length and checksum, from the file itself.
        QFile file(folder.filePath(keyField(row, "file")));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QCOMPARE(keyField(row, "sha256"),
                 QString::fromLatin1(
                     QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex()));
        const std::optional<SoundSamples> sound = decodeWav(bytes);
        QCOMPARE(keyField(row, "file_seconds").toDouble(),
                 double(sound->samples.size()) / sound->channels / sound->sampleRate);
    }
    QCOMPARE(directions.size(), 8);
    QCOMPARE(directions.keys().first(), QStringLiteral("1 1000 down"));
}

void TestBatch::noiseInItsBand_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("pink") << QStringList{"--type", "pinknoise", "--band", "500-2000"} << 500.0
                          << 2000.0;
    // Bounds in either order; a band past 4000 Hz needs a higher rate than the default.
    QTest::newRow("white from the bounds")
        << QStringList{"--type", "whitenoise",        "--from", "12000", "--to",
                       "3000",   "--band-from-bounds"}
        << 3000.0 << 12000.0;
}

void TestBatch::noiseInItsBand() {
    QFETCH(QStringList, arguments);
    QFETCH(double, low);
    QFETCH(double, high);
    QTemporaryDir folder;
    QCOMPARE(runBatch(QStringList{"--count", "1", "--level", "-6", "--folder", folder.path()} +
                      arguments)
                 .exitStatus,
             0);
    const double share =
        powerShareBetween(folder.filePath(QStringLiteral("Ziravel_1.wav")), low, high);
    QVERIFY2(share >= 0.9, qPrintable(QString::number(share)));
    QCOMPARE(keyField(linesOf(folder.filePath(answerKeyFileName)).value(1), "band_hz"),
             QStringLiteral("%1-%2").arg(low).arg(high));
}

void TestBatch::rmsLevelFromTheFiles_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("peakDb");
    // A sine by its shape; noise measured from each file, 16-bit dither and an encoder in the
    // way (noise at RMS levels is the library engine's).
    QTest::newRow("sine") << QStringList{"--type", "sine"} << -16.99;
    // Each shape's own crest factor: the level is the RMS whatever the peak.
    for (const char* shape : {"square", "triangle", "sawtooth", "trapezium", "exp"})
        QTest::newRow(shape) << QStringList{"--type", QString::fromLatin1(shape)} << 0.0;
    QTest::newRow("white 16-bit") << QStringList{"--type", "whitenoise", "--sample-size",
                                                 "16",     "--engine",   "library"}
                                  << 0.0;
    QTest::newRow("brown, short, faded")
        << QStringList{"--type", "brownnoise", "--length", "0.05",
                       "--fade", "10",         "--engine", "library"}
        << 0.0;
    QTest::newRow("pink MP3") << QStringList{"--type", "pinknoise", "--format", "mp3",
                                             "--rate", "44100",     "--engine", "library"}
                              << 0.0;
}

// Calibration at -20 dBFS RMS, as the files measure it.
void TestBatch::rmsLevelFromTheFiles() {
    QFETCH(QStringList, arguments);
    QFETCH(double, peakDb);
    QTemporaryDir folder;
    QCOMPARE(runBatch(QStringList{"--count", "3", "--level", "-20", "--level-reference", "rms",
                                  "--length", "0.5", "--seed", "4", "--folder", folder.path()} +
                      arguments)
                 .exitStatus,
             0);
    for (const QString& name :
         QDir(folder.path()).entryList({"Ziravel_?.wav", "Ziravel_?.mp3"}, QDir::Files)) {
        const QString file = folder.filePath(name);
        const double rmsDb = 20 * std::log10(TestSupport::rmsAmplitude(file));
        QVERIFY2(std::abs(rmsDb + 20) < 0.1, qPrintable(name + ": " + QString::number(rmsDb)));
        if (peakDb != 0) {
            const std::optional<SoundSamples> sound = decodeWav(contentOf(file));
            QVERIFY(sound);
            const float peak = *std::max_element(sound->samples.begin(), sound->samples.end());
            QVERIFY2(std::abs(20 * std::log10(peak) - peakDb) < 0.02, qPrintable(name));
        }
    }
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
    row("count zero", {"--count", "0"}, "--count \"0\": not a number of tones from 1 to 10000000.");
    row("count too large", {"--count", "10000001"},
        "--count \"10000001\": not a number of tones from 1 to 10000000.");
    row("bound no number", {"--from", "low"},
        "--from \"low\": not a frequency in Hz from 0 to 32767.");
    row("bound negative", {"--to", "-5"}, "--to \"-5\": not a frequency in Hz from 0 to 32767.");
    row("no note between bounds", {"--from", "450", "--to", "460", "--pitch-draw", "notes"},
        "--from \"450\": with --to \"460\": No note lies between the bounds.");
    row("unknown type", {"--type", "saw"},
        "--type \"saw\": not a waveform; one of sine, square, triangle, sawtooth, trapezium, exp, "
        "whitenoise, pinknoise, brownnoise.");
    row("folder that cannot be made", {"--folder", "/dev/null/folder"},
        "--folder \"/dev/null/folder\": the folder cannot be made.");
    row("unknown format", {"--format", "ogg"}, "--format \"ogg\": not one of wav, mp3, flac.");
    row("level above 0", {"--level", "3"}, "--level \"3\": not a level in dBFS from -60 to 0.");
    row("sine's RMS level past its peak", {"--level", "-3", "--level-reference", "rms"},
        "--level \"-3\": at an RMS level of -3 dBFS the sine's peak would pass 0 dBFS; the level "
        "may be at most -3.1.");
    row("RMS noise by the program",
        {"--type", "pinknoise", "--level-reference", "rms", "--engine", "process"},
        "--level-reference \"rms\": noise is set to its RMS by making it again from its seed, "
        "which only the library engine can.");
    // Side bands counted from the numbers alone: these once ran for hours.
    row("FM index past what a tone holds", {"--fm", "0.000001,10000"},
        "--fm \"0.000001,10000\": not RATE,DEVIATION like 5,50 or 2-8,20 or 2/4/8,20, in Hz, the "
        "deviation at most 256 times the lowest rate.");
    row("FM of many harmonics", {"--harmonics", "1-64", "--fm", "1-50,200"},
        "--fm \"1-50,200\": This tone would be made of more than 512 sines: choose fewer "
        "harmonics or a smaller modulation index.");
    row("floating point FLAC", {"--format", "flac", "--sample-size", "32f"},
        "--sample-size \"32f\": floating point samples are for WAV files; FLAC holds 16 or 24 "
        "bits.");
    row("log sweep from 0 Hz", {"--from", "0", "--sweep", "log"},
        "--from \"0\": with --to \"400\": a logarithmic sweep cannot start or end at 0 Hz.");
    row("sweep in a sequence", {"--sweep", "log", "--tones-per-file", "2"},
        "--tones-per-file \"2\": A sweep is made alone in its file: one tone per file.");
    row("band for a pitched tone", {"--band", "500-2000"},
        "--band \"500-2000\": only noise is filtered to a band: a noise type, or --noise under "
        "the tone.");
    row("prefix with a separator", {"--prefix", "../x"},
        "--prefix \"../x\": a prefix names a file in the folder: no separator, no control "
        "character, not \".\" or \"..\", at most 200 bytes, and not beginning with =, +, - or "
        "@, which a spreadsheet would run as a formula in the answer key.");
    // The key's first column begins with the prefix: a spreadsheet would run it (CWE-1236).
    row("prefix a formula", {"--prefix", "@SUM(1)"},
        "--prefix \"@SUM(1)\": a prefix names a file in the folder: no separator, no control "
        "character, not \".\" or \"..\", at most 200 bytes, and not beginning with =, +, - or "
        "@, which a spreadsheet would run as a formula in the answer key.");
    row("no jobs", {"--jobs", "0"}, "--jobs \"0\": not a number of runs at once from 1 to 256.");
    row("length past a day", {"--length", "1e20"},
        "--length \"1e20\": Tone length must be at most 24 hours (86400 seconds).");
    row("WAV past 4 GiB", {"--length", "40000", "--to", "30000", "--channel", "both"},
        "--length \"40000\": A WAV file holds at most 4 GiB: at 96000 Hz a file may last at "
        "most 5592 seconds.");
    row("level list without a design", {"--level", "-40,-30"},
        "--level \"-40,-30\": a list of levels is for a balanced design: add --balanced.");
    row("shard past its set", {"--count", "3", "--shard", "4/4"},
        "--shard \"4/4\": not K/N with 1 <= K <= N <= the count (3).");
    row("shard with never overwrite", {"--shard", "1/2", "--never-overwrite"},
        "--shard \"1/2\": not with --never-overwrite: a shard's numbers are fixed by the set.");
    row("count not whole rounds", {"--frequencies", "250,500,1000", "--balanced", "--count", "7"},
        "--count \"7\": not a whole number of rounds of 3 tones; 6 or 9 would be.");
    row("balanced with nothing listed", {"--balanced"},
        "--balanced \"\": needs the pitches listed with --frequencies, --notes or --pitch-list.");
    row("seed no number", {"--seed", "abc"},
        "--seed \"abc\": not a whole number from 0 to 18446744073709551615.");
    row("interval past every rate",
        {"--from", "1000", "--to", "1000", "--tones-per-file", "4", "--interval-cents", "2400"},
        "--interval-cents \"2400\": No sample rate holds a pitch of 64000 Hz: the highest, 96000 "
        "Hz, holds pitches below 48000 Hz.");
    row("band past every rate", {"--type", "whitenoise", "--band", "100-50000"},
        "--band \"100-50000\": No sample rate holds a pitch of 50000 Hz: the highest, 96000 Hz, "
        "holds pitches below 48000 Hz.");
    row("fade longer than half the tone", {"--fade", "20", "--length", "0.01"},
        "--fade \"20\": A fade of 20 ms is longer than half the tone (0.01 s): the tone would "
        "never reach its level.");
    row("MP3 past its rates", {"--format", "mp3", "--rate", "96000"},
        "--rate \"96000\": An MP3 file holds at most 48000 samples a second.");
    row("MP3 noise band past its encoder",
        {"--format", "mp3", "--type", "pinknoise", "--band", "100-17000"},
        "--band \"100-17000\": An MP3 file cannot hold noise above 16300 Hz: its encoder removes "
        "it.");
    row("frequency of no sound", {"--frequencies", "1e-300"},
        "--frequencies \"1e-300\": not frequencies from 1 to 32767 Hz like 250,500,1000, at most "
        "10000 of them.");
    row("octave past every number", {"--notes", "A99999999999"},
        "--notes \"A99999999999\": not notes of octaves -1 to 10 like A3..A5 or C4,Eb4,G4, at "
        "most 10000 of them.");
    row("bounds too far apart", {"--from", "0", "--to", "32767"},
        "--from \"0\": with --to \"32767\": the bounds may lie at most 32766 Hz apart.");
    row("count below one round", {"--frequencies", "250,500,1000", "--balanced", "--count", "2"},
        "--count \"2\": not a whole number of rounds of 3 tones; 3 would be.");
    {
        // Lists whose rounds pass 64 bits together once repeated.
        const auto repeated = [](const char* value, int times) {
            return QStringList(times, QString::fromLatin1(value)).join(QLatin1Char(','));
        };
        row("design past 64 bits",
            {"--balanced", "--frequencies", repeated("100", 10000), "--level",
             repeated("-1", 43684), "--channel", repeated("mono", 26214), "--repeats", "6539132"},
            "--repeats \"6539132\": more than 10000000 tones.");
    }
    row("shares that do not add up", {"--split", "train=0.8,test=0.1"},
        "--split \"train=0.8,test=0.1\": not NAME=SHARE,... with shares above 0 that add up to 1, "
        "like "
        "train=0.8,validation=0.1,test=0.1; a name is letters, digits, _ and -, not beginning "
        "with -, which a spreadsheet would run as a formula in the answer key.");
    row("split name a formula", {"--split", "train=0.5,-A1=0.5"},
        "--split \"train=0.5,-A1=0.5\": not NAME=SHARE,... with shares above 0 that add up to 1, "
        "like "
        "train=0.8,validation=0.1,test=0.1; a name is letters, digits, _ and -, not beginning "
        "with -, which a spreadsheet would run as a formula in the answer key.");
    row("AM rates listed in a design", {"--frequencies", "500", "--balanced", "--am", "4/8,0.5"},
        "--am \"4/8,0.5\": a balanced design balances only what it lists: give one rate, or leave "
        "out --balanced to draw the rate per tone.");
    row("time differences without a design", {"--channel", "both", "--itd-us", "0,250"},
        "--itd-us \"0,250\": a list of ear time differences is for a balanced design: add "
        "--balanced.");
    row("rounds without a design", {"--repeats", "2"},
        "--repeats \"2\": rounds are for a balanced design: add --balanced.");
    row("names that would not sort", {"--count", "200", "--digits", "2"},
        "--digits \"2\": fewer than the 3 digits of the largest number, 200: the names would "
        "not sort.");
    row("unknown option", {"--colour", "red"}, "Unknown option 'colour'.");
    row("argument without option", {"loud"}, "unexpected argument \"loud\".");
}

void TestBatch::remadeFromItsManifest_data() {
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
}

// A set made again from its manifest into another folder is the same, file for file.
void TestBatch::remadeFromItsManifest() {
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
void TestBatch::manifestSaysOnlyWhatDecided() {
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
void TestBatch::remakeRefusesWhatItCannotPromise() {
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
void TestBatch::splitsKeepTheirShares_data() {
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

void TestBatch::splitsKeepTheirShares() {
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
void TestBatch::splitByNumberSurvivesGrowth() {
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
void TestBatch::splitsAreStratifiedAndShardProof() {
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

// The key names a listed note as the user spelled it: Eb4, not D#4.
void TestBatch::notesKeepTheirSpelling() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--notes", "C4,Eb4,G4,Bb4", "--balanced", "--length", "0.05", "--folder",
                       folder.path()})
                 .exitStatus,
             0);
    QStringList notes = keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("note"));
    notes.sort();
    QCOMPARE(notes, (QStringList{"Bb4", "C4", "Eb4", "G4"}));
}

// The ears' RMS levels, from the file, lie the asked difference apart; the louder keeps the
// level.
void TestBatch::levelDifferenceBetweenTheEars() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "0.5", "--channel", "both", "--ild-db", "-7.5",
                       "--level", "-2", "--from", "500", "--to", "500", "--sample-size", "24",
                       "--folder", folder.path()})
                 .exitStatus,
             0);
    const std::optional<SoundSamples> sound =
        decodeWav(contentOf(folder.filePath(QStringLiteral("Ziravel_1.wav"))));
    QVERIFY(sound && sound->channels == 2);
    double power[2] = {0, 0};
    float peak[2] = {0, 0};
    for (std::size_t at = 0; at < sound->samples.size(); ++at) {
        power[at % 2] += double(sound->samples[at]) * sound->samples[at];
        peak[at % 2] = std::max(peak[at % 2], std::abs(sound->samples[at]));
    }
    QVERIFY(std::abs(10 * std::log10(power[0] / power[1]) - 7.5) < 0.1);
    QVERIFY(std::abs(20 * std::log10(peak[0]) + 2) < 0.1);
}

namespace {

// The amplitude of the sine at `hertz` in samples of whole periods of it.
double amplitudeAt(const std::vector<double>& samples, double hertz, double rate) {
    std::complex<double> sum;
    for (size_t at = 0; at < samples.size(); ++at)
        sum += samples[at] * std::polar(1.0, -2 * std::numbers::pi * hertz * double(at) / rate);
    return 2 * std::abs(sum) / double(samples.size());
}

double rmsOf(const std::vector<double>& samples) {
    double power = 0;
    for (const double sample : samples)
        power += sample * sample;
    return std::sqrt(power / double(samples.size()));
}

// The interleaved samples of a made WAV file.
SoundSamples madeSound(const QString& path) {
    const std::optional<SoundSamples> sound = decodeWav(contentOf(path));
    return sound.value_or(SoundSamples{});
}

} // namespace

// Noise filtered to a band is given headroom before the filter: SoX, given the set's own
// arguments, clips nothing, and the noise peaks at its level.
void TestBatch::bandNoiseIsNotClipped() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--type", "whitenoise", "--band", "300-3400", "--rate",
                       "8000", "--length", "2", "--level", "-20", "--sample-size", "24", "--seed",
                       "1", "--folder", folder.path()})
                 .exitStatus,
             0);
    QStringList arguments;
    const QJsonObject manifest =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object();
    for (const QJsonValue& argument :
         manifest.value(QStringLiteral("first_tone_arguments")).toArray())
        arguments << argument.toString();
    QProcess sox;
    sox.setWorkingDirectory(folder.path());
    sox.start(QStringLiteral("sox"),
              QStringList{"-R"} + arguments.replaceInStrings(QStringLiteral("Ziravel_1.wav"),
                                                             QStringLiteral("again.wav")));
    QVERIFY(sox.waitForFinished());
    QCOMPARE(QString::fromLocal8Bit(sox.readAllStandardError()), QString());
    const SoundSamples sound = madeSound(folder.filePath(QStringLiteral("Ziravel_1.wav")));
    double peak = 0;
    for (const double sample : sound.samples)
        peak = std::max(peak, std::abs(sample));
    QVERIFY2(std::abs(20 * std::log10(peak) + 20) < 0.01, qPrintable(QString::number(peak)));
}

// Each stimulus as its file holds it: a complex's harmonics by their amplitudes, the missing
// fundamental absent; AM's depth and rate from the envelope; FM's deviation from the zero
// crossings; the lead of one ear by cross-correlation.
void TestBatch::stimuliFromTheirFiles() {
    QTemporaryDir folder;
    const auto made = [&](const QString& name, const QStringList& arguments) {
        const BatchResult batch =
            runBatch(QStringList{"--count", "1", "--sample-size", "24", "--prefix", name,
                                 "--folder", folder.path()} +
                     arguments);
        [&] { QCOMPARE(batch.errors, QString()); }();
        return madeSound(folder.filePath(name + QStringLiteral("1.wav")));
    };
    const auto channel = [](const SoundSamples& sound, int which) {
        std::vector<double> samples;
        for (size_t at = size_t(which); at < sound.samples.size(); at += size_t(sound.channels))
            samples.push_back(sound.samples[at]);
        return samples;
    };

    const std::vector<double> complex =
        channel(made("h_", {"--length", "0.5", "--from", "200", "--to", "200", "--harmonics",
                            "2,3,4,5", "--harmonic-slope", "-6", "--harmonic-phase", "random"}),
                0);
    QVERIFY(!complex.empty());
    // Each listed harmonic 6 dB down per octave from the second, none where none is listed.
    const double second = amplitudeAt(complex, 400, 8000);
    for (const int harmonic : {3, 4, 5})
        QVERIFY(std::abs(20 * std::log10(second / amplitudeAt(complex, 200 * harmonic, 8000)) -
                         6 * std::log2(harmonic / 2.0)) < 0.1);
    for (const double absent : {200, 1200, 1400})
        QVERIFY(amplitudeAt(complex, absent, 8000) < second * 1e-4);

    // Samples at 8 per period of 1000 Hz: each period's largest is the envelope.
    const std::vector<double> am = channel(
        made("am_", {"--length", "1", "--from", "1000", "--to", "1000", "--am", "8,0.5"}), 0);
    std::vector<double> envelope;
    for (size_t period = 0; period + 8 <= am.size(); period += 8) {
        double largest = 0;
        for (size_t at = period; at < period + 8; ++at)
            largest = std::max(largest, std::abs(am[at]));
        envelope.push_back(largest);
    }
    double mean = 0;
    for (const double value : envelope)
        mean += value / double(envelope.size());
    QVERIFY(std::abs(amplitudeAt(envelope, 8, 1000) / mean - 0.5) < 0.02);
    QVERIFY(amplitudeAt(envelope, 4, 1000) / mean < 0.01);

    const std::vector<double> fm =
        channel(made("fm_", {"--length", "1", "--from", "1000", "--to", "1000", "--rate", "48000",
                             "--fm", "5,100"}),
                0);
    double lowest = HUGE_VAL;
    double highest = 0;
    double lastCrossing = -1;
    for (size_t at = 1; at < fm.size(); ++at)
        if (fm[at - 1] < 0 && fm[at] >= 0) {
            const double crossing = double(at - 1) + fm[at - 1] / (fm[at - 1] - fm[at]);
            if (lastCrossing >= 0) {
                lowest = std::min(lowest, 48000 / (crossing - lastCrossing));
                highest = std::max(highest, 48000 / (crossing - lastCrossing));
            }
            lastCrossing = crossing;
        }
    QVERIFY2(std::abs(highest - 1100) < 3 && std::abs(lowest - 900) < 3,
             qPrintable(QStringLiteral("%1 to %2 Hz").arg(lowest).arg(highest)));

    // 300 us at 48000 Hz: 14 samples, by which the left ear lags and the file is longer.
    const SoundSamples ears = made("itd_", {"--length", "0.3", "--type", "whitenoise", "--channel",
                                            "both", "--rate", "48000", "--itd-us", "300"});
    const std::vector<double> left = channel(ears, 0);
    const std::vector<double> right = channel(ears, 1);
    QCOMPARE(left.size(), size_t(0.3 * 48000 + 14));
    int bestLag = 0;
    double best = -HUGE_VAL;
    for (int lag = -30; lag <= 30; ++lag) {
        double sum = 0;
        for (size_t at = 30; at + 30 < left.size(); ++at)
            sum += left[at] * right[size_t(int(at) - lag)];
        if (sum > best) {
            best = sum;
            bestLag = lag;
        }
    }
    QCOMPARE(bestLag, 14);
}

// The tone and its noise, made alone from the same seed, add up to the file, their RMS levels
// the SNR apart; the band filters the noise alone; a mix that would clip is refused.
void TestBatch::toneInNoiseAtItsSnr() {
    QTemporaryDir folder;
    QCOMPARE(
        runBatch({"--count", "1",        "--length",      "0.5",    "--from",   "500",     "--to",
                  "500",     "--noise",  "pinknoise",     "--snr",  "5",        "--level", "-20",
                  "--fade",  "20",       "--sample-size", "24",     "--engine", "library", "--seed",
                  "3",       "--folder", folder.path(),   "--band", "1000-2000"})
            .errors,
        QString());
    const QJsonObject manifest =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object();
    const QStringList lines =
        QString::fromUtf8(contentOf(folder.filePath(QStringLiteral("Ziravel_tones.csv"))))
            .split(QLatin1Char('\n'));
    const qsizetype seedColumn =
        lines[0].split(QLatin1Char(',')).indexOf(QStringLiteral("tone_seed"));
    const auto seed =
        std::int32_t(quint32(lines[1].split(QLatin1Char(','))[seedColumn].toULongLong()));
    const auto part = [&](const char* weights) {
        std::vector<std::string> arguments;
        for (const QJsonValue argument :
             manifest.value(QStringLiteral("first_tone_arguments")).toArray()) {
            QString text = argument.toString();
            if (text == QLatin1String("Ziravel_1.wav"))
                text = folder.filePath(QStringLiteral("part.wav"));
            else if (text.startsWith(QLatin1String("1v1,")))
                text = weights ? QLatin1String(weights) + text.mid(3) : QStringLiteral("1v1");
            arguments.push_back(text.toStdString());
        }
        [&] { QCOMPARE(makeToneWithLibsox(arguments, seed).status, 0); }();
        const SoundSamples sound = madeSound(folder.filePath(QStringLiteral("part.wav")));
        return std::vector<double>(sound.samples.begin(), sound.samples.end());
    };
    const std::vector<double> tone = part("1v0");
    // The band filters the noise alone: the tone at 500 Hz keeps its level, 0.1 but for the
    // fades' 20 ms at each end.
    QVERIFY(std::abs(20 * std::log10(amplitudeAt(tone, 500, 8000) / (0.1 * 0.96))) < 0.05);
    const std::vector<double> noise = part(nullptr);
    QVERIFY(powerShareBetween(folder.filePath(QStringLiteral("part.wav")), 900, 2100) > 0.98);
    const SoundSamples mixed = madeSound(folder.filePath(QStringLiteral("Ziravel_1.wav")));
    QVERIFY(!tone.empty() && tone.size() == mixed.samples.size() && noise.size() == tone.size());
    // The noise's share of the mix, and what the mix holds beside the two parts.
    double along = 0;
    double power = 0;
    for (size_t at = 0; at < tone.size(); ++at) {
        along += (mixed.samples[at] - tone[at]) * noise[at];
        power += noise[at] * noise[at];
    }
    const double share = along / power;
    std::vector<double> rest(tone.size());
    for (size_t at = 0; at < tone.size(); ++at)
        rest[at] = mixed.samples[at] - tone[at] - share * noise[at];
    QVERIFY(rmsOf(rest) < 1e-5);
    QVERIFY(std::abs(20 * std::log10(rmsOf(tone) / (share * rmsOf(noise))) - 5) < 0.1);
    // A mix that could pass full scale is refused before the first tone, naming the level that
    // fits; at that level every tone of a long design is made.
    const QStringList design{"--frequencies", "500",         "--balanced", "--repeats", "20",
                             "--length",      "0.5",         "--noise",    "pinknoise", "--snr",
                             "-12,0",         "--engine",    "library",    "--seed",    "3",
                             "--folder",      folder.path(), "--prefix",   "loud_"};
    const BatchResult loud = runBatch(design);
    QCOMPARE(loud.exitStatus, 2);
    QCOMPARE(loud.errors,
             QStringLiteral("ziravel-batch: --level \"0\": in its noise at an SNR of -12 "
                            "dB a tone at 0 dBFS could pass 0 dBFS; the level may be "
                            "at most -22.9.\n"));
    QCOMPARE(runBatch(design + QStringList{"--level", "-22.9"}).exitStatus, 0);
}

// A square wave's samples are its fade: each shape's ramp, sample by sample, is SoX's
// construction of it and lies as close to its formula as that construction can.
void TestBatch::fadeShapesFollowTheirFormulas() {
    QTemporaryDir folder;
    const double pi = std::numbers::pi;
    const struct {
        const char* shape;
        std::function<double(double)> made;
        std::function<double(double)> formula;
        double within;
    } shapes[] = {
        {"raised-cosine", [&](double x) { return (1 - std::cos(pi * x)) / 2; },
         [&](double x) { return (1 - std::cos(pi * x)) / 2; }, 1e-5},
        {"linear", [](double x) { return x; }, [](double x) { return x; }, 1e-5},
        {"gaussian", [&](double x) { return (1 - std::cos(pi * x)) / 2 * std::sin(pi * x / 2); },
         [](double x) { return std::exp(-std::pow(3 * (x - 1), 2) / 2); }, 0.045},
        {"hamming", [](double x) { return std::min(1.0, x / 0.9); },
         [&](double x) { return 0.54 - 0.46 * std::cos(pi * x); }, 0.081},
    };
    for (const auto& shape : shapes) {
        const QString prefix = QLatin1String(shape.shape) + QLatin1Char('_');
        QCOMPARE(runBatch({"--count", "1",        "--length",     "0.5",       "--type",
                           "square",  "--from",   "100",          "--to",      "100",
                           "--fade",  "50",       "--fade-shape", shape.shape, "--sample-size",
                           "24",      "--prefix", prefix,         "--folder",  folder.path()})
                     .errors,
                 QString());
        const SoundSamples sound = madeSound(folder.filePath(prefix + QStringLiteral("1.wav")));
        QVERIFY(sound.samples.size() == 4000);
        double fromMade = 0;
        double fromFormula = 0;
        for (int at = 0; at < 400; ++at) {
            const double gain = std::abs(sound.samples[size_t(at)]);
            fromMade = std::max(fromMade, std::abs(gain - shape.made(at / 400.0)));
            fromFormula = std::max(fromFormula, std::abs(gain - shape.formula(at / 400.0)));
        }
        QVERIFY2(fromMade < 1e-5 && fromFormula < shape.within,
                 qPrintable(QStringLiteral("%1: %2 from its making, %3 from its formula")
                                .arg(shape.shape)
                                .arg(fromMade)
                                .arg(fromFormula)));
    }
}

// A missing shard, or one of another set, is named, and no whole key is written.
void TestBatch::mergeNamesTheShardAtFault() {
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
void TestBatch::mergeBelievesNothingUnchecked_data() {
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

void TestBatch::mergeBelievesNothingUnchecked() {
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

// Piped, a run says what it made on the error output and leaves standard output empty.
void TestBatch::summaryGoesToErrorOutput() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                withEngine({"--count", "2", "--length", "0.1", "--folder", folder.path()}));
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.readAllStandardOutput(), QByteArray());
    QVERIFY2(batch.readAllStandardError().startsWith("Made 2 of 2 tones, 0 failed, in "),
             "no summary");
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

void TestBatch::stopSignalLeavesNoPartialFile_data() {
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGINT") << SIGINT;
    QTest::newRow("SIGTERM") << SIGTERM;
    QTest::newRow("SIGHUP") << SIGHUP;
}

void TestBatch::stopSignalLeavesNoPartialFile() {
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
void TestBatch::stopEndsTonesUnderWay() {
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

void TestBatch::progressOnlyOnATerminal() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count", "4", "--length", "0.1", "--folder", folder.path()};
    const QByteArray shown = terminalOutput(arguments);
    QVERIFY2(shown.contains("\rtone 4 of 4, 0 failed, 0.0 s left"), shown.constData());
    // The line is cleared at the end, and a summary says where the set went.
    QVERIFY2(shown.contains("\r\x1b[KMade 4 of 4 tones, 0 failed, in "), shown.constData());
    QVERIFY2(
        shown.trimmed().endsWith(". Key: " + QFile::encodeName(folder.filePath(answerKeyFileName))),
        shown.constData());
    QCOMPARE(terminalOutput(arguments + QStringList{"--quiet"}), QByteArray());
}

void TestBatch::sameReasonIsToldOnce() {
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
    for (const char* version : {"--version", "-V"}) {
        batch.start(QStringLiteral(ZIRAVEL_BATCH), {version});
        QVERIFY(batch.waitForFinished());
        QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardOutput()),
                 QStringLiteral("ziravel-batch " ZIRAVEL_VERSION "\n"));
    }
}

// The manual page is made from the same options as --help: neither lists one the other lacks.
void TestBatch::helpAndManualPageAgree() {
    const auto optionsIn = [](const QStringList& arguments, const QString& pattern) {
        QSet<QString> names;
        QRegularExpressionMatchIterator found =
            QRegularExpression(pattern, QRegularExpression::MultilineOption)
                .globalMatch(printedBy(arguments));
        while (found.hasNext())
            names.insert(found.next().captured(1));
        return names;
    };
    const QSet<QString> help = optionsIn({"--help"}, QStringLiteral("^  (?:-\\w, )?--([a-z-]+)"));
    const QSet<QString> manual = optionsIn(
        {"--manual-page"}, QStringLiteral("^\\.TP\\n(?:.*, )?\\\\fB\\\\-\\\\-([a-z\\\\-]+)"));
    QSet<QString> manualNames;
    for (QString name : manual)
        manualNames.insert(name.remove(QStringLiteral("\\f")).remove(QLatin1Char('\\')));
    QVERIFY(help.size() >= 35);
    QCOMPARE(manualNames, help);
}

// Each example of the manual page is a command of the README, word for word.
// Every line of the README that makes a set runs as written, each in a folder of its own; lines
// that need a shell's variables or another program are left to the cluster's test.
void TestBatch::readmeRecipesRunAsWritten() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    int recipes = 0;
    for (const QString& line : linesOf(QStringLiteral(ZIRAVEL_README))) {
        const QString command = line.trimmed();
        if (!command.startsWith(QStringLiteral("ziravel-batch --")) ||
            command.contains(QLatin1Char('$')) || command.contains(QLatin1Char('`')) ||
            command.contains(QStringLiteral("--merge")) ||
            command.contains(QStringLiteral("--help")) ||
            command.contains(QStringLiteral("--remake")) ||
            command.contains(QStringLiteral("FOLDER")))
            continue;
        QStringList arguments = command.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1);
        const QString own = folder.filePath(QString::number(++recipes));
        if (const qsizetype at = arguments.indexOf(QStringLiteral("--folder")); at >= 0)
            arguments[at + 1] = own + QLatin1Char('/') + QFileInfo(arguments[at + 1]).fileName();
        else
            arguments << QStringLiteral("--folder") << own;
        // As written: with the engine it names or the default one.
        QProcess batch;
        batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments << QStringLiteral("--quiet"));
        QVERIFY(batch.waitForFinished(120000));
        QVERIFY2(batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0,
                 qPrintable(command + QLatin1Char('\n') + batch.readAllStandardError()));
    }
    QVERIFY(recipes >= 10);
}

void TestBatch::manualExamplesAreInTheReadme() {
    QStringList readmeLines;
    for (const QString& line : linesOf(QStringLiteral(ZIRAVEL_README)))
        readmeLines << line.trimmed();
    QRegularExpressionMatchIterator example =
        QRegularExpression(QStringLiteral("^\\.nf\\n((?:.|\\n)*?)\\n\\.fi$"),
                           QRegularExpression::MultilineOption)
            .globalMatch(printedBy({"--manual-page"}));
    int examples = 0;
    for (; example.hasNext(); ++examples) {
        const QString command = example.next()
                                    .captured(1)
                                    .replace(QStringLiteral(" \\e\n    "), QStringLiteral(" "))
                                    .replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QVERIFY2(readmeLines.contains(command), qPrintable(command));
    }
    QVERIFY(examples >= 5);
}

void TestBatch::storedInputsOnlyWhenAsked() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir stored;
    QTemporaryDir given;
    const QProcessEnvironment environment = withStoredSettings(
        config, "[General]\nCombo1=1\nText1=0.2\nText2=2\nText3=500\nText4=500\nText5=" +
                    stored.path().toUtf8() + "\nOptionPrefix=kept_\n");
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    const QByteArray before = contentOf(file);
    const QDateTime changed = QFileInfo(file).lastModified();

    QCOMPARE(runBatch({"--length", "0.1", "--folder", given.path()}, {}, environment).exitStatus,
             0);
    QCOMPARE(QDir(given.path()).entryList({QStringLiteral("*.wav")}).size(), 3);
    QCOMPARE(runBatch({"--from-settings"}, {}, environment).exitStatus, 0);
    QCOMPARE(QDir(stored.path()).entryList(QDir::Files),
             (QStringList{"kept_1.wav", "kept_2.wav", "kept_set.json", "kept_tones.csv"}));
    QVERIFY(linesOf(stored.filePath(QStringLiteral("kept_tones.csv")))
                .value(1)
                .startsWith(QStringLiteral("kept_1.wav,500,B4,+21,square,0.2,")));
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

// "2.0" is row 2 for the window: for ziravel-batch too.
void TestBatch::storedRowIsReadAsTheWindowReadsIt() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir folder;
    const QProcessEnvironment environment = withStoredSettings(
        config,
        "[General]\nCombo1=2.0\nText1=0.1\nText2=1\nText5=" + folder.path().toUtf8() + "\n");
    QCOMPARE(runBatch({"--from-settings"}, {}, environment).exitStatus, 0);
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("waveform")),
             QStringList{"triangle"});
}

// A preset the window saved, a bad value in it giving way to the default; a built-in one.
void TestBatch::presetFromTheSettings() {
    QTemporaryDir config;
    QTemporaryDir folder;
    // As the window writes it.
    const QProcessEnvironment environment = withStoredSettings(
        config, "[Presets/Right.20ear]\nOptionChannel=right\nOptionLevel=loud\nOptionFade=15\n");
    QCOMPARE(runBatch({"--preset", "Right ear", "--count", "1", "--folder", folder.path()}, {},
                      environment)
                 .exitStatus,
             0);
    QCOMPARE(keyFields(linesOf(folder.filePath(answerKeyFileName)).value(1),
                       {"level_dbfs", "made", "sample_size_bits", "channel", "fade_ms"}),
             QStringLiteral("0,yes,32,right,15"));
    QCOMPARE(runBatch({"--preset", "Compatible WAV", "--count", "1", "--folder", folder.path()}, {},
                      environment)
                 .exitStatus,
             0);
    QCOMPARE(keyFields(linesOf(folder.filePath(answerKeyFileName)).value(1),
                       {"sample_rate_hz", "level_dbfs", "made", "sample_size_bits"}),
             QStringLiteral("44100,0,yes,16"));
    const BatchResult unknown = runBatch({"--preset", "Left ear"}, {}, environment);
    QCOMPARE(unknown.exitStatus, 2);
    QCOMPARE(unknown.errors, QStringLiteral("ziravel-batch: --preset \"Left ear\": no such preset; "
                                            "there are Compatible WAV, Hearing check, Ear "
                                            "training, Right ear.\n"));
}

// Not as root, to whom every folder is open.
void TestBatch::folderThatCannotBeWritten() {
    QTemporaryDir folder;
    QVERIFY(chmod(QFile::encodeName(folder.path()).constData(), 0555) == 0);
    QProcess batch;
    if (geteuid() == 0)
        batch.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                withEngine({"--count", "1", "--folder", folder.path()}));
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardError()),
             QStringLiteral("ziravel-batch: --folder \"%1\": the folder cannot be written.\n")
                 .arg(folder.path()));
    QCOMPARE(batch.exitCode(), 2);
}

void TestBatch::unsafeSettingsAreTold() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir folder;
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QDir().mkpath(QFileInfo(file).path());
    QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const BatchResult batch = runBatch(
        {"--from-settings", "--length", "0.1", "--folder", folder.path()}, {}, environment);
    QCOMPARE(batch.exitStatus, 0);
    QVERIFY2(batch.errors.startsWith(QStringLiteral("ziravel-batch: the stored settings cannot be "
                                                    "read safely, so the defaults are used: ")),
             qPrintable(batch.errors));
}

void TestBatch::keyIsNeverWrittenThrough_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("neverOverwrite");
    QTest::newRow("link to a file, replaced") << "link" << false;
    QTest::newRow("link to a file, added to") << "link" << true;
    QTest::newRow("pipe, added to") << "fifo" << true;
    QTest::newRow("link to an endless device, added to") << "zero" << true;
}

// Another user plants the key's name in a folder that all may write.
void TestBatch::keyIsNeverWrittenThrough() {
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

// A prefix of bytes that are no UTF-8 text would become other characters: refused.
void TestBatch::argumentThatIsNoText() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QByteArray program = ZIRAVEL_BATCH;
    const QByteArray folderPath = QFile::encodeName(folder.path());
    char* arguments[] = {const_cast<char*>(program.constData()),
                         const_cast<char*>("--prefix"),
                         const_cast<char*>("a\xff_"),
                         const_cast<char*>("--folder"),
                         const_cast<char*>(folderPath.constData()),
                         nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    QCOMPARE(posix_spawn(&pid, program.constData(), &quiet, nullptr, arguments, environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QCOMPARE(WEXITSTATUS(status), 2);
    QVERIFY(QDir(folder.path()).isEmpty());
}

// Noise filtered to a band so low that every sample is 0: a whole file, but no tone.
void TestBatch::silentFileIsNotMade() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const BatchResult batch =
        runBatch({"--count", "1", "--length", "0.1", "--type", "whitenoise", "--band",
                  "0.0000001-0.0000002", "--folder", folder.path()});
    QCOMPARE(batch.exitStatus, 1);
    // All zeros, or, from noise the tool seeds itself, next to nothing.
    QVERIFY2(batch.errors.contains(
                 QRegularExpression(QStringLiteral("Ziravel_1\\.wav (is silent|peaks at -1)"))),
             qPrintable(batch.errors));
    QVERIFY(!QFile::exists(folder.filePath(QStringLiteral("Ziravel_1.wav"))));
    QCOMPARE(madeColumn(linesOf(folder.filePath(answerKeyFileName)).value(1)),
             QStringLiteral("no"));
}

void TestBatch::toneNameHeldByAnotherIsLeftAlone_data() {
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
void TestBatch::toneNameHeldByAnotherIsLeftAlone() {
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

void TestBatch::fullDiskKeepsTheKey_data() {
    QTest::addColumn<bool>("neverOverwrite");
    QTest::newRow("replaced") << false;
    QTest::newRow("added to") << true;
}

void TestBatch::fullDiskKeepsTheKey() {
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

void TestBatch::prefixIsLiteralText_data() {
    QTest::addColumn<QString>("prefix");
    QTest::newRow("wildcard brackets") << "t[1]_";
    QTest::newRow("hidden") << ".hid_";
}

void TestBatch::prefixIsLiteralText() {
    QFETCH(QString, prefix);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    // A file of the user's that the prefix, read as a pattern, would match.
    const QString matchedName = QString(prefix).remove('[').remove(']') + "1.wav";
    const QString matched = folder.filePath(matchedName);
    const bool pattern = matchedName != prefix + "1.wav";
    if (pattern)
        TestSupport::writeFile(matched, "precious");
    const QStringList arguments{"--count",  "2",           "--length",
                                "0.1",      "--prefix",    prefix,
                                "--folder", folder.path(), "--never-overwrite"};
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QStringList expected{prefix + "1.wav", prefix + "2.wav", prefix + "3.wav", prefix + "4.wav"};
    if (pattern) {
        QCOMPARE(contentOf(matched), QByteArray("precious"));
        expected << matchedName;
    }
    expected.sort();
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}, QDir::Files | QDir::Hidden),
             expected);
    QCOMPARE(linesOf(folder.filePath(prefix + "tones.csv")).size(), 5);
}

void TestBatch::numbersBeyond32Bits() {
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

// Four batches into one folder: every tone gets a file of its own and a row of its own.
void TestBatch::runsAtOnceNeverShareAFile() {
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
void TestBatch::killedRunLeavesNoFileUnlisted() {
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
void TestBatch::killedRunsPrivateFoldersGo() {
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

void TestBatch::killedRunLeavesATrueKey() {
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
void TestBatch::secondRunIsRefused() {
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
void TestBatch::neverOverwriteKeepsEveryRun() {
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
void TestBatch::stopWhileTheKeyIsLocked() {
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
void TestBatch::stalledToneIsNamed() {
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
void TestBatch::killedRunsReservationsGo() {
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
void TestBatch::safeWriterSyncsBeforeItRenames() {
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
void TestBatch::fullTemporaryFolderKeepsTheKey() {
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

void TestBatch::mp3PitchIsHeardOrRefused_data() {
    QTest::addColumn<int>("hertz");
    QTest::addColumn<QString>("refusal");
    // Pitches that the lowest rate holding them once made silent, and one just under the
    // highest low-pass: heard, not silence.
    for (const int hertz : {3100, 6000, 8500, 16200})
        QTest::addRow("%d Hz", hertz) << hertz << QString();
    QTest::newRow("above every low-pass")
        << 17000 << "An MP3 file cannot hold a tone above 16300 Hz: its encoder removes it.";
    QTest::newRow("0 Hz") << 0 << "A tone of 0 Hz is silence, so it is not made.";
}

void TestBatch::mp3PitchIsHeardOrRefused() {
    QFETCH(int, hertz);
    QFETCH(QString, refusal);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QString pitch = QString::number(hertz);
    const BatchResult batch = runBatch({"--count", "1", "--length", "0.5", "--format", "mp3",
                                        "--from", pitch, "--to", pitch, "--folder", folder.path()});
    const QString tone = folder.filePath(QStringLiteral("Ziravel_1.mp3"));
    if (refusal.isEmpty()) {
        QCOMPARE(batch.exitStatus, 0);
        const double rms = TestSupport::rmsAmplitude(tone);
        QVERIFY2(rms > 0.5, qPrintable(QString::number(rms)));
    } else {
        QCOMPARE(batch.exitStatus, 1);
        QCOMPARE(batch.errors.split('\n').first(),
                 QStringLiteral("ziravel-batch: Ziravel_1.mp3: ") + refusal);
        QVERIFY(!QFile::exists(tone));
        QVERIFY(madeColumn(linesOf(folder.filePath(answerKeyFileName)).at(1)) ==
                QLatin1String("no"));
    }
}

// Anyone may rename entries in it: no tool of ours is safe there, and none runs.
void TestBatch::refusedToolFolderRunsNothing() {
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
void TestBatch::jobsBeyondTheDescriptorLimit() {
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

QTEST_MAIN(TestBatch)
#include "tst_batch.moc"
