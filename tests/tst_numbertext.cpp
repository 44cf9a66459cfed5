// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/Failure.h"
#include "tone/NumberText.h"

#include <QLocale>
#include <QTest>

class TestNumberText : public QObject {
    Q_OBJECT

private slots:
    void toInt16_data();
    void toInt16();
    void toInt16Fails_data();
    void toInt16Fails();
    void isNumericText_data();
    void isNumericText();
    void isNumericTextInGermanLocale();
};

void TestNumberText::toInt16_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected");
    QTest::newRow("whole") << "200" << 200;
    QTest::newRow("halfway down to even") << "200.5" << 200;
    QTest::newRow("halfway up to even") << "201.5" << 202;
    QTest::newRow("negative halfway to even") << "-2.5" << -2;
    QTest::newRow("below half") << "3.49" << 3;
    QTest::newRow("above half") << "3.7" << 4;
    QTest::newRow("decimal comma") << "2,5" << 2;
    QTest::newRow("comma is no thousands separator") << "1,000" << 1;
    QTest::newRow("blanks and plus sign") << "  +17  " << 17;
    QTest::newRow("leading point") << ".6" << 1;
    QTest::newRow("trailing point") << "5." << 5;
    QTest::newRow("exponent") << "1.5e3" << 1500;
    QTest::newRow("negative exponent") << "25E-1" << 2;
    QTest::newRow("tiny exponent is zero") << "1e-999" << 0;
    QTest::newRow("upper limit") << "32767" << 32767;
    QTest::newRow("lower limit") << "-32768" << -32768;
    QTest::newRow("rounds into range") << "32767.4" << 32767;
    QTest::newRow("lower limit halfway to even") << "-32768.5" << -32768;
}

void TestNumberText::toInt16() {
    QFETCH(QString, text);
    QFETCH(int, expected);
    QCOMPARE(int(::toInt16(text)), expected);
}

void TestNumberText::toInt16Fails_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("description");
    QTest::newRow("empty") << ""
                           << "Type mismatch";
    QTest::newRow("blank") << "   "
                           << "Type mismatch";
    QTest::newRow("letters") << "abc"
                             << "Type mismatch";
    QTest::newRow("number then letters") << "12abc"
                                         << "Type mismatch";
    QTest::newRow("two signs") << "--1"
                               << "Type mismatch";
    QTest::newRow("inner blank") << "1 2"
                                 << "Type mismatch";
    QTest::newRow("two separators") << "1.2.3"
                                    << "Type mismatch";
    QTest::newRow("infinity word") << "inf"
                                   << "Type mismatch";
    QTest::newRow("hexadecimal") << "0x10"
                                 << "Type mismatch";
    QTest::newRow("just above") << "32767.5"
                                << "Overflow";
    QTest::newRow("just below") << "-32769"
                                << "Overflow";
    QTest::newRow("huge exponent") << "1e999"
                                   << "Overflow";
    QTest::newRow("huge negative exponent") << "-1e999"
                                            << "Overflow";
}

void TestNumberText::toInt16Fails() {
    QFETCH(QString, text);
    QFETCH(QString, description);
    try {
        ::toInt16(text);
        QFAIL("no failure");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), description);
    }
}

void TestNumberText::isNumericText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("numeric");
    QTest::newRow("whole") << "3" << true;
    QTest::newRow("decimal point") << "2.5" << true;
    QTest::newRow("decimal comma") << "1,5" << true;
    QTest::newRow("negative") << "-100" << true;
    QTest::newRow("zero") << "0" << true;
    QTest::newRow("exponent") << "1e3" << true;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("letters") << "abc" << false;
    QTest::newRow("infinity") << "1e999" << false;
    QTest::newRow("inf word") << "inf" << false;
    QTest::newRow("nan word") << "nan" << false;
    QTest::newRow("two numbers") << "1 2" << false;
    QTest::newRow("plus sign") << "+1" << true;
    QTest::newRow("exponent one") << "1e0" << true;
    QTest::newRow("thousands separators") << "1,000,000" << false;
    QTest::newRow("English thousands") << "1,000.5" << false;
}

void TestNumberText::isNumericText() {
    QFETCH(QString, text);
    QFETCH(bool, numeric);
    QCOMPARE(::isNumericText(text), numeric);
}

void TestNumberText::isNumericTextInGermanLocale() {
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(::isNumericText(QStringLiteral("1,5")));
    QVERIFY(::isNumericText(QStringLiteral("1.5")));
    // A thousands separator would make the field read one number and the tool another.
    QVERIFY(!::isNumericText(QStringLiteral("1.000,5")));
    QVERIFY(!::isNumericText(QStringLiteral("1,5x")));
    QLocale::setDefault(saved);
}

QTEST_GUILESS_MAIN(TestNumberText)
#include "tst_numbertext.moc"
