// SPDX-License-Identifier: GPL-3.0-or-later
#include "RenderedOutput.h"
#include "SoundFiles.h"
#include "TestSupport.h"
#include "analysis/Mp3File.h"
#include "app/window/SoundModuleLoader.h"
#include "sound/ModuleEntries.h"
#include "sound/SoundPlayer.h"
#include "sound/TimedPlayback.h"

#include <QLibrary>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::TemporaryToolFolder;

class TestSoundPlayer : public QObject {
    Q_OBJECT

private slots:
    void decodesWhatSoxWrites_data();
    void decodesWhatSoxWrites();
    void refusesWhatIsNoWav_data();
    void refusesWhatIsNoWav();
    void rendersForOutput();
    void streamsFileInBlocks_data();
    void streamsFileInBlocks();
    void mp3SamplesInWholeFrames_data();
    void mp3SamplesInWholeFrames();
    void playingReturnsAtOnce();
    void placedSoundStartsAtItsFrame();
    void outputClockFollowsTheOutput();
    void windowLoadsTheSoundModule();
};

void TestSoundPlayer::decodesWhatSoxWrites_data() {
    QTest::addColumn<QStringList>("encoding");
    QTest::addColumn<int>("channels");
    QTest::newRow("sox default, extensible 32-bit") << QStringList{} << 1;
    QTest::newRow("16-bit") << QStringList{"--bits", "16"} << 1;
    QTest::newRow("8-bit") << QStringList{"--bits", "8"} << 1;
    QTest::newRow("24-bit stereo") << QStringList{"--bits", "24", "--channels", "2"} << 2;
    QTest::newRow("float") << QStringList{"-e", "floating-point"} << 1;
}

void TestSoundPlayer::decodesWhatSoxWrites() {
    QFETCH(QStringList, encoding);
    QFETCH(int, channels);
    TemporaryToolFolder folder;
    const QString path = folder.filePath(QStringLiteral("t.wav"));
    QVERIFY(TestSupport::runSox(QStringList{"-r", "8000", "-n"} + encoding +
                                QStringList{path, "synth", "0.5", "square", "100", "vol", "0.5"}));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const std::optional<SoundSamples> sound = decodeWav(file.readAll());
    QVERIFY(sound);
    QCOMPARE(sound->sampleRate, 8000);
    QCOMPARE(sound->channels, channels);
    QCOMPARE(sound->samples.size(), size_t(4000 * channels));
    // A square wave at half volume: every sample near +0.5 or -0.5.
    float largest = 0;
    for (const float sample : sound->samples)
        largest = std::max(largest, std::abs(sample));
    QVERIFY2(largest > 0.45f && largest < 0.55f, qPrintable(QString::number(largest)));
}

void TestSoundPlayer::refusesWhatIsNoWav_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("text") << QByteArray("not a sound at all");
    QTest::newRow("header only") << QByteArray("RIFF\x04\0\0\0WAVE", 12);
    QTest::newRow("chunk larger than the file")
        << QByteArray("RIFF\x04\0\0\0WAVEfmt \xff\xff\xff\x7f", 20);
}

void TestSoundPlayer::refusesWhatIsNoWav() {
    QFETCH(QByteArray, bytes);
    QVERIFY(!decodeWav(bytes));
}

void TestSoundPlayer::rendersForOutput() {
    SoundSamples sound{8000, 1, {0.0f, 0.5f, -0.5f, 1.0f}};
    QAudioFormat format;
    format.setSampleRate(16000);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    const QByteArray pcm = renderForOutput(sound, format);
    QCOMPARE(pcm.size(), 8 * 2 * 2);
    const auto* samples = reinterpret_cast<const qint16*>(pcm.constData());
    QCOMPARE(samples[0], qint16(0));
    QCOMPARE(samples[1], qint16(0));
    QCOMPARE(samples[2], qint16(8192)); // halfway between 0 and 0.5
    QCOMPARE(samples[4], qint16(16384));
    QCOMPARE(samples[4], samples[5]);
    QVERIFY(!beepSamples().samples.empty());
}

void TestSoundPlayer::playingReturnsAtOnce() {
    // Whatever audio the machine has (often none): no hang, no crash, a new request
    // replaces the last, and a missing file is no failure.
    TemporaryToolFolder folder;
    const QString path = folder.filePath(QStringLiteral("p.wav"));
    QVERIFY(TestSupport::runSox({"-r", "8000", "-n", path, "synth", "3", "sine", "300"}));
    AudioPlayer player;
    const bool played = player.playSoundFile(path);
    QCOMPARE(player.playSoundFile(path), played);
    // A missing file plays the system's sound instead, as the platform's call does.
    QCOMPARE(player.playSoundFile(folder.filePath(QStringLiteral("missing.wav"))), played);
    QTest::qWait(50);
}

void TestSoundPlayer::streamsFileInBlocks_data() {
    QTest::addColumn<int>("outRate");
    QTest::addColumn<int>("outChannels");
    QTest::addColumn<int>("sampleFormat");
    QTest::newRow("same rate") << 8000 << 1 << int(QAudioFormat::Float);
    QTest::newRow("CD rate, stereo, 16-bit") << 44100 << 2 << int(QAudioFormat::Int16);
    QTest::newRow("lower rate, 32-bit") << 6000 << 1 << int(QAudioFormat::Int32);
}

// Read in small pieces, as an audio output does, the stream gives what converting the
// whole file at once gives, beyond its reading blocks.
void TestSoundPlayer::streamsFileInBlocks() {
    QFETCH(int, outRate);
    QFETCH(int, outChannels);
    QFETCH(int, sampleFormat);
    TemporaryToolFolder folder;
    const QString path = folder.filePath(QStringLiteral("s.wav"));
    QVERIFY(TestSupport::runSox({"-r", "8000", "-n", path, "synth", "1.3", "sine", "300"}));
    QAudioFormat format;
    format.setSampleRate(outRate);
    format.setChannelCount(outChannels);
    format.setSampleFormat(QAudioFormat::SampleFormat(sampleFormat));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray whole = renderForOutput(*decodeWav(file.readAll()), format);
    std::unique_ptr<SampleReader> samples = openWavSamples(path);
    QVERIFY(samples);
    OutputStream stream(std::move(samples), format);
    QVERIFY(stream.open(QIODevice::ReadOnly));
    QByteArray streamed;
    while (!stream.atEnd())
        streamed += stream.read(1000);
    QCOMPARE(streamed.size(), whole.size());
    QVERIFY(streamed == whole);
    QVERIFY(!openWavSamples(folder.filePath(QStringLiteral("missing.wav"))));
}

void TestSoundPlayer::mp3SamplesInWholeFrames_data() {
    QTest::addColumn<int>("rate");
    QTest::addColumn<double>("seconds");
    QTest::newRow("8 kHz, short") << 8000 << 0.25;
    QTest::newRow("8 kHz, odd length") << 8000 << 3.7;
    QTest::newRow("44.1 kHz") << 44100 << 1.0;
}

// A whole file holds the tone and the coding delay; losing its last frames shows.
void TestSoundPlayer::mp3SamplesInWholeFrames() {
    QFETCH(int, rate);
    QFETCH(double, seconds);
    TemporaryToolFolder folder;
    const QString path = folder.filePath(QStringLiteral("t.mp3"));
    QVERIFY(TestSupport::runSox({"-r", QString::number(rate), "-n", path, "synth",
                                 QString::number(seconds), "sine", "300"}));
    const double asked = seconds * rate;
    const std::optional<qint64> whole = mp3SampleCount(path);
    QVERIFY(whole);
    QVERIFY2(double(*whole - mp3CodingDelaySamples) >= asked, qPrintable(QString::number(*whole)));
    QVERIFY2(double(*whole) < asked + 4 * 1152, qPrintable(QString::number(*whole)));

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.resize(file.size() - 100));
    file.close();
    QVERIFY(double(*mp3SampleCount(path) - mp3CodingDelaySamples) < asked);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.close();
    QCOMPARE(mp3SampleCount(path), std::optional<qint64>(0));
    QCOMPARE(mp3SampleCount(folder.filePath(QStringLiteral("missing.mp3"))), std::nullopt);
}

// A trial's sound is in the output stream from the frame it was placed at, to the frame, read
// in whatever pieces the output asks for; silence around it.
void TestSoundPlayer::placedSoundStartsAtItsFrame() {
    QAudioFormat format;
    format.setSampleRate(8000);
    format.setChannelCount(1);
    format.setSampleFormat(QAudioFormat::Float);
    SoundSamples sound{8000, 1, {}};
    for (int i = 1; i <= 100; ++i)
        sound.samples.push_back(float(i) / 200);
    PlacedSoundStream stream(format);
    QVERIFY(stream.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    const auto readFrames = [&](int frames) {
        std::vector<float> values;
        while (int(values.size()) < frames) {
            const QByteArray piece = stream.read(6 * sizeof(float));
            const auto* at = reinterpret_cast<const float*>(piece.constData());
            values.insert(values.end(), at, at + piece.size() / sizeof(float));
        }
        return values;
    };
    stream.place(std::make_unique<OutputStream>(std::make_unique<MemorySamples>(sound), format),
                 1000);
    std::vector<float> expected(1000, 0.0f);
    expected.insert(expected.end(), sound.samples.begin(), sound.samples.end());
    expected.resize(1200, 0.0f);
    QVERIFY(readFrames(1200) == expected);
    QCOMPARE(stream.framesRead(), 1200);

    // Placed at a frame already read: from the next one on.
    stream.place(std::make_unique<OutputStream>(std::make_unique<MemorySamples>(sound), format), 5);
    QCOMPARE(readFrames(1).front(), sound.samples.front());
}

// The output takes frames in blocks, seen late; it opens a second late and later runs dry for
// 300 ms. The frame found for a time is the one heard then, to a millisecond, after each.
void TestSoundPlayer::outputClockFollowsTheOutput() {
    using namespace std::chrono_literals;
    constexpr int rate = 48000;
    const OutputClock::Time zero{};
    auto firstTaken = zero + 1s; // when frame 0 is taken, as the output's stops move it
    const auto taken = [&](OutputClock::Time at) -> qint64 {
        return at < firstTaken ? 0 : (at - firstTaken) / 10ms * (rate / 100);
    };
    const auto heardAt = [&](OutputClock::Time when) {
        return (when - firstTaken).count() * rate / 1'000'000'000;
    };
    OutputClock clock(rate);
    QVERIFY(!clock.frameAt(zero));
    for (int step = 0; step < 5000; ++step) { // every 5 ms for 25 s
        const auto now = zero + step * 5ms;
        if (now == zero + 20s)
            firstTaken += 300ms; // ran dry
        const auto seen = now - (step % 4) * 1ms;
        clock.observe(now,
                      now >= zero + 20s && now < zero + 20300ms ? taken(zero + 20s) : taken(seen));
        if (now == zero + 10s || now == zero + 25s - 5ms) {
            const qint64 frame = *clock.frameAt(now + 500ms);
            QVERIFY2(std::abs(frame - heardAt(now + 500ms)) <= rate / 1000,
                     qPrintable(QStringLiteral("at %1 ms: frame %2, heard %3")
                                    .arg(step * 5)
                                    .arg(frame)
                                    .arg(heardAt(now + 500ms))));
        }
    }
}

// The window's output comes from the module it loads at the first tone; one that is not
// there plays nothing and says so.
void TestSoundPlayer::windowLoadsTheSoundModule() {
    QLibrary module(QStringLiteral(ZIRAVEL_SOUND_MODULE));
    const auto make = reinterpret_cast<MakeSoundOutput>(module.resolve(soundModuleEntry));
    QVERIFY2(make, qPrintable(module.errorString()));
    const std::unique_ptr<SoundOutput> output(make());
    QVERIFY(dynamic_cast<AudioPlayer*>(output.get()));
    QTemporaryDir nowhere;
    SoundModuleLoader missing({nowhere.path()});
    QVERIFY(!missing.playSoundFile(nowhere.filePath(QStringLiteral("t.wav"))));
}

QTEST_GUILESS_MAIN(TestSoundPlayer)
#include "tst_soundplayer.moc"
