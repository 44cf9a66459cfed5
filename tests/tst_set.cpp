// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/SetManifest.h"
#include "set/SetPlan.h"
#include "set/SetSplits.h"

#include <QJsonObject>
#include <QMap>
#include <QTest>
#include <cmath>

Q_DECLARE_METATYPE(QList<qint64>)

class TestSet : public QObject {
    Q_OBJECT

private slots:
    void splitsGetTheirSharesExactly_data();
    void splitsGetTheirSharesExactly();
    void balancedSplitsKeepEachCellNearItsShare_data();
    void balancedSplitsKeepEachCellNearItsShare();
    void manifestNamesTheSplits();
};

namespace {

// How many tones each split holds, in the order of the shares.
QList<qint64> sizesOf(const QMap<QString, qint64>& counted, const QString& shares) {
    QList<qint64> sizes;
    for (const QString& share : shares.split(QLatin1Char(',')))
        sizes << counted.value(share.section(QLatin1Char('='), 0, 0));
    return sizes;
}

} // namespace

void TestSet::splitsGetTheirSharesExactly_data() {
    QTest::addColumn<QString>("shares");
    QTest::addColumn<qint64>("count");
    QTest::addColumn<QList<qint64>>("sizes");
    // The tones left over go to the largest remainders, the first of equal ones first.
    QTest::newRow("halves of seven") << "a=0.5,b=0.5" << qint64(7) << QList<qint64>{4, 3};
    QTest::newRow("two left over") << "a=0.25,b=0.25,c=0.5" << qint64(7) << QList<qint64>{2, 2, 3};
    QTest::newRow("the largest remainder")
        << "train=0.8,validation=0.1,test=0.1" << qint64(13) << QList<qint64>{11, 1, 1};
    QTest::newRow("fewer tones than splits")
        << "a=0.4,b=0.3,c=0.3" << qint64(2) << QList<qint64>{1, 1, 0};
}

// Drawn over the whole set, each split holds its share of whole tones, no more, no fewer.
void TestSet::splitsGetTheirSharesExactly() {
    QFETCH(QString, shares);
    QFETCH(qint64, count);
    QFETCH(QList<qint64>, sizes);
    const std::optional<SetSplits> splits = SetSplits::read(shares);
    QVERIFY(splits);
    QMap<QString, qint64> counted;
    for (qint64 position = 0; position < count; ++position)
        ++counted[splits->splitOf(position, count, 42)];
    QCOMPARE(sizesOf(counted, shares), sizes);
}

void TestSet::balancedSplitsKeepEachCellNearItsShare_data() {
    QTest::addColumn<QString>("shares");
    QTest::addColumn<qint64>("rounds");
    QTest::addColumn<qint64>("cells");
    QTest::addColumn<QList<qint64>>("sizes");
    QTest::newRow("one left over")
        << "a=0.5,b=0.3,c=0.2" << qint64(5) << qint64(3) << QList<qint64>{8, 4, 3};
    QTest::newRow("uneven in every cell")
        << "a=0.7,b=0.3" << qint64(3) << qint64(4) << QList<qint64>{8, 4};
    QTest::newRow("shares that divide")
        << "a=0.5,b=0.5" << qint64(4) << qint64(2) << QList<qint64>{4, 4};
}

// A balanced design's splits: the set gets its shares exactly, and each cell holds its own
// share of its rounds, rounded down or up.
void TestSet::balancedSplitsKeepEachCellNearItsShare() {
    QFETCH(QString, shares);
    QFETCH(qint64, rounds);
    QFETCH(qint64, cells);
    QFETCH(QList<qint64>, sizes);
    const std::optional<SetSplits> splits = SetSplits::read(shares);
    QVERIFY(splits);
    QMap<QString, qint64> counted;
    for (qint64 cell = 0; cell < cells; ++cell) {
        QMap<QString, qint64> inCell;
        for (qint64 round = 0; round < rounds; ++round)
            ++inCell[splits->splitInCell(round, rounds, cell, cells, 100 + quint64(cell), 7)];
        for (const QString& share : shares.split(QLatin1Char(','))) {
            const QString name = share.section(QLatin1Char('='), 0, 0);
            const double exact = share.section(QLatin1Char('='), 1).toDouble() * double(rounds);
            const double held = double(inCell.value(name));
            QVERIFY2(held >= std::floor(exact) && held <= std::floor(exact) + 1,
                     qPrintable(QStringLiteral("cell %1: %2 of %3")
                                    .arg(cell)
                                    .arg(inCell.value(name))
                                    .arg(name)));
            counted[name] += inCell.value(name);
        }
    }
    QCOMPARE(sizesOf(counted, shares), sizes);
}

// A remake reads the splits back from the manifest: the split and how it was drawn.
void TestSet::manifestNamesTheSplits() {
    SetPlan plan;
    plan.lengthText = QStringLiteral("0.1");
    plan.waveform = Waveform::sine;
    plan.from = 200;
    plan.to = 400;
    plan.count = 5;
    plan.splits = SetSplits::read(QStringLiteral("train=0.6,test=0.4"));
    plan.splitByNumber = true;
    const QJsonObject options =
        setManifest(plan, {}, plan.tone(1)).value(QStringLiteral("options")).toObject();
    QCOMPARE(options.value(QStringLiteral("split")).toString(),
             QStringLiteral("train=0.6,test=0.4"));
    QCOMPARE(options.value(QStringLiteral("split-by")).toString(), QStringLiteral("number"));
}

QTEST_MAIN(TestSet)
#include "tst_set.moc"
