// SPDX-License-Identifier: GPL-3.0-or-later
// The adaptive staircase against its definition, and against a simulated listener whose
// psychometric function is known; identification's order, choices and score.
#include "TestSupport.h"
#include "listening/Identification.h"
#include "listening/SimulatedListener.h"
#include "listening/Staircase.h"

#include <QSet>
#include <QTemporaryDir>
#include <QTest>

class TestStaircase : public QObject {
    Q_OBJECT

private slots:
    void scriptedAnswersGiveTheTrack();
    void convergesOnItsPoint_data();
    void convergesOnItsPoint();
    void identificationOrderIsBalancedAndSeeded();
    void choicesAreTheColumnsValues();
    void scoreCountsConfusions();
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

// Every file is played as often as asked, in an order its seed alone gives.
void TestStaircase::identificationOrderIsBalancedAndSeeded() {
    const QList<qsizetype> order = identificationOrder(5, 3, 42);
    QCOMPARE(order.size(), 15);
    for (qsizetype row = 0; row < 5; ++row)
        QCOMPARE(order.count(row), 3);
    QCOMPARE(identificationOrder(5, 3, 42), order);
    QVERIFY(identificationOrder(5, 3, 43) != order);
}

// Numbers in their order (not as text), each once; a column of too many values offers none.
void TestStaircase::choicesAreTheColumnsValues() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("key.csv"));
    QByteArray key = "file,frequency_hz,n\n";
    for (int row = 0; row < 13; ++row)
        key += QStringLiteral("t%1.wav,%2,%3\n")
                   .arg(row)
                   .arg(QList<int>{1000, 250, 500}[row % 3])
                   .arg(row)
                   .toUtf8();
    TestSupport::writeFile(path, key);
    const AnswerKeyIndex index(path);
    QCOMPARE(choicesOf(index, QStringLiteral("frequency_hz")),
             (QStringList{QStringLiteral("250"), QStringLiteral("500"), QStringLiteral("1000")}));
    QVERIFY(!choicesOf(index, QStringLiteral("n")));
}

void TestStaircase::scoreCountsConfusions() {
    IdentificationScore score;
    score.add(QStringLiteral("A4"), QStringLiteral("A4"));
    score.add(QStringLiteral("A4"), QStringLiteral("C5"));
    score.add(QStringLiteral("C5"), QStringLiteral("C5"));
    score.add(QStringLiteral("A4"), QStringLiteral("A4"));
    QCOMPARE(score.count(QStringLiteral("A4"), QStringLiteral("C5")), 1);
    QCOMPARE(score.count(QStringLiteral("C5"), QStringLiteral("A4")), 0);
    QCOMPARE(score.percentCorrect(QStringLiteral("A4")), 200.0 / 3);
    QCOMPARE(score.text(), QStringLiteral("Score: 3 of 4 (75 %)"));
}

QTEST_GUILESS_MAIN(TestStaircase)
#include "tst_staircase.moc"
