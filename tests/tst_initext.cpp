// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniText.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

class TestIniText : public QObject {
    Q_OBJECT

private slots:
    void valuesRoundTripWithQt_data();
    void valuesRoundTripWithQt();
    void fileTextReadsAsPlainText_data();
    void fileTextReadsAsPlainText();
};

void TestIniText::valuesRoundTripWithQt_data() {
    QTest::addColumn<QString>("value");
    QTest::newRow("decimal comma") << "0,5";
    QTest::newRow("empty") << "";
    QTest::newRow("blanks around") << "  blanks  ";
    QTest::newRow("leading at sign") << "@home";
    QTest::newRow("looks like a variant") << "@Variant(\t)";
    QTest::newRow("quotes and backslashes") << "C:\\Tones\\ \"x\"";
    QTest::newRow("separators") << "a, b;c=d";
    QTest::newRow("control characters") << "tab\there\nline\r";
    QTest::newRow("control then hex digit") << QStringLiteral("\x01") + "AB";
    QTest::newRow("NUL then digits") << QString(QChar(0)) + "12";
    QTest::newRow("byte order marks") << QString(2, QChar(0xFEFF)) + "\t@";
    QTest::newRow("beyond ASCII") << QString::fromUtf8("Grüße \xF0\x9F\x8E\xB5");
}

// What we write, Qt reads back, and what Qt writes, we read back.
void TestIniText::valuesRoundTripWithQt() {
    QFETCH(QString, value);
    QTemporaryDir dir;
    const QString ours = dir.filePath(QStringLiteral("ours.conf"));
    QFile file(ours);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(writeIniText({{QStringLiteral("Text1"), value}}));
    file.close();
    QCOMPARE(QSettings(ours, QSettings::IniFormat).value(QStringLiteral("Text1")).toString(),
             value);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(readIniText(file.readAll()).value(QStringLiteral("Text1")).toString(), value);

    const QString qts = dir.filePath(QStringLiteral("qts.conf"));
    {
        QSettings settings(qts, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Text1"), value);
    }
    QFile written(qts);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QCOMPARE(readIniText(written.readAll()).value(QStringLiteral("Text1")).toString(), value);
}

void TestIniText::fileTextReadsAsPlainText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QVariantMap>("values");
    QTest::newRow("variant stays text")
        << QByteArray("[General]\nText1=@Variant(\\0\\0\\0\\t\\0\\0\\0\\x1)\n")
        << QVariantMap{{"Text1", QStringLiteral("@Variant(") + QString(3, QChar(0)) + "\t" +
                                     QString(3, QChar(0)) + QChar(1) + ")"}};
    QTest::newRow("list is joined")
        << QByteArray("[General]\nText5=a , b,\"c, d\"\n") << QVariantMap{{"Text5", "a, b, c, d"}};
    QTest::newRow("sections and comments")
        << QByteArray("; note\n[General]\r\nText1 = 2 \r\n\n[Other]\nkey=v\n")
        << QVariantMap{{"Text1", "2"}, {"Other/key", "v"}};
    QTest::newRow("keys that are not ours are dropped")
        << QByteArray("[General]\n\x03[=1\n=2\nText 2=3\n\xff\xfe=4\nText1=5\n[unclosed\nText2=6")
        << QVariantMap{{"Text1", "5"}, {"Text2", "6"}};
    QTest::newRow("half a line") << QByteArray("[General]\nText3=300\nText4=\"50")
                                 << QVariantMap{{"Text3", "300"}, {"Text4", "50"}};
}

void TestIniText::fileTextReadsAsPlainText() {
    QFETCH(QByteArray, text);
    QFETCH(QVariantMap, values);
    const QSettings::SettingsMap read = readIniText(text);
    QCOMPARE(read, values);
}

QTEST_GUILESS_MAIN(TestIniText)
#include "tst_initext.moc"
