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

// ziravel-batch: the sound of its files, judged from the files.
class TestBatchSound : public QObject {
    Q_OBJECT

private slots:
    void sameFilesAsTheWindow_data();
    void sameFilesAsTheWindow();
    void seedRepeatsNoiseAndDither();
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
    void bandNoiseIsNotClipped();
    void notesKeepTheirSpelling();
    void levelDifferenceBetweenTheEars();
    void stimuliFromTheirFiles();
    void toneInNoiseAtItsSnr();
    void fadeShapesFollowTheirFormulas();
    void silentFileIsNotMade();
    void mp3PitchIsHeardOrRefused_data();
    void mp3PitchIsHeardOrRefused();
};

void TestBatchSound::sameFilesAsTheWindow_data() {
    QTest::addColumn<bool>("mp3");
    QTest::addColumn<bool>("options");
    QTest::newRow("WAV") << false << false;
    QTest::newRow("MP3") << true << false;
    QTest::newRow("every option") << false << true;
}

// The window's batch and ziravel-batch, with the same values and the same seed.
void TestBatchSound::sameFilesAsTheWindow() {
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

// The library takes a seed per tone: noise and dither come out the same with any --jobs,
// and each noise file is its own.
void TestBatchSound::seedRepeatsNoiseAndDither() {
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

// Every combination of the lists comes equally often, and the files are what the key says.
void TestBatchSound::balancedDesign() {
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
void TestBatchSound::levelInTenths() {
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
void TestBatchSound::flacHoldsTheWavSamples() {
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

void TestBatchSound::floatingPointWav() {
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

void TestBatchSound::sweepEndsFromTheFile_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("end");
    QTest::newRow("linear up") << QStringList{"--sweep", "linear"} << 1000.0 << 1150.0;
    QTest::newRow("log down") << QStringList{"--sweep", "log", "--shape", "down"} << 1150.0
                              << 1000.0;
}

// The ends measured over the first and the last tenth of the file, a short-time FFT each.
void TestBatchSound::sweepEndsFromTheFile() {
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
void TestBatchSound::logSweepPassesTheGeometricMean() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--length", "2", "--from", "500", "--to", "4000", "--rate",
                       "16000", "--sweep", "log", "--folder", folder.path()})
                 .exitStatus,
             0);
    const double middle =
        mainFrequencyBetween(folder.filePath(QStringLiteral("Ziravel_1.wav")), 0.45, 0.55);
    QVERIFY2(std::abs(middle / 1414 - 1) < 0.12, qPrintable(QString::number(middle)));
}

void TestBatchSound::drawnSweepEnds() {
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
void TestBatchSound::sequenceFromTheFile() {
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
void TestBatchSound::balancedIntervalDirections() {
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

void TestBatchSound::noiseInItsBand_data() {
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

void TestBatchSound::noiseInItsBand() {
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

void TestBatchSound::rmsLevelFromTheFiles_data() {
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
void TestBatchSound::rmsLevelFromTheFiles() {
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

// The key names a listed note as the user spelled it: Eb4, not D#4.
void TestBatchSound::notesKeepTheirSpelling() {
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
void TestBatchSound::levelDifferenceBetweenTheEars() {
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

// Noise filtered to a band is given headroom before the filter: SoX, given the set's own
// arguments, clips nothing, and the noise peaks at its level.
void TestBatchSound::bandNoiseIsNotClipped() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count", "1", "--type", "whitenoise", "--band", "300-3400", "--rate",
                       "8000", "--length", "2", "--level", "-20", "--sample-size", "24", "--seed",
                       "1", "--folder", folder.path()})
                 .exitStatus,
             0);
    QStringList arguments = firstToneArguments(folder);
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
void TestBatchSound::stimuliFromTheirFiles() {
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
    for (const int harmonic : {3, 4, 5}) {
        const double downDb = 20 * std::log10(second / amplitudeAt(complex, 200 * harmonic, 8000));
        QVERIFY2(
            std::abs(downDb - 6 * std::log2(harmonic / 2.0)) < 0.1,
            qPrintable(
                QStringLiteral("harmonic %1: %2 dB below the second").arg(harmonic).arg(downDb)));
    }
    for (const double absent : {200, 1200, 1400})
        QVERIFY2(amplitudeAt(complex, absent, 8000) < second * 1e-4,
                 qPrintable(QStringLiteral("%1 Hz at %2 of the second")
                                .arg(absent)
                                .arg(amplitudeAt(complex, absent, 8000) / second)));

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
    const double depth = amplitudeAt(envelope, 8, 1000) / mean;
    const double elsewhere = amplitudeAt(envelope, 4, 1000) / mean;
    QVERIFY2(std::abs(depth - 0.5) < 0.02 && elsewhere < 0.01,
             qPrintable(QStringLiteral("depth %1 at 8 Hz, %2 at 4 Hz").arg(depth).arg(elsewhere)));

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
void TestBatchSound::toneInNoiseAtItsSnr() {
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
void TestBatchSound::fadeShapesFollowTheirFormulas() {
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

// Noise filtered to a band so low that every sample is 0: a whole file, but no tone.
void TestBatchSound::silentFileIsNotMade() {
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

void TestBatchSound::mp3PitchIsHeardOrRefused_data() {
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

void TestBatchSound::mp3PitchIsHeardOrRefused() {
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

QTEST_MAIN(TestBatchSound)
#include "tst_batch_sound.moc"
