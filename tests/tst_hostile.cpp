// SPDX-License-Identifier: GPL-3.0-or-later
// Hostile files and texts: another user's folders and links, field texts that try to become
// tool arguments, and files read at start that try to hang or crash the program.
#include "SoundFiles.h"
#include "TestSupport.h"
#include "ToneRun.h"
#include "analysis/TonePicture.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/SafeFile.h"
#include "runner/ToolProvisioning.h"
#include "set/AnswerKey.h"

#include <QDir>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include <cmath>
#include <functional>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using TestSupport::contentOf;
using TestSupport::writeFile;

namespace {

constexpr uid_t nobody = 65534;

const QString lengthRefused = QStringLiteral("Tone length must be a positive number of seconds.");
const QString noTone =
    QStringLiteral("Failed to generate tone.\r\nPlease change your input values.");

QByteArray encoded(const QString& path) {
    return QFile::encodeName(path);
}

// A file of the user's that a hostile link points at.
class Precious {
public:
    Precious() { writeFile(path(), original); }
    QString path() const { return m_dir.filePath(QStringLiteral("precious.txt")); }
    bool untouched() const { return contentOf(path()) == original; }

private:
    inline static const QByteArray original = "the user's own words";
    QTemporaryDir m_dir;
};

// Sets environment variables for the object's life.
class ScopedEnvironment {
public:
    void set(const char* name, const QByteArray& value) {
        m_saved.append({name, qgetenv(name), qEnvironmentVariableIsSet(name)});
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~ScopedEnvironment() {
        for (auto it = m_saved.crbegin(); it != m_saved.crend(); ++it) {
            if (it->wasSet)
                qputenv(it->name, it->value);
            else
                qunsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        QByteArray value;
        bool wasSet;
    };
    QList<Saved> m_saved;
};

// A folder made by another user, open to everybody, as an attacker would leave it.
void plantForeignFolder(const QString& path) {
    QVERIFY(QDir().mkpath(path));
    QVERIFY(chown(encoded(path).constData(), nobody, nobody) == 0);
    QVERIFY(chmod(encoded(path).constData(), 0777) == 0);
}

void plantLink(const QString& target, const QString& link) {
    QVERIFY(symlink(encoded(target).constData(), encoded(link).constData()) == 0);
    if (geteuid() == 0)
        QVERIFY(lchown(encoded(link).constData(), nobody, nobody) == 0);
}

} // namespace

class TestHostile : public QObject {
    Q_OBJECT

private slots:
    void sharedTempGetsPrivateFolder_data();
    void sharedTempGetsPrivateFolder();
    void tempOpenToAllIsRefused();
    void foreignFallbackFolderIsRefused();
    void toneNameHeldByALink();
    void reservedNameTakenMeanwhile_data();
    void reservedNameTakenMeanwhile();
    void lengthTextNeverBecomesArguments_data();
    void lengthTextNeverBecomesArguments();
    void folderThatLooksLikeAnOption();
    void unreadableSettingsAreSetAside_data();
    void unreadableSettingsAreSetAside();
    void variantInSettingsIsText();
    void hostileSkinOrCursor_data();
    void hostileSkinOrCursor();
    void tonePictureTrustsNoHeader();
    void answerKeyReadInBoundedMemory();
};

void TestHostile::sharedTempGetsPrivateFolder_data() {
    QTest::addColumn<int>("mode");
    QTest::newRow("sticky and open to all") << 01777;
    QTest::newRow("open to the group") << 0770;
}

void TestHostile::sharedTempGetsPrivateFolder() {
    QFETCH(int, mode);
    ToneRun run;
    const QString shared = run.tools.path();
    QVERIFY(chmod(encoded(shared).constData(), mode_t(mode)) == 0);
    // Planted before our first start: a link where the preview goes, and a tool of the
    // attacker's that logs when it runs.
    Precious precious;
    plantLink(precious.path(), run.tools.filePath(QStringLiteral("preview.wav")));
    const QString ranLog = run.tools.filePath(QStringLiteral("ran.log"));
    const QString planted = run.tools.filePath(QStringLiteral("planted"));
    QVERIFY(QFile::copy(QStringLiteral(ZIRAVEL_FAKE_SOX), planted));
    plantLink(planted, run.tools.filePath(QStringLiteral("sox.exe")));
    qputenv("ZIRAVEL_FAKE_SOX_LOG", ranLog.toLocal8Bit());

    run.w.pushButton3->click();
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();

    QVERIFY(run.fixture.modals.reports.isEmpty());
    QCOMPARE(run.fixture.modals.notices, QStringList{QStringLiteral("Done.")});
    QVERIFY(precious.untouched());
    QVERIFY(!QFile::exists(ranLog));
    QCOMPARE(run.outputFiles().size(), 2);
    const QString own = run.tools.filePath(QStringLiteral("ziravel-%1").arg(geteuid()));
    QCOMPARE(run.fixture.sound.played,
             QStringList{QDir::toNativeSeparators(own + QStringLiteral("/preview.wav"))});
    QVERIFY(TestSupport::soundInfo(run.fixture.sound.played[0], 'D').toDouble() > 0.2);
    QCOMPARE(QFileInfo(own).permissions() & QFile::Permissions(0x0077), QFile::Permissions());
    QVERIFY(isTrustedProgramFile(own + QStringLiteral("/sox.exe")));
}

void TestHostile::tempOpenToAllIsRefused() {
    // Anyone may rename entries in it, so no folder inside it stays ours either.
    ToneRun run;
    QVERIFY(chmod(encoded(run.tools.path()).constData(), 0777) == 0);
    run.useFakeTool(0);
    const QString log = qEnvironmentVariable("ZIRAVEL_FAKE_SOX_LOG");
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.reportLines(), QList<int>{110});
    QVERIFY(run.fixture.modals.reports[0].description.startsWith(run.tools.path()));
    QVERIFY(run.fixture.modals.notices.isEmpty());
    QVERIFY(!QFile::exists(log));
}

void TestHostile::foreignFallbackFolderIsRefused() {
    if (geteuid() != 0)
        QSKIP("only root can make a folder that belongs to another user");
    QTemporaryDir temp;
    ScopedEnvironment environment;
    environment.set("TEMP", QByteArray());
    environment.set("TMPDIR", encoded(temp.path()));
    // No runtime folder of ours can be had, so the fallback in the temporary folder is used,
    // where another user was first.
    const QString badRuntime = temp.filePath(QStringLiteral("runtime-bad"));
    plantForeignFolder(badRuntime);
    plantForeignFolder(temp.filePath(QStringLiteral("runtime-root")));
    environment.set("XDG_RUNTIME_DIR", encoded(badRuntime));
    const QString taken = temp.filePath(QStringLiteral("ziravel-0"));
    plantForeignFolder(taken);
    Precious precious;
    plantLink(precious.path(), taken + QStringLiteral("/preview.wav"));
    QCOMPARE(toolFolder(), taken);

    WindowFixture fixture;
    fixture.window->formLoad();
    QDir().mkpath(temp.filePath(QStringLiteral("out")));
    fixture.window->folderField->setText(temp.filePath(QStringLiteral("out/")));
    fixture.window->lengthField->setText(QStringLiteral("0.25"));
    fixture.window->countField->setText(QStringLiteral("2"));
    fixture.window->pushButton3->click();
    fixture.window->pushButton1->click();

    QCOMPARE(fixture.modals.reportLines(), (QList<int>{108, 110}));
    QVERIFY(fixture.modals.reports[0].description.contains(taken));
    // The refused folder ends both actions: nothing runs from it.
    QVERIFY(fixture.modals.notices.isEmpty());
    QVERIFY(!fixture.window->isBusy());
    QVERIFY(precious.untouched());
    QVERIFY(!QFile::exists(taken + QStringLiteral("/sox.exe")));
    QVERIFY(QDir(temp.filePath(QStringLiteral("out")))
                .entryList({QStringLiteral("*.wav")}, QDir::Files)
                .isEmpty());
}

// A link planted at a tone's name: the tone is not made and the file it points at stays.
void TestHostile::toneNameHeldByALink() {
    ToneRun run;
    Precious precious;
    const QString first = run.output + QStringLiteral("/Ziravel_1.wav");
    plantLink(precious.path(), first);
    run.w.countField->setText(QStringLiteral("2"));
    run.w.pushButton1->click();
    QCOMPARE(run.fixture.modals.notices,
             QStringList{QStringLiteral("Done.\r\n1 of 2 tones could not be made.\r\n%1 was left "
                                        "as it was: it is a link, which is never written through.")
                             .arg(first)});
    QVERIFY(precious.untouched());
    QVERIFY(QFileInfo(first).isSymLink());
    QVERIFY(TestSupport::soundInfo(run.output + QStringLiteral("/Ziravel_2.wav"), 'D').toDouble() >
            0.2);
}

void TestHostile::reservedNameTakenMeanwhile_data() {
    QTest::addColumn<QString>("taker");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a link") << "link"
                            << "it is a link, which is never written through";
    QTest::newRow("a file with content") << "file"
                                         << "another file took its name meanwhile";
}

// The empty file that holds a name under "never overwrite" is swapped before its tone is
// moved there: the tone does not take the name and nothing is written through it.
void TestHostile::reservedNameTakenMeanwhile() {
    QFETCH(QString, taker);
    QFETCH(QString, reason);
    QTemporaryDir folder;
    Precious precious;
    const QString target = folder.filePath(QStringLiteral("Ziravel_1.wav"));
    QVERIFY(createFileExclusively(target));
    QVERIFY(QFile::remove(target));
    if (taker == QLatin1String("link"))
        plantLink(precious.path(), target);
    else
        writeFile(target, "theirs");
    const PrivateFolder made(folder.path());
    const QString tone = made.filePath(QStringLiteral("Ziravel_1.wav"));
    writeFile(tone, "tone");
    try {
        moveToName(tone, target, true);
        QFAIL("the name was taken all the same");
    } catch (const Failure& failure) {
        QCOMPARE(failure.description(), reason);
    }
    QVERIFY(precious.untouched());
    QVERIFY(!QFile::exists(tone));
    if (taker == QLatin1String("file"))
        QCOMPARE(contentOf(target), QByteArray("theirs"));
}

void TestHostile::lengthTextNeverBecomesArguments_data() {
    QTest::addColumn<QString>("length");
    QTest::newRow("endless restart") << "1 sine 300 : restart : synth";
    QTest::newRow("noise profile over a file") << "1 sine 300 noiseprof %1 synth";
    QTest::newRow("repeated tone") << "1 sine 300 repeat 5 synth";
    QTest::newRow("quoted words") << "1\" \"sine";
}

void TestHostile::lengthTextNeverBecomesArguments() {
    QFETCH(QString, length);
    Precious victim;
    ToneRun run;
    const QString log = run.useFakeTool(0);
    run.w.lengthField->setText(length.contains(QStringLiteral("%1")) ? length.arg(victim.path())
                                                                     : length);
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    run.w.pushButton3->click();

    QCOMPARE(run.fixture.modals.reportLines(), (QList<int>{134, 128}));
    QCOMPARE(run.fixture.modals.reports[0].description, lengthRefused);
    QCOMPARE(
        run.fixture.modals.notices,
        (QStringList{QStringLiteral("Done.\r\n1 of 1 tones could not be made.\r\n") + lengthRefused,
                     noTone}));
    QVERIFY(!QFile::exists(log));
    QVERIFY(run.outputFiles().isEmpty());
    QVERIFY(victim.untouched());
}

void TestHostile::folderThatLooksLikeAnOption() {
    ToneRun run;
    const QString previous = QDir::currentPath();
    QVERIFY(QDir::setCurrent(run.output));
    QVERIFY(QDir().mkpath(QStringLiteral("-x")));
    run.w.folderField->setText(QStringLiteral("-x/"));
    run.w.countField->setText(QStringLiteral("1"));
    run.w.pushButton1->click();
    QDir::setCurrent(previous);
    QCOMPARE(run.fixture.modals.notices, QStringList{QStringLiteral("Done.")});
    QCOMPARE(TestSupport::soundInfo(run.output + QStringLiteral("/-x/Ziravel_1.wav"), 'r'),
             QStringLiteral("8000"));
}

void TestHostile::unreadableSettingsAreSetAside_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("a pipe") << "fifo";
    QTest::newRow("a link to an endless device") << "device";
    QTest::newRow("larger than 1 MB") << "large";
}

void TestHostile::unreadableSettingsAreSetAside() {
    QFETCH(QString, kind);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Korvane/Ziravel.conf"));
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    if (kind == QLatin1String("fifo"))
        QVERIFY(mkfifo(encoded(file).constData(), 0600) == 0);
    else if (kind == QLatin1String("device"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), file));
    else
        writeFile(file, "[General]\nText3=300\nText1=" + QByteArray(1 << 20, '7') + '\n');

    RecordingModals modals;
    SettingsStore store(noticesTo(modals), file);
    QCOMPARE(modals.notices.size(), 1);
    QVERIFY(modals.notices[0].startsWith(QStringLiteral("The settings file ") + file));
    QVERIFY(modals.notices[0].contains(file + QStringLiteral(".damaged")));
    QCOMPARE(store.value(storedSetting(Option::from)), QStringLiteral("200"));
    // Set aside, not deleted, and the store works on a new file.
    QVERIFY(QFileInfo(file + QStringLiteral(".damaged")).isSymLink() ||
            QFileInfo::exists(file + QStringLiteral(".damaged")));
    store.save(storedSetting(Option::from).name, QStringLiteral("310"));
    QCOMPARE(SettingsStore(noticesTo(modals), file).value(storedSetting(Option::from)),
             QStringLiteral("310"));
    QCOMPARE(modals.notices.size(), 1);
}

void TestHostile::variantInSettingsIsText() {
    // A list nested 30000 deep, as Qt's decoder would read it: the stack runs out.
    QByteArray nested;
    for (int level = 0; level < 30000; ++level)
        nested += QByteArrayLiteral("\\0\\0\\0\\t\\0\\0\\0\\x1");
    WindowFixture fixture;
    writeFile(fixture.settingsFile(), "[General]\nText3=300\nText1=@Variant(" + nested +
                                          ")\nText4=@Variant(\\0\\0\\0\\n)\n");
    QVERIFY(QFileInfo(fixture.settingsFile()).size() < (1 << 20));
    fixture.window->formLoad();
    QCOMPARE(fixture.window->fromField->text(), QStringLiteral("300"));
    QVERIFY(fixture.window->lengthField->text().startsWith(QStringLiteral("@Variant(")));
    QCOMPARE(fixture.window->toField->text(),
             QStringLiteral("@Variant(") + QString(3, QChar(0)) + QStringLiteral("\n)"));
    QVERIFY(fixture.modals.notices.isEmpty());
}

void TestHostile::hostileSkinOrCursor_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("line");
    // Not an ordinary file, so there is no skin, as for a folder of that name.
    QTest::newRow("skin as a pipe") << "x/o.cjs"
                                    << "fifo" << 0;
    QTest::newRow("skin of 2 MB") << "x/o.cjs"
                                  << "large" << 100;
    QTest::newRow("pointer as a pipe") << "HAND-M.CUR"
                                       << "fifo" << 108;
    QTest::newRow("pointer linked to an endless device") << "HAND-M.CUR"
                                                         << "device" << 108;
    QTest::newRow("pointer of 2 MB") << "HAND-M.CUR"
                                     << "large" << 108;
}

void TestHostile::hostileSkinOrCursor() {
    QFETCH(QString, name);
    QFETCH(QString, kind);
    QFETCH(int, line);
    QTemporaryDir program;
    const QString path = program.filePath(name);
    QDir().mkpath(QFileInfo(path).path());
    if (kind == QLatin1String("fifo"))
        QVERIFY(mkfifo(encoded(path).constData(), 0600) == 0);
    else if (kind == QLatin1String("device"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));
    else
        writeFile(path, QByteArray(2 << 20, ' '));
    WindowFixture fixture(program.path());
    fixture.window->formLoad();
    QCOMPARE(fixture.modals.reportLines(), line ? QList<int>{line} : QList<int>{});
    if (line)
        QVERIFY(fixture.modals.reports[0].description.contains(path));
    // The start went on to its last step.
    QVERIFY(!fixture.window->folderField->text().isEmpty());
}

// A header may claim any number of channels and frames: the picture reads a bounded part of the
// file (its memory bounded here), and no sample that is no finite number reaches the drawing.
void TestHostile::tonePictureTrustsNoHeader() {
    QTemporaryDir folder;
    const QString channels = folder.filePath(QStringLiteral("channels.wav"));
    const QString long4GiB = folder.filePath(QStringLiteral("long.wav"));
    QVERIFY(writeWavFile(channels, 65535, 16, false, qint64(1) << 30));
    QVERIFY(writeWavFile(long4GiB, 1, 16, false, (qint64(1) << 32) - 64));
    rlimit before{};
    getrlimit(RLIMIT_AS, &before);
    const rlimit bounded{rlim_t(TestSupport::processStatusBytes("VmSize") + (qint64(512) << 20)),
                         before.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_AS, &bounded), 0);
    const std::optional<TonePicture> many = readTonePicture(channels);
    const std::optional<TonePicture> huge = readTonePicture(long4GiB);
    setrlimit(RLIMIT_AS, &before);
    QVERIFY(!many);
    QVERIFY(huge && std::abs(huge->seconds - 268435.452) < 0.01);

    QByteArray samples;
    for (int at = 0; at < 800; ++at) {
        const float value = at % 3 == 0   ? std::numeric_limits<float>::quiet_NaN()
                            : at % 3 == 1 ? std::numeric_limits<float>::infinity()
                                          : 0.5f;
        samples.append(reinterpret_cast<const char*>(&value), sizeof value);
    }
    const QString unnumbered = folder.filePath(QStringLiteral("nan.wav"));
    QVERIFY(writeWavFile(unnumbered, 1, 32, true, samples.size(), samples));
    const std::optional<TonePicture> drawn = readTonePicture(unnumbered);
    QVERIFY(drawn);
    for (const std::vector<float>* values : {&drawn->periods, &drawn->envelope, &drawn->spectrumDb})
        for (const float value : *values)
            QVERIFY(std::isfinite(value));
}

// A key is read a block at a time, holding where its rows begin: a hostile one (a header and
// then only line ends, or only commas) is refused, and a large true one is told, all within a
// bounded address space.
void TestHostile::answerKeyReadInBoundedMemory() {
    QTemporaryDir folder;
    const QByteArray header = answerKeyHeader();
    const auto written = [&](const char* name, const std::function<QByteArray(int)>& block,
                             int blocks) {
        QFile file(folder.filePath(QLatin1String(name)));
        file.open(QIODevice::WriteOnly);
        file.write(header);
        for (int at = 0; at < blocks; ++at)
            file.write(block(at));
        return file.fileName();
    };
    const QString lineEnds = written(
        "ends.csv", [](int) { return QByteArray(1 << 20, '\n'); }, 64);
    const QString commas = written(
        "commas.csv", [](int) { return QByteArray(1 << 20, ','); }, 64);
    const QByteArray row = QByteArray("Ziravel_,440,A4,0,Sine (Default)") +
                           QByteArray(answerKeyColumns().size() - 5, ',') + '\n';
    const QString large = written(
        "large.csv",
        [&](int) {
            QByteArray rows;
            for (int at = 0; at < 10000; ++at)
                rows += row;
            return rows;
        },
        50);
    rlimit before{};
    getrlimit(RLIMIT_AS, &before);
    const rlimit bounded{rlim_t(TestSupport::processStatusBytes("VmSize") + (qint64(128) << 20)),
                         before.rlim_max};
    QCOMPARE(setrlimit(RLIMIT_AS, &bounded), 0);
    const auto refused = [](const QString& path) {
        try {
            AnswerKeyIndex key(path);
        } catch (const Failure&) {
            return true;
        }
        return false;
    };
    const bool endsRefused = refused(lineEnds);
    const bool commasRefused = refused(commas);
    std::optional<qsizetype> rows;
    QString lastFrequency;
    try {
        const AnswerKeyIndex key(large);
        rows = key.rowCount();
        lastFrequency = key.field(key.rowCount() - 1, QStringLiteral("frequency_hz"));
    } catch (const Failure&) {
    }
    setrlimit(RLIMIT_AS, &before);
    QVERIFY(endsRefused && commasRefused);
    QCOMPARE(rows, std::optional<qsizetype>(500000));
    QCOMPARE(lastFrequency, QStringLiteral("440"));
}

QTEST_MAIN(TestHostile)
#include "tst_hostile.moc"
