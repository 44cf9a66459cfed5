// SPDX-License-Identifier: GPL-3.0-or-later
// The adaptive staircase against its definition, and against a simulated listener whose
// psychometric function is known.
#include "listening/SimulatedListener.h"
#include "listening/Staircase.h"

#include <QTest>

class TestStaircase : public QObject {
    Q_OBJECT

private slots:
    void scriptedAnswersGiveTheTrack();
    void convergesOnItsPoint_data();
    void convergesOnItsPoint();
};

// 1-up/2-down from 10 by 4, then by 2 after the first reversal: each value, reversal and the
// threshold worked out by hand.
void TestStaircase::scriptedAnswersGiveTheTrack() {
    StaircaseRule rule;
    rule.reversalsToStop = 4;
    rule.reversalsAveraged = 2;
    Staircase staircase(rule);
    const QList<bool> answers{true, true,  true,  true, false, true,
                              true, false, false, true, true,  true};
    QList<double> values;
    QList<int> reversalTrials;
    for (const bool correct : answers) {
        if (staircase.finished())
            break;
        values << staircase.value();
        staircase.answer(correct);
        if (staircase.lastWasReversal())
            reversalTrials << staircase.trials();
    }
    QCOMPARE(values, (QList<double>{10, 10, 6, 6, 2, 4, 4, 2, 4, 6, 6}));
    QCOMPARE(staircase.reversals(), (QList<double>{2, 4, 2, 6}));
    QCOMPARE(reversalTrials, (QList<int>{5, 7, 8, 11}));
    QVERIFY(staircase.finished());
    staircase.answer(false);
    QCOMPARE(staircase.trials(), 11);
    QCOMPARE(staircase.threshold(), std::optional<double>(4));
}

void TestStaircase::convergesOnItsPoint_data() {
    QTest::addColumn<int>("down");
    QTest::newRow("1-up/2-down, 70.7 %") << 2;
    QTest::newRow("1-up/3-down, 79.4 %") << 3;
}

// Over 200 runs with a simulated 2AFC listener, the mean threshold lies within 10 % of the value
// the rule tracks: the one answered correctly with a chance of 0.5^(1/down).
void TestStaircase::convergesOnItsPoint() {
    QFETCH(int, down);
    const PsychometricFunction function;
    StaircaseRule rule;
    rule.down = down;
    rule.start = 30;
    rule.steps = {2, 1.4142, 1.1892};
    rule.logScale = true;
    rule.lowest = 0.01;
    rule.reversalsToStop = 14;
    rule.reversalsAveraged = 10;
    rule.trialLimit = 400;
    constexpr int runs = 200;
    double sum = 0;
    for (int run = 1; run <= runs; ++run) {
        const SimulatedListener listener(function, quint64(run));
        Staircase staircase(rule);
        while (!staircase.finished())
            staircase.answer(listener.answersCorrectly(staircase.trials(), staircase.value()));
        QVERIFY(staircase.threshold());
        sum += *staircase.threshold();
    }
    const double tracked = function.valueAt(std::pow(0.5, 1.0 / down));
    QVERIFY2(std::abs(sum / runs / tracked - 1) < 0.1,
             qPrintable(QStringLiteral("mean %1, tracked point %2").arg(sum / runs).arg(tracked)));
}

QTEST_GUILESS_MAIN(TestStaircase)
#include "tst_staircase.moc"
