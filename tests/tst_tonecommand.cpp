// SPDX-License-Identifier: GPL-3.0-or-later
#include "SoundFiles.h"
#include "making/ToneEngine.h"
#include "making/ToneJudge.h"
#include "making/ToneNumbering.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "set/AnswerKey.h"
#include "set/ToneDesign.h"
#include "tone/PitchLists.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"
#include "tone/ToneLimits.h"
#include "tone/ToneOptions.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

class TestToneCommand : public QObject {
    Q_OBJECT

private slots:
    void pitchLists_data();
    void pitchLists();
    void roundsAreShuffledAnew();
    void waveformWord_data();
    void waveformWord();
    void drawStaysInRange_data();
    void drawStaysInRange();
    void drawOverflows_data();
    void drawOverflows();
    void nearestNote_data();
    void nearestNote();
    void answerKeyQuotesItsFields();
    void toolReasonIsItsFailLine();
    void startFailureSaysWhy();
    void clippedChainIsNotMade();
    void negativePitchIsNamed();
    void windowsNamesAreFiles();
    void peakRuleJudgesTheLevel_data();
    void peakRuleJudgesTheLevel();
    void sampleRateForPitch_data();
    void sampleRateForPitch();
    void commandForEachRow_data();
    void commandForEachRow();
    void commandArguments_data();
    void commandArguments();
};

void TestToneCommand::waveformWord_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("word");
    QTest::newRow("default row") << "Sine (Default)"
                                 << "sine";
    QTest::newRow("any capitalisation of default") << "Square (DEFAULT)"
                                                   << "square";
    QTest::newRow("plain") << "Exp"
                           << "exp";
    QTest::newRow("white noise is one word") << "White Noise"
                                             << "whitenoise";
    QTest::newRow("pink noise is one word") << "Pink Noise"
                                            << "pinknoise";
    QTest::newRow("brown noise is one word") << "Brown Noise"
                                             << "brownnoise";
    QTest::newRow("no row") << ""
                            << "";
    QTest::newRow("blanks trimmed") << "  Triangle  "
                                    << "triangle";
}

void TestToneCommand::waveformWord() {
    QFETCH(QString, shown);
    QFETCH(QString, word);
    QCOMPARE(::waveformWord(shown), word);
}

void TestToneCommand::drawStaysInRange_data() {
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::addColumn<int>("least");
    QTest::addColumn<int>("most");
    QTest::addColumn<int>("distinct"); // values that turn up in many draws; 0: not counted
    QTest::newRow("ordinary") << 200 << 400 << 200 << 400 << 201;
    QTest::newRow("equal bounds") << 300 << 300 << 300 << 300 << 1;
    // Reversed, the draw reaches the lower bound only when the generator gives exactly 0.
    QTest::newRow("reversed bounds") << 400 << 200 << 201 << 400 << 199;
    QTest::newRow("reversed by one") << 301 << 300 << 301 << 301 << 1;
    QTest::newRow("around zero") << -10 << 10 << -10 << 10 << 21;
    QTest::newRow("widest range") << -16384 << 16381 << -16384 << 16381 << 0;
}

void TestToneCommand::drawStaysInRange() {
    QFETCH(int, lower);
    QFETCH(int, upper);
    QFETCH(int, least);
    QFETCH(int, most);
    QFETCH(int, distinct);
    QSet<int> seen;
    std::mt19937_64 generator(1);
    const int draws = (most - least + 1) * 40;
    for (int i = 0; i < qMin(draws, 200000); ++i) {
        const int value = randomBetween(qint16(lower), qint16(upper), generator);
        QVERIFY2(value >= least && value <= most, qPrintable(QString::number(value)));
        seen.insert(value);
    }
    if (distinct > 0)
        QCOMPARE(seen.size(), distinct);
}

void TestToneCommand::drawOverflows_data() {
    QTest::addColumn<int>("lower");
    QTest::addColumn<int>("upper");
    QTest::newRow("width 32767") << 0 << 32767;
    QTest::newRow("difference beyond 16 bits") << -30000 << 30000;
    QTest::newRow("reversed beyond 16 bits") << 30000 << -30000;
}

void TestToneCommand::drawOverflows() {
    QFETCH(int, lower);
    QFETCH(int, upper);
    try {
        std::mt19937_64 generator;
        randomBetween(qint16(lower), qint16(upper), generator);
        QFAIL("no overflow");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), QStringLiteral("Overflow"));
    }
}

void TestToneCommand::nearestNote_data() {
    QTest::addColumn<double>("hertz");
    QTest::addColumn<QString>("name"); // empty: no note
    QTest::addColumn<int>("cents");
    QTest::newRow("A4") << 440.0 << "A4" << 0;
    QTest::newRow("middle C") << 261.63 << "C4" << 0;
    QTest::newRow("sharp") << 466.16 << "A#4" << 0;
    QTest::newRow("B below C changes octave") << 246.94 << "B3" << 0;
    QTest::newRow("lowest piano key") << 27.5 << "A0" << 0;
    QTest::newRow("highest piano key") << 4186.01 << "C8" << 0;
    QTest::newRow("20 cents sharp") << 445.08 << "A4" << 20;
    QTest::newRow("nearer the note above") << 453.0 << "A#4" << -50;
    QTest::newRow("below C0") << 8.18 << "C-1" << 1;
    QTest::newRow("zero") << 0.0 << "" << 0;
    QTest::newRow("negative") << -440.0 << "" << 0;
}

void TestToneCommand::nearestNote() {
    QFETCH(double, hertz);
    QFETCH(QString, name);
    QFETCH(int, cents);
    const std::optional<NearestNote> note = ::nearestNote(hertz);
    QCOMPARE(note.has_value(), !name.isEmpty());
    if (note) {
        QCOMPARE(note->name, name);
        QCOMPARE(note->cents, cents);
    }
}

// A prefix or a waveform may hold a comma or a quote: the row keeps its columns.
void TestToneCommand::answerKeyQuotesItsFields() {
    AnswerRow row;
    row.fileName = QStringLiteral("a,\"b\"_1.wav");
    row.waveform = QStringLiteral("Sine (Default)");
    row.made = true;
    QCOMPARE(answerRowText(row),
             QByteArray("\"a,\"\"b\"\"_1.wav\",,,,Sine (Default),,0,0,yes,,,0,,,,,,,,,,,,,,,,,,,,,,"
                        "\n"));
}

// A file that is no program is reported as such: on Windows once as "Not enough memory", the C
// library's ENOEXEC read as a Windows error code.
void TestToneCommand::startFailureSaysWhy() {
    QTemporaryDir folder;
    const QString program = folder.filePath(QStringLiteral("sox.exe"));
    QFile file(program);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a program\n");
    file.close();
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const SynthRun run{runAndWait({program, {}}), program, 1, 8000};
    QVERIFY(isStartFailure(run.child.status));
    const QString reason = judgedTone(run, folder.filePath(QStringLiteral("x.wav"))).reason;
    QVERIFY2(reason.startsWith(program + QStringLiteral(" could not be started: ")) &&
                 !reason.contains(QStringLiteral("memory")),
             qPrintable(reason));
}

// SoX may warn before it fails: the reason given is its failure.
void TestToneCommand::toolReasonIsItsFailLine() {
    const SynthRun run{{2, QStringLiteral("sox WARN rate: aliasing\nsox FAIL formats: no "
                                          "handler for given file type `x'\n")},
                       QStringLiteral("sox"),
                       1,
                       8000};
    QCOMPARE(judgedTone(run, QStringLiteral("/nowhere/x")).reason,
             QStringLiteral("sox FAIL formats: no handler for given file type `x'"));
}

// A whole file is not the tone asked for when an effect in its chain clipped; dither's step of
// the last bit at full scale is no fault.
void TestToneCommand::negativePitchIsNamed() {
    // From -10 drew -7, whose highest pitch, 0 Hz, was once reported as silence.
    const Tone tone{QStringLiteral("/t/a.wav"),
                    QStringLiteral("1"),
                    waveformOfRow(QStringLiteral("Sine (Default)")),
                    -7,
                    {}};
    QCOMPARE(toneRefusal(tone), QStringLiteral("A tone of -7 Hz was drawn: a frequency below 0 Hz "
                                               "cannot be made. Set From to 0 or more."));
}

// On Windows a prefix must not make a device's name (COM + 1) or hold a character Windows keeps,
// and a folder whose tones' paths would pass what SoX opens is refused before any tone runs.
void TestToneCommand::windowsNamesAreFiles() {
#ifdef Q_OS_WIN
    for (const char* reserved : {"COM", "lpt", "NUL.x", "con .a", "a:b", "a?b"})
        QCOMPARE(safePrefix(QString::fromUtf8(reserved)), ToneOptions().prefix);
    for (const char* allowed : {"COMPUTER", "nul_", "T\xc3\xb6ne_"})
        QCOMPARE(safePrefix(QString::fromUtf8(allowed)), QString::fromUtf8(allowed));
    QTemporaryDir base;
    const QString longFolder = base.filePath(QString(200, QLatin1Char('a')));
    QVERIFY(QDir().mkpath(longFolder));
    const auto lock = [](const QString& folder) {
        return lockedSet(folder, answerKeyName(QStringLiteral("Ziravel_")),
                         QStringLiteral("Ziravel_"), QStringLiteral(".wav"), false,
                         QStringLiteral("test"));
    };
    QVERIFY_THROWS_EXCEPTION(Failure, lock(longFolder));
    QVERIFY(lock(base.path()));
#else
    QCOMPARE(safePrefix(QStringLiteral("COM")), QStringLiteral("COM"));
#endif
}

void TestToneCommand::clippedChainIsNotMade() {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("tone.wav"));
    QByteArray samples;
    for (int at = 0; at < 800; ++at) {
        const auto sample = qint16(16000 * std::sin(at * 0.3));
        samples.append(char(sample & 0xFF)).append(char((sample >> 8) & 0xFF));
    }
    QVERIFY(writeWavFile(path, 1, 16, false, samples.size(), samples));
    const auto judged = [&](const char* warning) {
        return judgedTone({{0, QString::fromLatin1(warning)}, QStringLiteral("sox"), 0.1, 8000},
                          path);
    };
    const ToneOutcome clipped =
        judged("sox WARN sinc: sinc clipped 35 samples; decrease volume?\n");
    QVERIFY(!clipped.made);
    QVERIFY2(clipped.reason.endsWith(QStringLiteral("sinc clipped 35 samples.")),
             qPrintable(clipped.reason));
    QVERIFY(judged("sox WARN dither: dither clipped 2 samples; decrease volume?\n").made);
}

void TestToneCommand::peakRuleJudgesTheLevel_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("type");
    QTest::addColumn<double>("peakDb");
    QTest::addColumn<bool>("made");
    // A tone at -20 dBFS: a WAV file within 3 dB below and half a dB above, an MP3 file 6 below
    // and 10 above (its encoder rings), noise up to 40 below (a short one may stay low).
    QTest::newRow("WAV at its level") << "t.wav"
                                      << "Sine" << -20.0 << true;
    QTest::newRow("WAV 2.9 dB low") << "t.wav"
                                    << "Sine" << -22.9 << true;
    QTest::newRow("WAV 3.1 dB low") << "t.wav"
                                    << "Sine" << -23.1 << false;
    QTest::newRow("WAV 0.4 dB high") << "t.wav"
                                     << "Sine" << -19.6 << true;
    QTest::newRow("WAV 0.6 dB high") << "t.wav"
                                     << "Sine" << -19.4 << false;
    QTest::newRow("MP3 5.9 dB low") << "t.mp3"
                                    << "Sine" << -25.9 << true;
    QTest::newRow("MP3 6.1 dB low") << "t.mp3"
                                    << "Sine" << -26.1 << false;
    QTest::newRow("MP3 9.9 dB high") << "t.mp3"
                                     << "Sine" << -10.1 << true;
    QTest::newRow("noise 39 dB low") << "t.wav"
                                     << "White Noise" << -59.0 << true;
    QTest::newRow("noise 41 dB low") << "t.wav"
                                     << "White Noise" << -61.0 << false;
    QTest::newRow("silence") << "t.wav"
                             << "Sine" << -HUGE_VAL << false;
}

// A made file's peak against the level asked for: the judge's one rule.
void TestToneCommand::peakRuleJudgesTheLevel() {
    QFETCH(QString, file);
    QFETCH(QString, type);
    QFETCH(double, peakDb);
    QFETCH(bool, made);
    Tone tone{file, QStringLiteral("1"), waveformOfRow(type), 440};
    tone.options.levelDb = -20;
    const QString refusal = peakRefusal(file, peakRule(tone), peakDb);
    QVERIFY2(refusal.isEmpty() == made, qPrintable(refusal));
}

void TestToneCommand::sampleRateForPitch_data() {
    QTest::addColumn<QString>("word");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("rate");
    const struct {
        const char* word;
        int frequency;
        int rate;
    } rows[] = {{"sine", 3999, 8000},       {"sine", 4000, 16000},      {"square", 7999, 16000},
                {"sine", 8000, 22050},      {"sine", 11024, 22050},     {"sine", 11025, 44100},
                {"sine", 22049, 44100},     {"sine", 22050, 48000},     {"sine", 23999, 48000},
                {"sine", 24000, 96000},     {"sine", 32767, 96000},     {"sine", -5000, 16000},
                {"pinknoise", 30000, 8000}, {"whitenoise", 4000, 8000}, {"", 4000, 16000}};
    for (const auto& row : rows)
        QTest::addRow("%s %d", row.word, row.frequency)
            << QString::fromLatin1(row.word) << row.frequency << row.rate;
}

void TestToneCommand::sampleRateForPitch() {
    QFETCH(QString, word);
    QFETCH(int, frequency);
    QFETCH(int, rate);
    QCOMPARE(sampleRateFor(word, frequency), rate);
}

void TestToneCommand::commandForEachRow_data() {
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("word");
    const char* rows[][2] = {
        {"Sine (Default)", "sine"},    {"Square", "square"},        {"Triangle", "triangle"},
        {"Sawtooth", "sawtooth"},      {"Trapezium", "trapezium"},  {"Exp", "exp"},
        {"White Noise", "whitenoise"}, {"Pink Noise", "pinknoise"}, {"Brown Noise", "brownnoise"}};
    for (const auto& row : rows)
        QTest::newRow(row[0]) << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]);
}

void TestToneCommand::commandForEachRow() {
    QFETCH(QString, shown);
    QFETCH(QString, word);
    const Tone tone{
        QStringLiteral("/t/Ziravel_2.wav"), QStringLiteral("1,5"), waveformOfRow(shown), 317, {}};
    QCOMPARE(toolArguments(tone),
             (QStringList{"-r", "8000", "-n", "/t/Ziravel_2.wav", "synth", "1.5", word, "317"}));
}

void TestToneCommand::commandArguments_data() {
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("pink noise") << "/my tones/Ziravel_2.wav"
                                << "1,5"
                                << "Pink Noise" << 317
                                << QStringList{
                                       "-r",    "8000", "-n",        "/my tones/Ziravel_2.wav",
                                       "synth", "1.5",  "pinknoise", "317"};
    QTest::newRow("negative frequency")
        << "/t/a.wav"
        << "0.25"
        << "Sine (Default)" << -7
        << QStringList{"-r", "8000", "-n", "/t/a.wav", "synth", "0.25", "sine", "-7"};
    QTest::newRow("comma is a point, not thousands")
        << "/t/a.wav"
        << "1,000"
        << "Exp" << 300 << QStringList{"-r", "8000", "-n", "/t/a.wav", "synth", "1", "exp", "300"};
    QTest::newRow("length is the number the field holds")
        << "/t/a.wav"
        << " +2.50e-1 "
        << "Exp" << 300
        << QStringList{"-r", "8000", "-n", "/t/a.wav", "synth", "0.25", "exp", "300"};
    QTest::newRow("empty length is one argument")
        << "/t/a.wav"
        << ""
        << "Square" << 300
        << QStringList{"-r", "8000", "-n", "/t/a.wav", "synth", "", "square", "300"};
    QTest::newRow("length with words stays one argument")
        << "/t/a.wav"
        << "1 sine 300 : restart : synth"
        << "Square" << 300
        << QStringList{"-r",     "8000", "-n", "/t/a.wav", "synth", "1 sine 300 : restart : synth",
                       "square", "300"};
    QTest::newRow("length with a quote stays one argument")
        << "/t/a.wav"
        << "1\" noiseprof \"/v"
        << "Square" << 300
        << QStringList{"-r",     "8000", "-n", "/t/a.wav", "synth", "1\" noiseprof \"/v",
                       "square", "300"};
    QTest::newRow("path that looks like an option")
        << "-x/Ziravel_1.wav"
        << "1"
        << "Exp" << 300
        << QStringList{
               "-r",    "8000", "-n",  QStringLiteral(".") + QDir::separator() + "-x/Ziravel_1.wav",
               "synth", "1",    "exp", "300"};
    QTest::newRow("quote in the folder stays in the path")
        << "/t/a\" -n \"/etc/x.wav"
        << "1"
        << "Exp" << 300
        << QStringList{"-r", "8000", "-n", "/t/a\" -n \"/etc/x.wav", "synth", "1", "exp", "300"};
    // SoX would read them as a pattern's escapes, and write to a file the pattern matches.
    QTest::newRow("backslashes in the folder stay, marked as no pattern")
        << "/t/a\\\"b\\c\\"
        << "1"
        << "Exp" << 300 << QStringList{"-r",    "8000", "-n",  "--no-glob", "/t/a\\\"b\\c\\",
                                       "synth", "1",    "exp", "300"};
    QTest::newRow("no row selected gives an empty type argument")
        << "/t/a.wav"
        << "1"
        << "" << 300 << QStringList{"-r", "8000", "-n", "/t/a.wav", "synth", "1", "", "300"};
}

void TestToneCommand::commandArguments() {
    QFETCH(QString, output);
    QFETCH(QString, length);
    QFETCH(QString, shown);
    QFETCH(int, frequency);
    QFETCH(QStringList, arguments);
    const Tone tone{output, length, waveformOfRow(shown), double(frequency), {}};
    QCOMPARE(toolArguments(tone), arguments);
}

void TestToneCommand::pitchLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("notes");
    QTest::addColumn<QList<double>>("expected"); // empty: refused
    QTest::newRow("range of notes, both ends")
        << "A3..A5" << true << QList<double>{220, 220 * std::pow(2.0, 1 / 12.0), 880};
    QTest::newRow("flats and sharps") << "C4,Eb4,D#4,G4" << true
                                      << QList<double>{261.6255653005986, 311.1269837220809,
                                                       311.1269837220809, 391.99543598174927};
    QTest::newRow("no such note") << "H4" << true << QList<double>{};
    QTest::newRow("range running down") << "A5..A3" << true << QList<double>{};
    QTest::newRow("frequencies") << "250, 500,1000.5" << false << QList<double>{250, 500, 1000.5};
    QTest::newRow("a comma is no decimal point here") << "250,,500" << false << QList<double>{};
    QTest::newRow("0 Hz") << "0,500" << false << QList<double>{};
}

// Each round of a balanced design comes in an order of its own.
void TestToneCommand::roundsAreShuffledAnew() {
    const ToneDesign design({250, 500, 1000}, {0}, {ToneOptions::Channel::mono});
    QSet<QList<double>> orders;
    for (qint64 round = 0; round < 8; ++round) {
        QList<double> order;
        for (qint64 tone = 1; tone <= 3; ++tone)
            order << design.point(7, round * 3 + tone).frequency;
        orders.insert(order);
    }
    QVERIFY(orders.size() > 1);
}

// Lists read as a musician or a tester types them; the first, second and last of a range.
void TestToneCommand::pitchLists() {
    QFETCH(QString, text);
    QFETCH(bool, notes);
    QFETCH(QList<double>, expected);
    const std::optional<QList<double>> read = notes ? noteList(text) : frequencyList(text);
    QCOMPARE(read.has_value(), !expected.isEmpty());
    if (!read)
        return;
    const QList<double> got = text.contains(QLatin1String(".."))
                                  ? QList<double>{read->first(), read->at(1), read->last()}
                                  : *read;
    QCOMPARE(got.size(), expected.size());
    for (qsizetype at = 0; at < got.size(); ++at)
        QVERIFY2(std::abs(got[at] - expected[at]) < 1e-9, qPrintable(QString::number(got[at])));
    if (text == QLatin1String("A3..A5"))
        QCOMPARE(read->size(), 25);
}

QTEST_GUILESS_MAIN(TestToneCommand)
#include "tst_tonecommand.moc"
