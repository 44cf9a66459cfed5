// SPDX-License-Identifier: GPL-3.0-or-later
#include "BatchRun.h"
#include "SmallDisk.h"
#include "SoundFiles.h"
#include "Spectrum.h"
#include "ToneRun.h"
#include "app/options/OptionsPanel.h"
#include "making/libsox/LibsoxTone.h"
#include "set/AnswerKey.h"
#include "tone/ToneCommand.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <pty.h>
#include <random>
#include <spawn.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

// ziravel-batch: its command line: refusals, help, stored inputs and the README.
class TestBatchInput : public QObject {
    Q_OBJECT

private slots:
    void badInput_data();
    void badInput();
    void summaryGoesToErrorOutput();
    void progressOnlyOnATerminal();
    void helpAndVersion();
    void storedInputsOnlyWhenAsked();
    void storedRowIsReadAsTheWindowReadsIt();
    void helpAndManualPageAgree();
    void manualExamplesAreInTheReadme();
    void readmeRecipesRunAsWritten();
    void presetFromTheSettings();
    void folderThatCannotBeWritten();
    void unsafeSettingsAreTold();
    void argumentThatIsNoText();
    void prefixIsLiteralText_data();
    void prefixIsLiteralText();
};

void TestBatchInput::badInput_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const auto row = [](const char* name, const QStringList& arguments, const char* message) {
        QTest::newRow(name) << arguments << QString::fromUtf8(message);
    };
    row("length no number", {"--length", "1; rm -rf ~"},
        "--length \"1; rm -rf ~\": not a positive number of seconds (one sample at least).");
    row("length zero", {"--length", "0"},
        "--length \"0\": not a positive number of seconds (one sample at least).");
    row("length below a sample", {"--length", "0.0001"},
        "--length \"0.0001\": not a positive number of seconds (one sample at least).");
    row("length negative", {"--length", "-1"},
        "--length \"-1\": not a positive number of seconds (one sample at least).");
    row("count zero", {"--count", "0"}, "--count \"0\": not a number of tones from 1 to 10000000.");
    row("count too large", {"--count", "10000001"},
        "--count \"10000001\": not a number of tones from 1 to 10000000.");
    row("bound no number", {"--from", "low"},
        "--from \"low\": not a frequency in Hz from 0 to 32767.");
    row("bound negative", {"--to", "-5"}, "--to \"-5\": not a frequency in Hz from 0 to 32767.");
    row("no note between bounds", {"--from", "450", "--to", "460", "--pitch-draw", "notes"},
        "--from \"450\": with --to \"460\": No note lies between the bounds.");
    row("unknown type", {"--type", "saw"},
        "--type \"saw\": not a waveform; one of sine, square, triangle, sawtooth, trapezium, exp, "
        "whitenoise, pinknoise, brownnoise.");
    row("folder that cannot be made", {"--folder", "/dev/null/folder"},
        "--folder \"/dev/null/folder\": the folder cannot be made.");
    row("unknown format", {"--format", "ogg"}, "--format \"ogg\": not one of wav, mp3, flac.");
    row("level above 0", {"--level", "3"}, "--level \"3\": not a level in dBFS from -120 to 0.");
    row("binaural condition in one channel",
        {"--noise", "whitenoise", "--binaural", "n0spi", "--engine", "library"},
        "--binaural \"n0spi\": a binaural condition is made for both ears: --channel both.");
    row("notch outside the band",
        {"--type", "whitenoise", "--band", "500-2000", "--notch", "400-900"},
        "--notch \"400-900\": the notch must lie inside the --band 500-2000.");
    row("sine's RMS level past its peak", {"--level", "-3", "--level-reference", "rms"},
        "--level \"-3\": at an RMS level of -3 dBFS the sine's peak would pass 0 dBFS; the level "
        "may be at most -3.1.");
    row("RMS noise by the program",
        {"--type", "pinknoise", "--level-reference", "rms", "--engine", "process"},
        "--level-reference \"rms\": noise is set to its RMS by making it again from its seed, "
        "which only the library engine can.");
    // Side bands counted from the numbers alone: these once ran for hours.
    row("FM index past what a tone holds", {"--fm", "0.000001,10000"},
        "--fm \"0.000001,10000\": not RATE,DEVIATION like 5,50 or 2-8,20 or 2/4/8,20, in Hz, the "
        "deviation at most 256 times the lowest rate.");
    row("FM of many harmonics", {"--harmonics", "1-64", "--fm", "1-50,200"},
        "--fm \"1-50,200\": This tone would be made of more than 512 sines: choose fewer "
        "harmonics or a smaller modulation index.");
    row("floating point FLAC", {"--format", "flac", "--sample-size", "32f"},
        "--sample-size \"32f\": floating point samples are for WAV files; FLAC holds 16 or 24 "
        "bits.");
    row("log sweep from 0 Hz", {"--from", "0", "--sweep", "log"},
        "--from \"0\": with --to \"400\": a logarithmic sweep cannot start or end at 0 Hz.");
    row("sweep in a sequence", {"--sweep", "log", "--tones-per-file", "2"},
        "--tones-per-file \"2\": A sweep is made alone in its file: one tone per file.");
    row("band for a pitched tone", {"--band", "500-2000"},
        "--band \"500-2000\": only noise is filtered to a band: a noise type, or --noise under "
        "the tone.");
    row("prefix with a separator", {"--prefix", "../x"},
        "--prefix \"../x\": a prefix names a file in the folder: no separator, no control "
        "character, not \".\" or \"..\", at most 200 bytes, and not beginning with =, +, - or "
        "@, which a spreadsheet would run as a formula in the answer key.");
    // The key's first column begins with the prefix: a spreadsheet would run it (CWE-1236).
    row("prefix a formula", {"--prefix", "@SUM(1)"},
        "--prefix \"@SUM(1)\": a prefix names a file in the folder: no separator, no control "
        "character, not \".\" or \"..\", at most 200 bytes, and not beginning with =, +, - or "
        "@, which a spreadsheet would run as a formula in the answer key.");
    row("no jobs", {"--jobs", "0"}, "--jobs \"0\": not a number of runs at once from 1 to 256.");
    row("length past a day", {"--length", "1e20"},
        "--length \"1e20\": Tone length must be at most 24 hours (86400 seconds).");
    row("WAV past 4 GiB", {"--length", "40000", "--to", "30000", "--channel", "both"},
        "--length \"40000\": A WAV file holds at most 4 GiB: at 96000 Hz a file may last at "
        "most 5592 seconds.");
    row("level list without a design", {"--level", "-40,-30"},
        "--level \"-40,-30\": a list of levels is for a balanced design: add --balanced.");
    row("shard past its set", {"--count", "3", "--shard", "4/4"},
        "--shard \"4/4\": not K/N with 1 <= K <= N <= the count (3).");
    row("shard with never overwrite", {"--shard", "1/2", "--never-overwrite"},
        "--shard \"1/2\": not with --never-overwrite: a shard's numbers are fixed by the set.");
    row("count not whole rounds", {"--frequencies", "250,500,1000", "--balanced", "--count", "7"},
        "--count \"7\": not a whole number of rounds of 3 tones; 6 or 9 would be.");
    row("balanced with nothing listed", {"--balanced"},
        "--balanced \"\": needs the pitches listed with --frequencies, --notes or --pitch-list.");
    row("seed no number", {"--seed", "abc"},
        "--seed \"abc\": not a whole number from 0 to 18446744073709551615.");
    row("interval past every rate",
        {"--from", "1000", "--to", "1000", "--tones-per-file", "4", "--interval-cents", "2400"},
        "--interval-cents \"2400\": No sample rate holds a pitch of 64000 Hz: the highest, 96000 "
        "Hz, holds pitches below 48000 Hz.");
    row("band past every rate", {"--type", "whitenoise", "--band", "100-50000"},
        "--band \"100-50000\": No sample rate holds a pitch of 50000 Hz: the highest, 96000 Hz, "
        "holds pitches below 48000 Hz.");
    row("fade longer than half the tone", {"--fade", "20", "--length", "0.01"},
        "--fade \"20\": A fade of 20 ms is longer than half the tone (0.01 s): the tone would "
        "never reach its level.");
    row("MP3 past its rates", {"--format", "mp3", "--rate", "96000"},
        "--rate \"96000\": An MP3 file holds at most 48000 samples a second.");
    row("MP3 noise band past its encoder",
        {"--format", "mp3", "--type", "pinknoise", "--band", "100-17000"},
        "--band \"100-17000\": An MP3 file cannot hold noise above 16300 Hz: its encoder removes "
        "it.");
    row("frequency of no sound", {"--frequencies", "1e-300"},
        "--frequencies \"1e-300\": not frequencies from 1 to 32767 Hz like 250,500,1000, at most "
        "10000 of them.");
    row("octave past every number", {"--notes", "A99999999999"},
        "--notes \"A99999999999\": not notes of octaves -1 to 10 like A3..A5 or C4,Eb4,G4, at "
        "most 10000 of them.");
    row("bounds too far apart", {"--from", "0", "--to", "32767"},
        "--from \"0\": with --to \"32767\": the bounds may lie at most 32766 Hz apart.");
    row("count below one round", {"--frequencies", "250,500,1000", "--balanced", "--count", "2"},
        "--count \"2\": not a whole number of rounds of 3 tones; 3 would be.");
    {
        // Lists whose rounds pass 64 bits together once repeated.
        const auto repeated = [](const char* value, int times) {
            return QStringList(times, QString::fromLatin1(value)).join(QLatin1Char(','));
        };
        row("design past 64 bits",
            {"--balanced", "--frequencies", repeated("100", 10000), "--level",
             repeated("-1", 43684), "--channel", repeated("mono", 26214), "--repeats", "6539132"},
            "--repeats \"6539132\": more than 10000000 tones.");
    }
    row("shares that do not add up", {"--split", "train=0.8,test=0.1"},
        "--split \"train=0.8,test=0.1\": not NAME=SHARE,... with shares above 0 that add up to 1, "
        "like "
        "train=0.8,validation=0.1,test=0.1; a name is letters, digits, _ and -, not beginning "
        "with -, which a spreadsheet would run as a formula in the answer key.");
    row("split name a formula", {"--split", "train=0.5,-A1=0.5"},
        "--split \"train=0.5,-A1=0.5\": not NAME=SHARE,... with shares above 0 that add up to 1, "
        "like "
        "train=0.8,validation=0.1,test=0.1; a name is letters, digits, _ and -, not beginning "
        "with -, which a spreadsheet would run as a formula in the answer key.");
    row("AM rates listed in a design", {"--frequencies", "500", "--balanced", "--am", "4/8,0.5"},
        "--am \"4/8,0.5\": a balanced design balances only what it lists: give one rate, or leave "
        "out --balanced to draw the rate per tone.");
    row("time differences without a design", {"--channel", "both", "--itd-us", "0,250"},
        "--itd-us \"0,250\": a list of ear time differences is for a balanced design: add "
        "--balanced.");
    row("rounds without a design", {"--repeats", "2"},
        "--repeats \"2\": rounds are for a balanced design: add --balanced.");
    row("names that would not sort", {"--count", "200", "--digits", "2"},
        "--digits \"2\": fewer than the 3 digits of the largest number, 200: the names would "
        "not sort.");
    row("harmonic 0", {"--harmonics", "0-3"},
        "--harmonics \"0-3\": not harmonic numbers from 1 to 64 like 1-8 or 2,3,4,5.");
    row("AM deeper than full", {"--am", "8,1.5"},
        "--am \"8,1.5\": not RATE,DEPTH like 8,0.5 or 4-16,1 or 4/8/16,0.5, the depth 0 to 1.");
    row("FM at no rate", {"--fm", "0,5"},
        "--fm \"0,5\": not RATE,DEVIATION like 5,50 or 2-8,20 or 2/4/8,20, in Hz, the deviation "
        "at most 256 times the lowest rate.");
    row("ear level difference past its range", {"--channel", "both", "--ild-db", "50"},
        "--ild-db \"50\": not a level difference in dB from -40 to 40.");
    row("ear time difference with one ear", {"--itd-us", "300"},
        "--itd-us \"300\": a difference between the ears is for files of both ears: --channel "
        "both.");
    // Blamed on the modulation that makes the sines, not on a bound.
    row("side bands of every harmonic", {"--harmonics", "1-64", "--fm", "100,5000"},
        "--fm \"100,5000\": This tone would be made of more than 512 sines: choose fewer "
        "harmonics or a smaller modulation index.");
    row("unknown option", {"--colour", "red"}, "Unknown option 'colour'.");
    row("argument without option", {"loud"}, "unexpected argument \"loud\".");
}

// Piped, a run says what it made on the error output and leaves standard output empty.
void TestBatchInput::summaryGoesToErrorOutput() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                withEngine({"--count", "2", "--length", "0.1", "--folder", folder.path()}));
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(batch.readAllStandardOutput(), QByteArray());
    QVERIFY2(batch.readAllStandardError().startsWith("Made 2 of 2 tones, 0 failed, in "),
             "no summary");
}

void TestBatchInput::badInput() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    QStringList withFolder{"--folder", folder.path()};
    const BatchResult batch = runBatch(withFolder + arguments);
    QCOMPARE(batch.errors, QStringLiteral("ziravel-batch: ") + message + QLatin1Char('\n'));
    QCOMPARE(batch.exitStatus, 2);
    QVERIFY(QDir(folder.path()).isEmpty());
    // Nothing was made, not even the tool put in place.
    QVERIFY(!QFile::exists(tools.filePath(QStringLiteral("sox.exe"))));
}

void TestBatchInput::progressOnlyOnATerminal() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QStringList arguments{"--count", "4", "--length", "0.1", "--folder", folder.path()};
    const QByteArray shown = terminalOutput(arguments);
    QVERIFY2(shown.contains("\rtone 4 of 4, 0 failed, 0.0 s left"), shown.constData());
    // The line is cleared at the end, and a summary says where the set went.
    QVERIFY2(shown.contains("\r\x1b[KMade 4 of 4 tones, 0 failed, in "), shown.constData());
    QVERIFY2(
        shown.trimmed().endsWith(". Key: " + QFile::encodeName(folder.filePath(answerKeyFileName))),
        shown.constData());
    QCOMPARE(terminalOutput(arguments + QStringList{"--quiet"}), QByteArray());
}

void TestBatchInput::helpAndVersion() {
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH), {"--help"});
    QVERIFY(batch.waitForFinished());
    QCOMPARE(batch.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(batch.readAllStandardOutput());
    for (const char* line : {"--length <seconds>",   "(default: 1)",
                             "--count <n>",          "(default: 3)",
                             "(default: 200)",       "(default: 400)",
                             "--type <type>",        "(default: sine)",
                             "--format <format>",    "(default: wav)",
                             "--rate <hz>",          "(default: 8000)",
                             "--sample-size <bits>", "--level <db>",
                             "--fade <ms>",          "--channel <channel>",
                             "(default: mono)",      "--pitch-draw <draw>",
                             "(default: hz)",        "--prefix <prefix>",
                             "(default: Ziravel_)",  "--never-overwrite",
                             "--from-settings",      "--seed <n>",
                             "--jobs <n>",           "--quiet"})
        QVERIFY2(help.contains(QLatin1String(line)), line);
    for (const char* version : {"--version", "-V"}) {
        batch.start(QStringLiteral(ZIRAVEL_BATCH), {version});
        QVERIFY(batch.waitForFinished());
        QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardOutput()),
                 QStringLiteral("ziravel-batch " ZIRAVEL_VERSION "\n"));
    }
}

// The manual page is made from the same options as --help: neither lists one the other lacks.
void TestBatchInput::helpAndManualPageAgree() {
    const auto optionsIn = [](const QStringList& arguments, const QString& pattern) {
        QSet<QString> names;
        QRegularExpressionMatchIterator found =
            QRegularExpression(pattern, QRegularExpression::MultilineOption)
                .globalMatch(printedBy(arguments));
        while (found.hasNext())
            names.insert(found.next().captured(1));
        return names;
    };
    const QSet<QString> help = optionsIn({"--help"}, QStringLiteral("^  (?:-\\w, )?--([a-z-]+)"));
    const QSet<QString> manual = optionsIn(
        {"--manual-page"}, QStringLiteral("^\\.TP\\n(?:.*, )?\\\\fB\\\\-\\\\-([a-z\\\\-]+)"));
    QSet<QString> manualNames;
    for (QString name : manual)
        manualNames.insert(name.remove(QStringLiteral("\\f")).remove(QLatin1Char('\\')));
    QVERIFY(help.size() >= 35);
    QCOMPARE(manualNames, help);
}

// Each example of the manual page is a command of the README, word for word.
// Every line of the README that makes a set runs as written, each in a folder of its own; lines
// that need a shell's variables or another program are left to the cluster's test.
void TestBatchInput::readmeRecipesRunAsWritten() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    int recipes = 0;
    for (const QString& line : linesOf(QStringLiteral(ZIRAVEL_README))) {
        const QString command = line.trimmed();
        if (!command.startsWith(QStringLiteral("ziravel-batch --")) ||
            command.contains(QLatin1Char('$')) || command.contains(QLatin1Char('`')) ||
            command.contains(QStringLiteral("--merge")) ||
            command.contains(QStringLiteral("--help")) ||
            command.contains(QStringLiteral("--remake")) ||
            command.contains(QStringLiteral("FOLDER")))
            continue;
        QStringList arguments = command.split(QLatin1Char(' '), Qt::SkipEmptyParts).mid(1);
        const QString own = folder.filePath(QString::number(++recipes));
        if (const qsizetype at = arguments.indexOf(QStringLiteral("--folder")); at >= 0)
            arguments[at + 1] = own + QLatin1Char('/') + QFileInfo(arguments[at + 1]).fileName();
        else
            arguments << QStringLiteral("--folder") << own;
        // As written: with the engine it names or the default one.
        QProcess batch;
        batch.start(QStringLiteral(ZIRAVEL_BATCH), arguments << QStringLiteral("--quiet"));
        QVERIFY(batch.waitForFinished(120000));
        QVERIFY2(batch.exitStatus() == QProcess::NormalExit && batch.exitCode() == 0,
                 qPrintable(command + QLatin1Char('\n') + batch.readAllStandardError()));
    }
    QVERIFY(recipes >= 10);
}

void TestBatchInput::manualExamplesAreInTheReadme() {
    QStringList readmeLines;
    for (const QString& line : linesOf(QStringLiteral(ZIRAVEL_README)))
        readmeLines << line.trimmed();
    QRegularExpressionMatchIterator example =
        QRegularExpression(QStringLiteral("^\\.nf\\n((?:.|\\n)*?)\\n\\.fi$"),
                           QRegularExpression::MultilineOption)
            .globalMatch(printedBy({"--manual-page"}));
    int examples = 0;
    for (; example.hasNext(); ++examples) {
        const QString command = example.next()
                                    .captured(1)
                                    .replace(QStringLiteral(" \\e\n    "), QStringLiteral(" "))
                                    .replace(QStringLiteral("\\-"), QStringLiteral("-"));
        QVERIFY2(readmeLines.contains(command), qPrintable(command));
    }
    QVERIFY(examples >= 5);
}

void TestBatchInput::storedInputsOnlyWhenAsked() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir stored;
    QTemporaryDir given;
    const QProcessEnvironment environment = withStoredSettings(
        config, "[General]\nCombo1=1\nText1=0.2\nText2=2\nText3=500\nText4=500\nText5=" +
                    stored.path().toUtf8() + "\nOptionPrefix=kept_\n");
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    const QByteArray before = contentOf(file);
    const QDateTime changed = QFileInfo(file).lastModified();

    QCOMPARE(runBatch({"--length", "0.1", "--folder", given.path()}, {}, environment).exitStatus,
             0);
    QCOMPARE(QDir(given.path()).entryList({QStringLiteral("*.wav")}).size(), 3);
    QCOMPARE(runBatch({"--from-settings"}, {}, environment).exitStatus, 0);
    QCOMPARE(QDir(stored.path()).entryList(QDir::Files),
             (QStringList{"kept_1.wav", "kept_2.wav", "kept_set.json", "kept_tones.csv"}));
    QVERIFY(linesOf(stored.filePath(QStringLiteral("kept_tones.csv")))
                .value(1)
                .startsWith(QStringLiteral("kept_1.wav,500,B4,+21,square,0.2,")));
    // An option given wins over the stored value; the file is never written.
    QCOMPARE(
        runBatch({"--from-settings", "--count", "1", "--folder", given.path(), "--prefix", "new_"},
                 {}, environment)
            .exitStatus,
        0);
    QVERIFY(QFile::exists(given.filePath(QStringLiteral("new_1.wav"))));
    QCOMPARE(contentOf(file), before);
    QCOMPARE(QFileInfo(file).lastModified(), changed);
}

// "2.0" is row 2 for the window: for ziravel-batch too.
void TestBatchInput::storedRowIsReadAsTheWindowReadsIt() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir folder;
    const QProcessEnvironment environment = withStoredSettings(
        config,
        "[General]\nCombo1=2.0\nText1=0.1\nText2=1\nText5=" + folder.path().toUtf8() + "\n");
    QCOMPARE(runBatch({"--from-settings"}, {}, environment).exitStatus, 0);
    QCOMPARE(keyColumn(folder.filePath(answerKeyFileName), QStringLiteral("waveform")),
             QStringList{"triangle"});
}

// A preset the window saved, a bad value in it giving way to the default; a built-in one.
void TestBatchInput::presetFromTheSettings() {
    QTemporaryDir config;
    QTemporaryDir folder;
    // As the window writes it.
    const QProcessEnvironment environment = withStoredSettings(
        config, "[Presets/Right.20ear]\nOptionChannel=right\nOptionLevel=loud\nOptionFade=15\n");
    QCOMPARE(runBatch({"--preset", "Right ear", "--count", "1", "--folder", folder.path()}, {},
                      environment)
                 .exitStatus,
             0);
    QCOMPARE(keyFields(linesOf(folder.filePath(answerKeyFileName)).value(1),
                       {"level_dbfs", "made", "sample_size_bits", "channel", "fade_ms"}),
             QStringLiteral("0,yes,32,right,15"));
    QCOMPARE(runBatch({"--preset", "Compatible WAV", "--count", "1", "--folder", folder.path()}, {},
                      environment)
                 .exitStatus,
             0);
    QCOMPARE(keyFields(linesOf(folder.filePath(answerKeyFileName)).value(1),
                       {"sample_rate_hz", "level_dbfs", "made", "sample_size_bits"}),
             QStringLiteral("44100,0,yes,16"));
    const BatchResult unknown = runBatch({"--preset", "Left ear"}, {}, environment);
    QCOMPARE(unknown.exitStatus, 2);
    QCOMPARE(unknown.errors, QStringLiteral("ziravel-batch: --preset \"Left ear\": no such preset; "
                                            "there are Compatible WAV, Hearing check, Ear "
                                            "training, Right ear.\n"));
}

// Not as root, to whom every folder is open.
void TestBatchInput::folderThatCannotBeWritten() {
    QTemporaryDir folder;
    QVERIFY(chmod(QFile::encodeName(folder.path()).constData(), 0555) == 0);
    QProcess batch;
    if (geteuid() == 0)
        batch.setChildProcessModifier([] {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(99);
        });
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                withEngine({"--count", "1", "--folder", folder.path()}));
    QVERIFY(batch.waitForFinished(60000));
    QCOMPARE(QString::fromLocal8Bit(batch.readAllStandardError()),
             QStringLiteral("ziravel-batch: --folder \"%1\": the folder cannot be written.\n")
                 .arg(folder.path()));
    QCOMPARE(batch.exitCode(), 2);
}

void TestBatchInput::unsafeSettingsAreTold() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir config;
    QTemporaryDir folder;
    const QString file = config.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QDir().mkpath(QFileInfo(file).path());
    QVERIFY(mkfifo(QFile::encodeName(file).constData(), 0600) == 0);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
    const BatchResult batch = runBatch(
        {"--from-settings", "--length", "0.1", "--folder", folder.path()}, {}, environment);
    QCOMPARE(batch.exitStatus, 0);
    QVERIFY2(batch.errors.startsWith(QStringLiteral("ziravel-batch: the stored settings cannot be "
                                                    "read safely, so the defaults are used: ")),
             qPrintable(batch.errors));
}

// A prefix of bytes that are no UTF-8 text would become other characters: refused.
void TestBatchInput::argumentThatIsNoText() {
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    const QByteArray program = ZIRAVEL_BATCH;
    const QByteArray folderPath = QFile::encodeName(folder.path());
    char* arguments[] = {const_cast<char*>(program.constData()),
                         const_cast<char*>("--prefix"),
                         const_cast<char*>("a\xff_"),
                         const_cast<char*>("--folder"),
                         const_cast<char*>(folderPath.constData()),
                         nullptr};
    pid_t pid = 0;
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    QCOMPARE(posix_spawn(&pid, program.constData(), &quiet, nullptr, arguments, environ), 0);
    posix_spawn_file_actions_destroy(&quiet);
    int status = 0;
    QCOMPARE(waitpid(pid, &status, 0), pid);
    QCOMPARE(WEXITSTATUS(status), 2);
    QVERIFY(QDir(folder.path()).isEmpty());
}

void TestBatchInput::prefixIsLiteralText_data() {
    QTest::addColumn<QString>("prefix");
    QTest::newRow("wildcard brackets") << "t[1]_";
    QTest::newRow("hidden") << ".hid_";
}

void TestBatchInput::prefixIsLiteralText() {
    QFETCH(QString, prefix);
    const TestSupport::TemporaryToolFolder tools;
    QTemporaryDir folder;
    // A file of the user's that the prefix, read as a pattern, would match.
    const QString matchedName = QString(prefix).remove('[').remove(']') + "1.wav";
    const QString matched = folder.filePath(matchedName);
    const bool pattern = matchedName != prefix + "1.wav";
    if (pattern)
        TestSupport::writeFile(matched, "precious");
    const QStringList arguments{"--count",  "2",           "--length",
                                "0.1",      "--prefix",    prefix,
                                "--folder", folder.path(), "--never-overwrite"};
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QCOMPARE(runBatch(arguments).exitStatus, 0);
    QStringList expected{prefix + "1.wav", prefix + "2.wav", prefix + "3.wav", prefix + "4.wav"};
    if (pattern) {
        QCOMPARE(contentOf(matched), QByteArray("precious"));
        expected << matchedName;
    }
    expected.sort();
    QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("*.wav")}, QDir::Files | QDir::Hidden),
             expected);
    QCOMPARE(linesOf(folder.filePath(prefix + "tones.csv")).size(), 5);
}

QTEST_MAIN(TestBatchInput)
#include "tst_batch_input.moc"
