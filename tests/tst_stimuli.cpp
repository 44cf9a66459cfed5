// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneStimuli.h"

#include <QTest>
#include <algorithm>
#include <cmath>
#include <numbers>

class TestStimuli : public QObject {
    Q_OBJECT

private slots:
    void harmonicNumbers_data();
    void harmonicNumbers();
    void modulations_data();
    void modulations();
    void amSideBandsAreHalfTheDepth();
    void fmSideBandsFollowBessel();
    void complexPeaksJustBelowFullScale();
    void tooLargeFromTheNumbersAlone();
};

namespace {

// The sine of the frequency among the partials; none when there is none.
const Partial* partialAt(const QList<Partial>& partials, double frequency) {
    const auto found = std::find_if(partials.begin(), partials.end(), [&](const Partial& p) {
        return std::abs(p.frequency - frequency) < 1e-6;
    });
    return found == partials.end() ? nullptr : &*found;
}

// A sine at the frequency, in sine phase, to be modulated.
SineRecipe carrier(double hertz) {
    SineRecipe recipe;
    recipe.frequency = recipe.endFrequency = hertz;
    recipe.phases = {0};
    return recipe;
}

} // namespace

void TestStimuli::harmonicNumbers_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("numbers"); // empty: refused
    QTest::newRow("range") << "1-8" << QList<int>{1, 2, 3, 4, 5, 6, 7, 8};
    QTest::newRow("missing fundamental") << "2,3,4,5" << QList<int>{2, 3, 4, 5};
    QTest::newRow("sorted, each once") << "5,1-3,2" << QList<int>{1, 2, 3, 5};
    QTest::newRow("no harmonic 0") << "0-3" << QList<int>{};
    QTest::newRow("past the highest") << "60-65" << QList<int>{};
    QTest::newRow("range that runs down") << "5-3" << QList<int>{};
    QTest::newRow("no number") << "1,x" << QList<int>{};
}

void TestStimuli::harmonicNumbers() {
    QFETCH(QString, text);
    QFETCH(QList<int>, numbers);
    QCOMPARE(::harmonicNumbers(text).value_or(QList<int>{}), numbers);
}

void TestStimuli::modulations_data() {
    QTest::addColumn<bool>("am");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("read");
    QTest::newRow("AM") << true << "8,0.5" << true;
    QTest::newRow("AM range, full depth") << true << "4-16,1" << true;
    QTest::newRow("AM deeper than full") << true << "8,1.5" << false;
    QTest::newRow("AM at no rate") << true << "0,0.5" << false;
    QTest::newRow("FM") << false << "5,50" << true;
    QTest::newRow("FM at no rate") << false << "0,5" << false;
    // The deviation at most 256 times the lowest rate: 512 Hz for a range from 2 Hz.
    QTest::newRow("FM at the largest index") << false << "2-8,512" << true;
    QTest::newRow("FM past the largest index") << false << "2-8,513" << false;
}

void TestStimuli::modulations() {
    QFETCH(bool, am);
    QFETCH(QString, text);
    QFETCH(bool, read);
    QCOMPARE((am ? amOf(text) : fmOf(text)).has_value(), read);
}

// (1 + m sin) sin: the carrier and two side bands of m/2 its amplitude, the rate either side.
void TestStimuli::amSideBandsAreHalfTheDepth() {
    SineRecipe recipe = carrier(1000);
    recipe.amRate = 100;
    recipe.amDepth = 0.5;
    const QList<Partial> partials = recipePartials(recipe);
    QCOMPARE(partials.size(), 3);
    const Partial* middle = partialAt(partials, 1000);
    QVERIFY(middle && partialAt(partials, 900) && partialAt(partials, 1100));
    QCOMPARE(partialAt(partials, 900)->amplitude / middle->amplitude, 0.25);
    QCOMPARE(partialAt(partials, 1100)->amplitude / middle->amplitude, 0.25);
}

// sin(2 pi f t + (d / r) sin(2 pi r t)): side bands n rates away of J_n(d / r).
void TestStimuli::fmSideBandsFollowBessel() {
    SineRecipe recipe = carrier(1000);
    recipe.fmRate = 100;
    recipe.fmDeviation = 200;
    const QList<Partial> partials = recipePartials(recipe);
    const Partial* middle = partialAt(partials, 1000);
    QVERIFY(middle);
    for (int n = 1; n <= 4; ++n)
        for (const int side : {-1, 1}) {
            const Partial* band = partialAt(partials, 1000 + side * n * 100);
            QVERIFY2(band, qPrintable(QString::number(side * n)));
            QVERIFY(std::abs(band->amplitude / middle->amplitude -
                             std::abs(std::cyl_bessel_j(n, 2.0) / std::cyl_bessel_j(0, 2.0))) <
                    1e-6);
        }
}

// A complex is scaled so that its peak, wherever it falls, is full scale less a thousandth.
void TestStimuli::complexPeaksJustBelowFullScale() {
    SineRecipe recipe;
    recipe.frequency = recipe.endFrequency = 100;
    recipe.harmonics = {1, 2, 3, 4, 5, 6, 7, 8};
    recipe.phases = QList<double>(8, 0.25);
    const QList<Partial> partials = recipePartials(recipe);
    double peak = 0;
    for (int at = 0; at < 100000; ++at) {
        const double t = at / 100000.0 / 100;
        double sum = 0;
        for (const Partial& p : partials)
            sum += p.amplitude * std::sin(2 * std::numbers::pi * (p.frequency * t + p.phase));
        peak = std::max(peak, std::abs(sum));
    }
    QVERIFY2(peak > 0.997 && peak <= 0.999 + 1e-6, qPrintable(QString::number(peak)));
}

// Counted from the numbers, never worked out: 64 harmonics with an FM index of 50 would be far
// more than a tone's sines; 8 with an index of 2 are not.
void TestStimuli::tooLargeFromTheNumbersAlone() {
    SineRecipe recipe;
    recipe.frequency = recipe.endFrequency = 200;
    recipe.fmRate = 100;
    recipe.fmDeviation = 5000;
    recipe.harmonics.clear();
    for (int number = 1; number <= 64; ++number)
        recipe.harmonics << number;
    recipe.phases = QList<double>(64, 0);
    QVERIFY(isRecipeTooLarge(recipe));
    recipe.harmonics = {1, 2, 3, 4, 5, 6, 7, 8};
    recipe.phases = QList<double>(8, 0);
    recipe.fmDeviation = 200;
    QVERIFY(!isRecipeTooLarge(recipe));
}

QTEST_MAIN(TestStimuli)
#include "tst_stimuli.moc"
