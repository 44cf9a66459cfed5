// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRun.h"
#include "Spectrum.h"
#include "making/libsox/LibsoxTone.h"
#include "set/AnswerKey.h"

#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <cmath>
#include <vector>

// ziravel-batch's noises, maskers, complexes and levels, measured from their files.
class TestBatchMaskers : public QObject {
    Q_OBJECT

private slots:
    void bandEdgesHoldAtEveryRate_data();
    void bandEdgesHoldAtEveryRate();
    void notchedNoise();
    void levelsDownTo120BelowFullScale();
    void binauralConditions_data();
    void binauralConditions();
    void gapInNoise();
    void harmonicPhasesFromTheSpectrum();
    void noiseAloneIsTheToneFilesNoise();
    void fineTimeDifference();
};

namespace {

// The first channel of what the library engine makes from the arguments and the seed of the
// set's first tone, written to `path` in place of the first tone's file.
std::vector<double> madeAgain(const QTemporaryDir& folder, QStringList arguments,
                              const QString& path) {
    const QString seed = keyColumn(folder.filePath(answerKeyFileName), "tone_seed").value(0);
    std::vector<std::string> words;
    for (const QString& argument :
         arguments.replaceInStrings(QStringLiteral("Ziravel_1.wav"), path))
        words.push_back(argument.toStdString());
    if (makeToneWithLibsox(words, std::int32_t(quint32(seed.toULongLong()))).status != 0)
        return {};
    int rate = 0;
    return firstChannel(path, rate);
}

// The gain from `input` to `output` in dB at each bin of `binHz`, from their cross spectrum over
// Hann-windowed pieces: exact for a filter whatever the noise happened to hold.
std::vector<double> gainsDb(const std::vector<double>& input, const std::vector<double>& output,
                            size_t piece) {
    std::vector<std::complex<double>> along(piece / 2);
    std::vector<double> power(piece / 2);
    for (size_t start = 0; start + piece <= input.size(); start += piece / 2) {
        std::vector<double> in(piece);
        std::vector<double> out(piece);
        for (size_t at = 0; at < piece; ++at) {
            const double hann =
                0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(at) / double(piece));
            in[at] = input[start + at] * hann;
            out[at] = output[start + at] * hann;
        }
        const auto inBins = fft(in);
        const auto outBins = fft(out);
        for (size_t k = 0; k < piece / 2; ++k) {
            along[k] += std::conj(inBins[k]) * outBins[k];
            power[k] += std::norm(inBins[k]);
        }
    }
    std::vector<double> gains(piece / 2);
    for (size_t k = 0; k < piece / 2; ++k)
        gains[k] = 20 * std::log10(std::abs(along[k]) / power[k]);
    return gains;
}

// Where the gains, `belowDb` under their level at `inside` Hz, cross that level between the bins
// of `from` and `to` Hz (in either order), interpolated between bins.
double crossing(const std::vector<double>& gains, double binHz, double inside, double from,
                double to, double belowDb) {
    const double level = gains[size_t(std::lround(inside / binHz))] - belowDb;
    const int step = to > from ? 1 : -1;
    for (auto k = std::lround(from / binHz); k != std::lround(to / binHz); k += step)
        if (gains[size_t(k + step)] >= level && gains[size_t(k)] < level)
            return binHz * (double(k) + step * (level - gains[size_t(k)]) /
                                            (gains[size_t(k + step)] - gains[size_t(k)]));
    return -1;
}

// The gains of the filter of a set of one noise, 3 s at -6 dBFS in 24 bits, at each bin: its file
// against the same noise made again without the filter.
std::vector<double> filterGains(const QTemporaryDir& folder, const QStringList& noise) {
    if (runBatch(QStringList{"--count", "1", "--length", "3", "--level", "-6", "--sample-size",
                             "24", "--engine", "library", "--folder", folder.path()} +
                 noise)
            .exitStatus != 0)
        return {};
    QStringList arguments = firstToneArguments(folder);
    const qsizetype filter = arguments.indexOf(QStringLiteral("vol"));
    const qsizetype cut = arguments.indexOf(QStringLiteral("trim"));
    // The same noise, unfiltered and at full scale.
    arguments = arguments.mid(0, filter) + arguments.mid(cut, 3);
    const std::vector<double> unfiltered =
        madeAgain(folder, arguments, folder.filePath(QStringLiteral("unfiltered.wav")));
    int rate = 0;
    const std::vector<double> filtered =
        firstChannel(folder.filePath(QStringLiteral("Ziravel_1.wav")), rate);
    if (filter < 0 || filtered.size() != unfiltered.size())
        return {};
    return gainsDb(unfiltered, filtered, rate > 8000 ? 32768 : 8192);
}

} // namespace

void TestBatchMaskers::bandEdgesHoldAtEveryRate_data() {
    QTest::addColumn<int>("rate");
    QTest::newRow("8000") << 8000;
    QTest::newRow("44100") << 44100;
    QTest::newRow("48000") << 48000;
}

// A band's edges are its filter's -6 dB points and its slopes the same at every rate: the
// filter's gain is found from the file against the same noise unfiltered. Its -3 dB points lie
// 3.9 Hz inside the edges; the filter's own default put them at 516 Hz at 8000 Hz and 593 Hz at
// 48000 Hz.
void TestBatchMaskers::bandEdgesHoldAtEveryRate() {
    QFETCH(int, rate);
    QTemporaryDir folder;
    const std::vector<double> gains = filterGains(
        folder, {"--type", "whitenoise", "--band", "500-2000", "--rate", QString::number(rate)});
    QVERIFY(!gains.empty());
    const double binHz = double(rate) / double(2 * gains.size());
    for (const auto& [belowDb, low, high] :
         {std::tuple{6.0, 500.0, 2000.0}, std::tuple{3.0, 503.9, 1996.1}}) {
        const double lowEdge = crossing(gains, binHz, 1000, 300, 1000, belowDb);
        const double highEdge = crossing(gains, binHz, 1000, 2300, 1000, belowDb);
        QVERIFY2(std::abs(lowEdge - low) < 1 && std::abs(highEdge - high) < 1,
                 qPrintable(QStringLiteral("%1-%2").arg(lowEdge).arg(highEdge)));
    }
}

// A notch inside a band: its edges at -6 dB, and nothing of the noise left within it.
void TestBatchMaskers::notchedNoise() {
    QTemporaryDir folder;
    const std::vector<double> gains =
        filterGains(folder, {"--type", "pinknoise", "--band", "200-3000", "--notch", "800-1250"});
    QVERIFY(!gains.empty());
    const double binHz = 8000.0 / double(2 * gains.size());
    QVERIFY(std::abs(crossing(gains, binHz, 500, 1000, 500, 6) - 800) < 1);
    QVERIFY(std::abs(crossing(gains, binHz, 2000, 1000, 2000, 6) - 1250) < 1);
    QVERIFY2(gains[size_t(1025 / binHz)] < gains[size_t(500 / binHz)] - 100,
             qPrintable(QString::number(gains[size_t(1025 / binHz)])));
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), "notch_hz"), QStringList{"800-1250"});
}

// A tone at -110 dBFS in 24 bits is at its level; in 16 bits a quiet tone is made too, with a
// warning that the samples' dithered noise lies near it.
void TestBatchMaskers::levelsDownTo120BelowFullScale() {
    QTemporaryDir folder;
    // Rounded without dither, a pitch whose period is a few whole samples would carry its
    // rounding into its level (0.13 dB at 1000 Hz and 8000 Hz).
    const QStringList tone{"--count",  "1", "--from", "997",   "--to",     "997",
                           "--length", "1", "--rate", "48000", "--folder", folder.path()};
    QCOMPARE(runBatch(tone + QStringList{"--level", "-110", "--sample-size", "24"}).errors,
             QString());
    int rate = 0;
    const std::vector<double> quiet =
        firstChannel(folder.filePath(QStringLiteral("Ziravel_1.wav")), rate);
    const double levelDb = 20 * std::log10(amplitudeAt(quiet, 997, rate));
    QVERIFY2(std::abs(levelDb + 110) < 0.05, qPrintable(QString::number(levelDb)));
    const BatchResult sixteen =
        runBatch(tone + QStringList{"--level", "-100", "--sample-size", "16"});
    QCOMPARE(sixteen.exitStatus, 0);
    QCOMPARE(sixteen.errors, QStringLiteral("ziravel-batch: warning: At -100 dBFS the tone's peak "
                                            "lies less than 6 dB above the noise of 16-bit samples "
                                            "(-96.3 dBFS RMS, dithered): choose 24 bits as the "
                                            "sample size.\n"));
}

void TestBatchMaskers::binauralConditions_data() {
    QTest::addColumn<QString>("condition");
    QTest::addColumn<double>("noiseCorrelation");
    QTest::addColumn<double>("toneSign");
    QTest::newRow("N0S0") << "n0s0" << 1.0 << 1.0;
    QTest::newRow("N0Spi") << "n0spi" << 1.0 << -1.0;
    QTest::newRow("NpiS0") << "npis0" << -1.0 << 1.0;
    QTest::newRow("NuS0") << "nus0" << 0.0 << 1.0;
    QTest::newRow("NuSpi") << "nuspi" << 0.0 << -1.0;
}

// Each condition from its files: the noise's correlation between the ears at an SNR low
// enough that the tone hardly moves it, and the tone's sign in the right ear against the left
// from its frequency's bin at an SNR high enough that the noise hardly moves that.
void TestBatchMaskers::binauralConditions() {
    QFETCH(QString, condition);
    QFETCH(double, noiseCorrelation);
    QFETCH(double, toneSign);
    QTemporaryDir folder;
    const auto ears = [&](const char* snr) {
        std::array<std::vector<double>, 2> samples;
        const QString prefix = QStringLiteral("snr%1_").arg(QLatin1String(snr));
        if (runBatch({"--count",    "1",          "--from",   "500",           "--to",
                      "500",        "--length",   "2",        "--noise",       "whitenoise",
                      "--snr",      snr,          "--level",  "-30",           "--channel",
                      "both",       "--binaural", condition,  "--sample-size", "24",
                      "--engine",   "library",    "--prefix", prefix,          "--folder",
                      folder.path()})
                .exitStatus != 0)
            return samples;
        const SoundSamples sound = madeSound(folder.filePath(prefix + QStringLiteral("1.wav")));
        for (size_t at = 0; at < sound.samples.size(); ++at)
            samples[at % 2].push_back(sound.samples[at]);
        return samples;
    };
    const auto noisy = ears("-20");
    QVERIFY(!noisy[0].empty() && noisy[0].size() == noisy[1].size());
    double along = 0;
    for (size_t at = 0; at < noisy[0].size(); ++at)
        along += noisy[0][at] * noisy[1][at];
    const double correlation =
        along / double(noisy[0].size()) / (rmsOf(noisy[0]) * rmsOf(noisy[1]));
    // The tone's own share, 1 % of the power, moves it by 0.02 at most.
    QVERIFY2(std::abs(correlation - noiseCorrelation) < 0.04,
             qPrintable(QString::number(correlation)));
    const auto clear = ears("20");
    const auto toneIn = [&](const std::vector<double>& ear) {
        std::complex<double> sum;
        for (size_t at = 0; at < ear.size(); ++at)
            sum += ear[at] * std::polar(1.0, -2 * std::numbers::pi * 500 * double(at) / 8000);
        return sum;
    };
    const std::complex<double> ratio = toneIn(clear[1]) / toneIn(clear[0]);
    QVERIFY2(std::abs(ratio - toneSign) < 0.01, qPrintable(QString::number(ratio.real())));
    QCOMPARE(keyColumn(folder.filePath(QStringLiteral("snr20_tones.csv")), "binaural"),
             QStringList{condition});
}

// Two bursts of band noise with a gap of digital silence between them, each burst with its own
// ramps: the gap is the silence's length to a sample, and each burst its length.
void TestBatchMaskers::gapInNoise() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count",          "1",        "--type",   "whitenoise",
                       "--band",           "500-2000", "--length", "0.25",
                       "--tones-per-file", "2",        "--gap",    "7",
                       "--fade",           "1",        "--rate",   "48000",
                       "--sample-size",    "24",       "--folder", folder.path()})
                 .errors,
             QString());
    int rate = 0;
    const std::vector<double> bursts =
        firstChannel(folder.filePath(QStringLiteral("Ziravel_1.wav")), rate);
    QCOMPARE(bursts.size(), size_t(2 * 12000 + 336));
    // The longest run of silence, and where it starts; a ramp ends on a silent sample.
    size_t longest = 0;
    size_t start = 0;
    for (size_t at = 0, run = 0; at < bursts.size(); ++at) {
        run = bursts[at] == 0 ? run + 1 : 0;
        if (run > longest) {
            longest = run;
            start = at + 1 - run;
        }
    }
    QVERIFY2(longest >= 336 && longest <= 338, qPrintable(QString::number(longest)));
    QVERIFY(start >= 11998 && start <= 12000);
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), "file_seconds"), QStringList{"0.507"});
}

// Each harmonic's starting phase, from its bin over whole periods of the fundamental: Schroeder's
// +-pi n(n+1)/N either way, and random phases as the key gives them.
void TestBatchMaskers::harmonicPhasesFromTheSpectrum() {
    QTemporaryDir folder;
    const auto measured = [&](const QString& kind) {
        QList<double> phases;
        if (runBatch({"--count", "1", "--from", "200", "--to", "200", "--harmonics", "1-10",
                      "--harmonic-phase", kind, "--length", "0.5", "--prefix", kind + "_",
                      "--folder", folder.path()})
                .exitStatus != 0)
            return phases;
        int rate = 0;
        const std::vector<double> complex =
            firstChannel(folder.filePath(kind + QStringLiteral("_1.wav")), rate);
        for (int number = 1; number <= 10; ++number) {
            std::complex<double> sum;
            for (size_t at = 0; at < complex.size(); ++at)
                sum += complex[at] *
                       std::polar(1.0, -2 * std::numbers::pi * 200 * number * double(at) / rate);
            // sin(x + p) is the bin's angle a quarter cycle on.
            phases << std::arg(sum) / (2 * std::numbers::pi) + 0.25;
        }
        return phases;
    };
    const auto near = [](const QList<double>& phases, const QList<double>& expected) {
        if (phases.size() != expected.size())
            return false;
        for (qsizetype at = 0; at < phases.size(); ++at) {
            const double apart = phases[at] - expected[at];
            if (std::abs(apart - std::round(apart)) > 0.002)
                return false;
        }
        return true;
    };
    QList<double> positive;
    QList<double> negative;
    for (int number = 1; number <= 10; ++number) {
        positive << number * (number + 1) / 20.0;
        negative << -number * (number + 1) / 20.0;
    }
    QVERIFY(near(measured(QStringLiteral("schroeder-positive")), positive));
    QVERIFY(near(measured(QStringLiteral("schroeder-negative")), negative));
    const QList<double> random = measured(QStringLiteral("random"));
    QList<double> drawn;
    for (const QString& phase :
         keyColumn(folder.filePath(QStringLiteral("random_tones.csv")), "harmonic_phases")
             .value(0)
             .split(QLatin1Char(';')))
        drawn << phase.toDouble();
    QVERIFY(near(random, drawn));
}

// A set of the noise alone is, file by file, the noise under the tone of the same set with the
// tone: the two differ by the tone alone, at its SNR above that noise.
void TestBatchMaskers::noiseAloneIsTheToneFilesNoise() {
    QTemporaryDir folder;
    const QStringList set{"--count",  "1",   "--from",        "500",        "--to",     "500",
                          "--length", "1",   "--noise",       "pinknoise",  "--snr",    "-6",
                          "--level",  "-20", "--sample-size", "24",         "--engine", "library",
                          "--seed",   "4",   "--folder",      folder.path()};
    QCOMPARE(runBatch(set).errors, QString());
    QCOMPARE(runBatch(set + QStringList{"--noise-alone", "--prefix", "alone_"}).errors, QString());
    int rate = 0;
    const std::vector<double> mixed =
        firstChannel(folder.filePath(QStringLiteral("Ziravel_1.wav")), rate);
    const std::vector<double> alone =
        firstChannel(folder.filePath(QStringLiteral("alone_1.wav")), rate);
    QVERIFY(!mixed.empty() && mixed.size() == alone.size());
    std::vector<double> tone(mixed.size());
    for (size_t at = 0; at < tone.size(); ++at)
        tone[at] = mixed[at] - alone[at];
    QVERIFY(std::abs(20 * std::log10(amplitudeAt(tone, 500, rate)) + 20) < 0.01);
    QVERIFY(std::abs(20 * std::log10(rmsOf(tone) / rmsOf(alone)) + 6) < 0.1);
    QCOMPARE(keyColumn(folder.filePath(QStringLiteral("alone_tones.csv")), "noise_alone"),
             QStringList{"yes"});
}

// A lead of 10 us at 48000 Hz is half a sample: made to a sixteenth of one, 10.42 us, as the key
// says, measured from the tone's phase in each ear; whole samples would have made 0 or 20.8 us.
void TestBatchMaskers::fineTimeDifference() {
    QTemporaryDir folder;
    QCOMPARE(runBatch({"--count",  "1",        "--from",     "500",       "--to",
                       "500",      "--length", "1",          "--channel", "both",
                       "--itd-us", "10",       "--fine-itd", "--fade",    "20",
                       "--level",  "-6",       "--rate",     "48000",     "--sample-size",
                       "24",       "--folder", folder.path()})
                 .errors,
             QString());
    const SoundSamples sound = madeSound(folder.filePath(QStringLiteral("Ziravel_1.wav")));
    QCOMPARE(sound.samples.size(), size_t(2 * 48001));
    std::complex<double> ears[2];
    // Whole periods of the tone past the fades.
    for (size_t frame = 2400; frame < 45600; ++frame)
        for (size_t ear = 0; ear < 2; ++ear)
            ears[ear] += double(sound.samples[2 * frame + ear]) *
                         std::polar(1.0, -2 * std::numbers::pi * 500 * double(frame) / 48000);
    const double leadUs = std::arg(ears[1] / ears[0]) / (2 * std::numbers::pi * 500) * 1e6;
    const double madeUs = 0.5 / 48000 * 1e6;
    QVERIFY2(std::abs(leadUs - madeUs) < 0.05, qPrintable(QString::number(leadUs)));
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), "itd_us").value(0).toDouble(), madeUs);
}

QTEST_MAIN(TestBatchMaskers)
#include "tst_batch_maskers.moc"
