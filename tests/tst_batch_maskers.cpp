// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRun.h"
#include "Spectrum.h"
#include "making/libsox/LibsoxTone.h"
#include "set/AnswerKey.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <vector>

// ziravel-batch's noises and maskers, measured from their files.
class TestBatchMaskers : public QObject {
    Q_OBJECT

private slots:
    void bandEdgesHoldAtEveryRate_data();
    void bandEdgesHoldAtEveryRate();
};

namespace {

// The tool's arguments for the set's first tone, as its manifest keeps them.
QStringList firstToneArguments(const QTemporaryDir& folder) {
    QStringList arguments;
    const QJsonObject manifest =
        QJsonDocument::fromJson(contentOf(folder.filePath(QStringLiteral("Ziravel_set.json"))))
            .object();
    for (const QJsonValue& argument :
         manifest.value(QStringLiteral("first_tone_arguments")).toArray())
        arguments << argument.toString();
    return arguments;
}

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
            const double hann = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(at) / double(piece));
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
    QCOMPARE(runBatch({"--count", "1", "--type", "whitenoise", "--band", "500-2000", "--rate",
                       QString::number(rate), "--length", "3", "--level", "-6", "--sample-size",
                       "24", "--engine", "library", "--folder", folder.path()})
                 .errors,
             QString());
    const QStringList arguments = firstToneArguments(folder);
    const qsizetype filter = arguments.indexOf(QStringLiteral("vol"));
    QVERIFY(filter > 0);
    // The same noise, unfiltered and at full scale.
    const std::vector<double> noise =
        madeAgain(folder, arguments.mid(0, filter) + arguments.mid(filter + 6, 3),
                  folder.filePath(QStringLiteral("unfiltered.wav")));
    int fileRate = 0;
    const std::vector<double> band =
        firstChannel(folder.filePath(QStringLiteral("Ziravel_1.wav")), fileRate);
    QCOMPARE(fileRate, rate);
    QCOMPARE(band.size(), noise.size());
    const size_t piece = rate > 8000 ? 32768 : 8192;
    const std::vector<double> gains = gainsDb(noise, band, piece);
    const double binHz = double(rate) / double(piece);
    for (const auto& [belowDb, low, high] :
         {std::tuple{6.0, 500.0, 2000.0}, std::tuple{3.0, 503.9, 1996.1}}) {
        QVERIFY2(std::abs(crossing(gains, binHz, 1000, 300, 1000, belowDb) - low) < 1,
                 qPrintable(QString::number(crossing(gains, binHz, 1000, 300, 1000, belowDb))));
        QVERIFY2(std::abs(crossing(gains, binHz, 1000, 2300, 1000, belowDb) - high) < 1,
                 qPrintable(QString::number(crossing(gains, binHz, 1000, 2300, 1000, belowDb))));
    }
}

QTEST_MAIN(TestBatchMaskers)
#include "tst_batch_maskers.moc"
