// SPDX-License-Identifier: GPL-3.0-or-later
// Thousands of random user actions on the real window, with a fast stand-in for the
// tool: typing hostile text, leaving fields, choosing rows, clicking every button and
// answering every box, also while a batch runs. Seeded, the same run every time unless
// asked: ZIRAVEL_MONKEY_SEED replays a run ("random" draws a new one), ZIRAVEL_MONKEY_EVENTS
// sets how many actions it makes.
#include "ToneRun.h"
#include "tone/NumberText.h"

#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QTimer>
#include <random>

namespace {

const QStringList hostileTexts = {
    "\"",
    "'",
    ";",
    "$(touch owned)",
    "`touch owned`",
    "\n",
    "\r\n",
    "\t",
    "звук",
    "音色",
    "🎵",
    "%s%n",
    "\\",
    "&& rm -rf x",
    "| cat",
    "> out.wav",
    "\" -n \"/tmp/x.wav",
    "1 2 3",
    "--help",
    "-r",
    "synth",
    "..",
    "0x10",
    "1e9",
    "-0",
    "+1",
    ",",
    ".",
    "",
};

QSet<QString> allFilesUnder(const QString& root, const QStringList& skipped) {
    QSet<QString> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (std::none_of(skipped.begin(), skipped.end(),
                         [&](const QString& skip) { return path.startsWith(skip); }))
            files << path;
    }
    return files;
}

// Types the text key by key; characters without a key of their own on a US keyboard
// arrive as text without a key code.
void typeText(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == '\n')
            QTest::keyClick(widget, Qt::Key_Return);
        else if (code == '\t')
            QTest::keyClick(widget, Qt::Key_Tab);
        else if (code >= 0x20 && code < 0x7f)
            QTest::keyClick(widget, char(code));
        else
            QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
}

class Monkey {
public:
    Monkey(ToneRun& run, quint64 seed) : m_run(run), m_random(seed) {}

    // One random action; may run inside a batch's wait.
    void act() {
        Form1& w = m_run.w;
        FieldEdit* const fields[] = {w.lengthField, w.countField, w.fromField, w.toField,
                                     w.folderField};
        QPushButton* const buttons[] = {w.pushButton1, w.pushButton2, w.pushButton3,
                                        w.chooseFolderButton};
        switch (pick(10)) {
        case 0:
        case 1:
            fields[pick(5)]->setFocus(Qt::TabFocusReason);
            break;
        case 2:
        case 3:
            typeInto(fields[pick(4)]);
            break;
        case 4:
            typeFolder();
            break;
        case 5:
            w.waveformList->setCurrentIndex(pick(10) - 1);
            break;
        case 6:
            m_run.fixture.modals.folderAnswer =
                pick(3) == 0 ? QString() : m_run.output + QStringLiteral("/sub%1").arg(pick(3));
            QDir().mkpath(m_run.fixture.modals.folderAnswer);
            keepBatchesShort();
            buttons[pick(4)]->click();
            break;
        case 7:
            QTest::mouseMove(buttons[pick(4)]);
            break;
        case 8:
            QTest::mouseMove(w.frame1, QPoint(2, 2));
            break;
        default: {
            // Not in the folder field: an empty folder text would send MP3 tones into
            // the working folder, as it would for a user who empties it.
            FieldEdit* field = fields[pick(4)];
            field->setFocus(Qt::TabFocusReason);
            QTest::keyClick(field, pick(2) ? Qt::Key_Backspace : Qt::Key_Delete);
            break;
        }
        }
    }

private:
    int pick(int count) { return std::uniform_int_distribution<int>(0, count - 1)(m_random); }

    QString randomText() {
        if (pick(40) == 0)
            return QString(100000, QLatin1Char("a9\"; "[pick(5)])); // a long paste
        switch (pick(5)) {
        case 0:
            return QString::number(pick(6) - 1);
        case 1:
            return QStringLiteral("0.00%1").arg(pick(9) + 1);
        case 2:
            return QString::number(pick(3200) - 100);
        case 3: {
            QString text;
            for (int i = 0, n = pick(12); i < n; ++i)
                text += QChar(char16_t(0x20 + pick(0x2000)));
            return text;
        }
        default:
            return hostileTexts[pick(int(hostileTexts.size()))];
        }
    }

    void typeInto(FieldEdit* field) {
        field->setFocus(Qt::TabFocusReason);
        if (pick(2) == 0)
            field->selectAll(); // replace rather than add to what is there
        const QString text = randomText();
        if (text.size() > 100)
            field->insert(text); // a paste
        else
            typeText(field, text);
    }

    // Typed digits add up; thousands of tones would only make the run long.
    void keepBatchesShort() {
        double count = 0;
        if (parseNumberText(m_run.w.countField->text(), count) && count > 8)
            m_run.w.countField->setText(QString::number(pick(8)));
    }

    // Any text, but always inside the output folder: a test must not write elsewhere.
    void typeFolder() {
        QString suffix = randomText().left(40);
        suffix.remove(QLatin1Char('/'));
        m_run.w.folderField->setText(m_run.output + QLatin1Char('/') + suffix);
    }

    ToneRun& m_run;
    std::mt19937_64 m_random;
};

} // namespace

class TestMonkey : public QObject {
    Q_OBJECT

private slots:
    void randomUse();
};

void TestMonkey::randomUse() {
    // A suite that passes or fails by chance tells nothing: a fixed run unless asked.
    constexpr quint64 fixedSeed = 20261208;
    const QString asked = qEnvironmentVariable("ZIRAVEL_MONKEY_SEED");
    const quint64 seed = asked.isEmpty()                    ? fixedSeed
                         : asked == QLatin1String("random") ? std::random_device{}()
                                                            : asked.toULongLong();
    const int events = qEnvironmentVariableIsSet("ZIRAVEL_MONKEY_EVENTS")
                           ? qEnvironmentVariableIntValue("ZIRAVEL_MONKEY_EVENTS")
                           : 3000;
    qInfo("monkey seed: %llu, events: %d (replay with ZIRAVEL_MONKEY_SEED=%llu)", seed, events,
          seed);

    ToneRun run;
    const QString log = run.useFakeTool(0);
    const QStringList ours = {run.tools.path(), QFileInfo(run.fixture.settingsFile()).path()};
    const QString home = QDir::homePath();
    const QSet<QString> before =
        allFilesUnder(home, ours) + allFilesUnder(QDir::currentPath(), ours);
    run.w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&run.w));

    Monkey monkey(run, seed);
    int done = 0;
    QTimer driver;
    QObject::connect(&driver, &QTimer::timeout, [&] {
        if (done >= events) {
            driver.stop();
            return;
        }
        ++done;
        monkey.act();
    });
    driver.start(0);
    QTRY_VERIFY_WITH_TIMEOUT(done >= events && !run.w.isBusy(), 300000);

    const QString replay = QStringLiteral("seed %1").arg(seed);
    QVERIFY2(!run.w.isBusy(), qPrintable(replay));
    QTest::mouseMove(run.w.frame3, QPoint(2, 2));
    QCOMPARE(run.w.pointerShape(), PointerShape::arrow);
    QVERIFY2(!run.w.progressBar->isVisible(), qPrintable(replay));

    QSettings stored(run.fixture.settingsFile(), QSettings::IniFormat);
    QCOMPARE(stored.status(), QSettings::NoError);
    QCOMPARE(stored.value("Text1").toString(), run.w.lengthField->text());
    QCOMPARE(stored.value("Text2").toString(), run.w.countField->text());
    QCOMPARE(stored.value("Text3").toString(), run.w.fromField->text());
    QCOMPARE(stored.value("Text4").toString(), run.w.toField->text());
    QCOMPARE(stored.value("Text5").toString(), run.w.folderField->text());
    QCOMPARE(stored.value("Combo1").toString(),
             QString::number(run.w.waveformList->currentIndex()));

    // Every tone went into the output folder (the preview into the tool folder), and
    // nothing appeared anywhere else.
    // Each at one of the rates a pitch may need.
    const QStringList rates{"8000", "16000", "22050", "44100", "48000", "96000"};
    // Tones are made in a private folder of the output folder (or of a folder in it), the
    // preview in one of the tool folder, and then take their names.
    const QRegularExpression made(
        QStringLiteral(
            "^-n (%1(/[^ ]+)?|%2)/\\.ziravel-[^/ ]+/(Ziravel_[0-9]+\\.(wav|mp3)|preview\\.wav) ")
            .arg(QRegularExpression::escape(run.output),
                 QRegularExpression::escape(run.tools.path())));
    for (const QString& line : linesOf(log)) {
        const QString afterRate = line.section(QLatin1Char(' '), 2);
        QVERIFY2(line.startsWith(QStringLiteral("-r ")) &&
                     rates.contains(line.section(QLatin1Char(' '), 1, 1)) &&
                     made.match(afterRate).hasMatch(),
                 qPrintable(replay + QStringLiteral(": ") + line.left(200)));
    }
    const QSet<QString> added =
        allFilesUnder(home, ours) + allFilesUnder(QDir::currentPath(), ours) - before;
    QVERIFY2(added.isEmpty(), qPrintable(QStringList(added.begin(), added.end()).join(' ')));
    qInfo("monkey made %d actions and %lld tool runs", done, qsizetype(linesOf(log).size()));
}

QTEST_MAIN(TestMonkey)
#include "tst_monkey.moc"
