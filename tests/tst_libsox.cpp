// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "making/libsox/LibsoxEngine.h"
#include "making/libsox/LibsoxTone.h"
#include "tone/ToneCommand.h"

#include <QDirIterator>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

using TestSupport::contentOf;

namespace {

std::vector<std::string> encoded(const QStringList& arguments) {
    std::vector<std::string> bytes;
    for (const QString& argument : arguments)
        bytes.push_back(QFile::encodeName(argument).toStdString());
    return bytes;
}

// The tone's file from the library, with the seed.
QByteArray madeInProcess(Tone tone, const QString& path, std::int32_t seed) {
    tone.outputPath = path;
    const LibsoxRun run = makeToneWithLibsox(encoded(toolArguments(tone)), seed);
    return run.status == 0 ? contentOf(path) : QByteArray();
}

// The test's own children, by process id: the engine's workers.
QList<pid_t> childrenOfThisTest() {
    QList<pid_t> children;
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        const QString stat = contentOf(processes.next() + QStringLiteral("/stat"));
        // pid (name) state ppid ...: the name may hold blanks, the last ")" ends it.
        const QStringList fields = stat.mid(stat.lastIndexOf(QLatin1Char(')')) + 2).split(' ');
        if (fields.size() > 1 && fields[1].toInt() == getpid())
            children << processes.fileName().toInt();
    }
    return children;
}

} // namespace

class TestLibsox : public QObject {
    Q_OBJECT

private slots:
    void sameBytesAsTheTool();
    void seedDecidesNoiseAndDither();
    void workerThatDiesIsTold();
};

// For every waveform and option, WAV, MP3 and FLAC, the file is the tool's own under -R.
void TestLibsox::sameBytesAsTheTool() {
    QTemporaryDir folder;
    const auto withOptions = [](auto change) {
        ToneOptions options;
        change(options);
        return options;
    };
    const QList<ToneOptions> optionSets{
        ToneOptions(),
        withOptions([](ToneOptions& o) { o.sampleBits = 16; }),
        withOptions([](ToneOptions& o) {
            o.sampleBits = 24;
            o.sampleRate = 48000;
        }),
        withOptions([](ToneOptions& o) {
            o.levelDb = -40;
            o.fadeMs = 20;
            o.channel = ToneOptions::Channel::leftOnly;
        }),
        withOptions([](ToneOptions& o) {
            o.sampleBits = 16;
            o.levelDb = -6;
            o.channel = ToneOptions::Channel::bothEars;
        }),
        withOptions([](ToneOptions& o) {
            o.fadeMs = 500;
            o.channel = ToneOptions::Channel::rightOnly;
            o.sampleRate = 44100;
        }),
        withOptions([](ToneOptions& o) {
            o.sampleBits = 16;
            o.channel = ToneOptions::Channel::leftOnly;
        }),
        withOptions([](ToneOptions& o) {
            o.channel = ToneOptions::Channel::bothEars;
            o.ildDb = -6.5;
            o.levelDb = -3;
        }),
        withOptions([](ToneOptions& o) {
            o.floatSamples = true;
            o.sampleBits = 32;
        }),
    };
    const struct {
        const char* length;
        double frequency;
    } pitches[] = {{"0.05", 440}, {"1.3", 2999}, {"0.5", 7000}};
    int compared = 0;
    const auto compare = [&](Tone tone, const char* extension) {
        tone.outputPath = folder.filePath(QStringLiteral("tool") + extension);
        QVERIFY(TestSupport::runSox(QStringList{QStringLiteral("-R")} + toolArguments(tone)));
        const QByteArray library =
            madeInProcess(tone, folder.filePath(QStringLiteral("library") + extension), 0);
        QVERIFY2(!library.isEmpty() && library == contentOf(tone.outputPath),
                 qPrintable(toolArguments(tone).join(QLatin1Char(' '))));
        ++compared;
    };
    for (int row = 0; row < 9; ++row)
        for (const ToneOptions& options : optionSets)
            for (const auto& pitch : pitches)
                for (const char* extension : {".wav", ".mp3", ".flac"}) {
                    const bool mp3 = QLatin1String(extension) == QLatin1String(".mp3");
                    // MP3 files take no sample size, FLAC files no floating point.
                    if ((mp3 && options.sampleBits > 0) ||
                        (QLatin1String(extension) == QLatin1String(".flac") &&
                         options.floatSamples))
                        continue;
                    compare(Tone{QString(), QString::fromLatin1(pitch.length), Waveform(row),
                                 pitch.frequency, options},
                            extension);
                }
    // Sweeps of both kinds.
    for (const ToneOptions::Sweep sweep : {ToneOptions::Sweep::linear, ToneOptions::Sweep::log}) {
        Tone tone{QString(), QStringLiteral("0.3"), Waveform::triangle, 300, {}};
        tone.options.sweep = sweep;
        tone.endFrequency = 3000;
        compare(tone, ".wav");
    }
    // Several tones in one file, each chain dithered and faded, with gaps between them.
    for (const char* extension : {".wav", ".mp3"}) {
        Tone tone{QString(), QStringLiteral("0.2"), Waveform::sawtooth, 300, {}};
        tone.options.tonesPerFile = 3;
        tone.options.gapMs = 150;
        tone.options.fadeMs = 10;
        tone.options.sampleBits = QLatin1String(extension) == QLatin1String(".wav") ? 16 : 0;
        // Both ears: a one-ear 16-bit file is made without dither.
        tone.options.channel = ToneOptions::Channel::bothEars;
        tone.laterFrequencies = {450, 600};
        compare(tone, extension);
    }
    // Noise filtered to a band, notched, or both.
    for (const Waveform noise : {Waveform::whiteNoise, Waveform::brownNoise}) {
        Tone tone{QString(), QStringLiteral("0.3"), noise, 0, {}};
        tone.band = NoiseBand{300, 1200};
        compare(tone, ".wav");
        tone.notch = NoiseBand{500, 700};
        compare(tone, ".wav");
        tone.band.reset();
        compare(tone, ".wav");
    }
    // The stimuli: a complex in random phases, AM with FM, a lead in one ear, each fade shape.
    const QList<ToneOptions> stimuli{
        withOptions([](ToneOptions& o) {
            o.harmonics = QStringLiteral("2,3,4,5");
            o.harmonicSlopeDb = -3;
            o.harmonicPhase = ToneOptions::HarmonicPhase::random;
        }),
        withOptions([](ToneOptions& o) {
            o.am = QStringLiteral("8,0.5");
            o.fm = QStringLiteral("5,40");
            o.levelDb = -6;
        }),
        withOptions([](ToneOptions& o) {
            o.masker = ToneOptions::Masker::pinkNoise;
            o.levelDb = -6;
        }),
        withOptions([](ToneOptions& o) {
            o.channel = ToneOptions::Channel::bothEars;
            o.itdUs = -300;
            o.sampleRate = 48000;
        }),
        withOptions([](ToneOptions& o) {
            o.channel = ToneOptions::Channel::bothEars;
            o.itdUs = -10;
            o.fineItd = true;
            o.fadeMs = 20;
            o.sampleRate = 48000;
        }),
        withOptions([](ToneOptions& o) {
            o.fadeMs = 30;
            o.fadeShape = ToneOptions::FadeShape::gaussian;
        }),
        withOptions([](ToneOptions& o) {
            o.fadeMs = 30;
            o.fadeShape = ToneOptions::FadeShape::hamming;
        }),
    };
    for (const ToneOptions& options : stimuli) {
        Tone tone{QString(), QStringLiteral("0.3"), Waveform::sine, 500, options};
        tone.harmonicPhases = {0.1, 0.7, 0.35, 0.9};
        compare(tone, ".wav");
    }
    // A tone in notched band noise; binaural conditions, inverted and of their own per ear.
    Tone masked{QString(), QStringLiteral("0.3"), Waveform::sine, 1000, stimuli[2]};
    masked.band = NoiseBand{200, 3000};
    masked.notch = NoiseBand{800, 1250};
    compare(masked, ".wav");
    masked.options.channel = ToneOptions::Channel::bothEars;
    for (const auto condition : {ToneOptions::Binaural::npis0, ToneOptions::Binaural::nuspi}) {
        masked.options.binaural = condition;
        compare(masked, ".wav");
    }
    QCOMPARE(compared, 9 * 9 * 3 * 3 - 9 * 5 * 3 - 9 * 1 * 3 + 7 + 13);
}

// The seed alone decides the noise and the dither: the same seed the same bytes, another
// seed other bytes.
void TestLibsox::seedDecidesNoiseAndDither() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("t.wav"));
    ToneOptions sixteenBits;
    sixteenBits.sampleBits = 16;
    for (const Tone& tone :
         {Tone{QString(), QStringLiteral("0.2"), Waveform::pinkNoise, 0, {}},
          Tone{QString(), QStringLiteral("0.2"), Waveform::sine, 440, sixteenBits}}) {
        const QByteArray first = madeInProcess(tone, path, 7);
        QVERIFY(!first.isEmpty());
        QCOMPARE(madeInProcess(tone, path, 7), first);
        QVERIFY(madeInProcess(tone, path, 8) != first);
    }
}

// A worker killed in the middle of a tone: that tone fails with the reason, the batch goes on
// with a new worker, and nothing waits for ever.
void TestLibsox::workerThatDiesIsTold() {
    QTemporaryDir folder;
    // An hour-long first tone: its worker is busy until it is killed.
    LibsoxEngine engine(1);
    const ToneStaging staging(folder.path());
    // The batch sleeps while the worker waits: an alarm wakes it to kill the worker.
    static int wake[2];
    QCOMPARE(pipe2(wake, O_NONBLOCK | O_CLOEXEC), 0);
    struct sigaction onAlarm {};
    onAlarm.sa_handler = [](int) { (void)!write(wake[1], "w", 1); };
    sigaction(SIGALRM, &onAlarm, nullptr);
    alarm(1);
    bool killed = false;
    QList<ToneOutcome> outcomes(2);
    ToneCallbacks callbacks;
    callbacks.plan = [&](qsizetype index) {
        PlannedTone planned;
        planned.tone = Tone{folder.filePath(QStringLiteral("Ziravel_%1.wav").arg(index + 1)),
                            QLatin1String(index == 0 ? "3600" : "0.1"),
                            Waveform::sine,
                            440,
                            {}};
        return planned;
    };
    callbacks.stopRequested = [&] {
        char woken;
        if (!killed && read(wake[0], &woken, 1) == 1) {
            const QList<pid_t> workers = childrenOfThisTest();
            // Not reaped yet, so the id is still the worker's.
            if (workers.size() == 1 && kill(workers.first(), SIGKILL) == 0)
                killed = true;
        }
        return false;
    };
    callbacks.ended = [&](qsizetype index, const ToneOutcome& outcome,
                          std::shared_ptr<const ToneInFlight> flight) {
        outcomes[index] = flight ? flight->placed(outcome) : outcome;
    };
    makeTones(2, 1, engine, staging, callbacks, wake[0]);
    close(wake[0]);
    close(wake[1]);
    QVERIFY(killed);
    QCOMPARE(outcomes[0].reason, QStringLiteral("libsox ended with status 137."));
    QVERIFY(outcomes[1].made);
}

QTEST_MAIN(TestLibsox)
#include "tst_libsox.moc"
