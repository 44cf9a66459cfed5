// SPDX-License-Identifier: GPL-3.0-or-later
#include "RecordingModals.h"
#include "TestSupport.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/ToolProvisioning.h"
#include "tone/NumberText.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using TestSupport::TemporaryToolFolder;

using TestSupport::contentOf;

namespace {

// Readable, writable and runnable by its owner, and nothing for group and others.
bool ownerOnly(const QString& path) {
    const QFile::Permissions groupOrOther(0x0077);
    const QFile::Permissions owner = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QFile::Permissions permissions = QFileInfo(path).permissions();
    return (permissions & owner) == owner && !(permissions & groupOrOther);
}

// A tool file put there by hand, or by somebody else.
void plantFile(const QString& path, const QByteArray& content, QFile::Permissions permissions) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();
    QVERIFY(file.setPermissions(permissions));
}

void provision(RecordingModals& reporter, int firstLine = 108) {
    Guard guard(reporter, handlerLocation(QStringLiteral("PushButton1_Click")));
    provisionTools(guard, firstLine);
}

} // namespace

class TestProvisioning : public QObject {
    Q_OBJECT

private slots:
    void firstClickWritesBothFiles();
    void secondClickWritesNothing();
    void writesOnlyTheMissingLibrary();
    void brokenCopyIsReplaced_data();
    void brokenCopyIsReplaced();
    void folderInPlaceIsNeverDeleted();
    void refusesFileOthersCanWrite();
    void refusesLinkedTool();
    void refusesFileOfAnotherUser();
    void failedWriteLeavesNoFile();
    void unwritableFolderIsReportedAtWriteSteps();
    void toolFolderWithoutTemp();
    void guardGoesOnAfterFailure();
    void probes_data();
    void probes();
    void desktopFolderEndsInOneSeparator();
    void defaultOutputFolder_data();
    void defaultOutputFolder();
    void defaultFolderWithoutHome();
};

void TestProvisioning::firstClickWritesBothFiles() {
    TemporaryToolFolder folder;
    RecordingModals reporter;
    provision(reporter);
    QVERIFY(reporter.reports.isEmpty());
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    const QString library = folder.filePath(QStringLiteral("zlib1.dll"));
    QCOMPARE(contentOf(tool), loadToolResource(101));
    QCOMPARE(contentOf(library), loadToolResource(102));
    QVERIFY(!loadToolResource(101).isEmpty());
    QVERIFY(ownerOnly(tool));
    QVERIFY(ownerOnly(library));
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 2); // no temporary left
    QCOMPARE(runChild(CommandLine{tool, {"--version"}}, 0).status, 0);
}

void TestProvisioning::secondClickWritesNothing() {
    TemporaryToolFolder folder;
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    plantFile(tool, "any content", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    RecordingModals reporter;
    provision(reporter);
    provision(reporter);
    QVERIFY(reporter.reports.isEmpty());
    QCOMPARE(contentOf(tool), QByteArray("any content"));
}

void TestProvisioning::writesOnlyTheMissingLibrary() {
    TemporaryToolFolder folder;
    RecordingModals reporter;
    provision(reporter);
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    const QString library = folder.filePath(QStringLiteral("zlib1.dll"));
    // A file written again is a new file under the name: another inode, whatever the clock.
    const FileStamp toolWritten = fileStamp(tool);
    QVERIFY(QFile::remove(library));
    provision(reporter, 106);
    QVERIFY(reporter.reports.isEmpty());
    QCOMPARE(contentOf(library), loadToolResource(102));
    QCOMPARE(fileStamp(tool), toolWritten);
}

void TestProvisioning::brokenCopyIsReplaced_data() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("empty") << "empty";
    QTest::newRow("cut short") << "short";
}

void TestProvisioning::brokenCopyIsReplaced() {
    QFETCH(QString, kind);
    TemporaryToolFolder folder;
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    const QByteArray start = loadToolResource(toolResourceId).left(kind == "empty" ? 0 : 1000);
    plantFile(tool, start, ownerOnly);
    RecordingModals reporter;
    provision(reporter);
    QVERIFY(reporter.reports.isEmpty());
    QCOMPARE(contentOf(tool), loadToolResource(toolResourceId));
    QCOMPARE(runChild(CommandLine{tool, {"--version"}}, 0).status, 0);
}

void TestProvisioning::folderInPlaceIsNeverDeleted() {
    TemporaryToolFolder folder;
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    const QString kept = tool + QStringLiteral("/sub/keep.txt");
    QVERIFY(QDir().mkpath(QFileInfo(kept).path()));
    plantFile(kept, "mine", QFile::ReadOwner | QFile::WriteOwner);
    RecordingModals reporter;
    provision(reporter, 106);
    // Reported where the tool would be written, as a tool that cannot be written is.
    QCOMPARE(reporter.reportLines(), QList<int>{110});
    QVERIFY(reporter.reports[0].description.contains(tool));
    QCOMPARE(contentOf(kept), QByteArray("mine"));
}

void TestProvisioning::refusesLinkedTool() {
    TemporaryToolFolder folder;
    // A program of our own, trusted where it is, but reached through a link.
    const QString own = folder.filePath(QStringLiteral("own-program"));
    QVERIFY(QFile::copy(QStringLiteral(ZIRAVEL_EXIT_WITH), own));
    QVERIFY(QFile::setPermissions(own, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    QVERIFY(QFile::link(own, tool));
    RecordingModals reporter;
    provision(reporter, 106);
    QCOMPARE(reporter.reportLines(), QList<int>{108});
    QVERIFY(reporter.reports[0].description.contains(tool));
    QCOMPARE(runChild(CommandLine{own, {"3", "0"}}, 0).status, 3);
    QCOMPARE(runChild(CommandLine{tool, {"3", "0"}}, 0).status, startFailureBase + EACCES);
}

void TestProvisioning::refusesFileOthersCanWrite() {
    TemporaryToolFolder folder;
    const QString tool = folder.filePath(QStringLiteral("sox.exe"));
    plantFile(tool, "planted",
              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::WriteGroup);
    RecordingModals reporter;
    provision(reporter, 106);
    QCOMPARE(reporter.reportLines(), QList<int>{108});
    QVERIFY(reporter.reports[0].description.contains(tool));
    QCOMPARE(reporter.reports[0].location,
             QStringLiteral("in Ziravel2021/08/31.Form1.PushButton1_Click "));
    QCOMPARE(contentOf(tool), QByteArray("planted"));
    QVERIFY(runChild(CommandLine{tool, {"--version"}}, 0).status < 0);
}

void TestProvisioning::refusesFileOfAnotherUser() {
    if (geteuid() != 0)
        QSKIP("only root can give a file to another user");
    TemporaryToolFolder folder;
    RecordingModals reporter;
    provision(reporter);
    const QString library = folder.filePath(QStringLiteral("zlib1.dll"));
    QVERIFY(chown(QFile::encodeName(library).constData(), 65534, 65534) == 0);
    provision(reporter);
    QCOMPARE(reporter.reportLines(), QList<int>{116});
    QVERIFY(reporter.reports[0].description.contains(library));
}

void TestProvisioning::failedWriteLeavesNoFile() {
    TemporaryToolFolder folder;
    const QString target = folder.filePath(QStringLiteral("sox.exe"));
    // A file-size limit makes the write fail part way, as a full disk would.
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = saved;
    limit.rlim_cur = 64 * 1024;
    setrlimit(RLIMIT_FSIZE, &limit);
    bool failed = false;
    try {
        writeToolFile(QByteArray(1024 * 1024, 'x'), target);
    } catch (const Failure& failure) {
        failed = failure.description().contains(target);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    QVERIFY(failed);
    QVERIFY(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
    // The next click writes the file whole.
    writeToolFile(QByteArray(1024 * 1024, 'x'), target);
    QCOMPARE(QFileInfo(target).size(), 1024 * 1024);
}

void TestProvisioning::unwritableFolderIsReportedAtWriteSteps() {
    TemporaryToolFolder folder;
    qputenv("TEMP", folder.filePath(QStringLiteral("missing")).toLocal8Bit());
    RecordingModals reporter;
    provision(reporter, 106);
    QCOMPARE(reporter.reportLines(), (QList<int>{110, 116}));
}

void TestProvisioning::toolFolderWithoutTemp() {
    const QByteArray saved = qgetenv("TEMP");
    qputenv("TEMP", "");
    const QString folder = toolFolder();
    qputenv("TEMP", saved);
    QVERIFY(!folder.isEmpty());
    QVERIFY(folder != QStringLiteral("/"));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(ownerOnly(folder));
}

void TestProvisioning::guardGoesOnAfterFailure() {
    RecordingModals reporter;
    Guard guard(reporter, handlerLocation(QStringLiteral("Form_Load")));
    QList<int> ran;
    QVERIFY(guard.step(100, [&] { ran << 100; }));
    QVERIFY(!guard.step(102, [&] {
        ran << 102;
        throw Failure(QStringLiteral("first"));
    }));
    int kept = 7;
    QVERIFY(!guard.step(104, [&] { kept = toInt16(QStringLiteral("x")); }));
    QVERIFY(guard.step(106, [&] { ran << 106; }));
    QCOMPARE(ran, (QList<int>{100, 102, 106}));
    QCOMPARE(kept, 7);
    QCOMPARE(reporter.reportLines(), (QList<int>{102, 104}));
    QCOMPARE(reporter.reports[0].description, QStringLiteral("first"));
    QCOMPARE(reporter.reports[1].description, QStringLiteral("Type mismatch"));
    QCOMPARE(reporter.reports[0].location, QStringLiteral("in Ziravel2021/08/31.Form1.Form_Load "));
}

void TestProvisioning::probes_data() {
    QTest::addColumn<QString>("relative");
    QTest::addColumn<bool>("file");
    QTest::addColumn<bool>("folder");
    QTest::addColumn<bool>("ordinary");
    QTest::newRow("empty path") << QString() << false << false << false;
    QTest::newRow("existing file") << "f.txt" << true << false << true;
    QTest::newRow("hidden file") << ".h" << true << false << false;
    QTest::newRow("missing folder on the way") << "nope/f.txt" << false << false << false;
    QTest::newRow("folder") << "d" << true << true << false;
    QTest::newRow("folder with separator") << "d/" << true << true << false;
    QTest::newRow("root") << "/" << true << true << false;
    QTest::newRow("missing") << "missing" << false << false << false;
}

void TestProvisioning::probes() {
    QFETCH(QString, relative);
    QFETCH(bool, file);
    QFETCH(bool, folder);
    QFETCH(bool, ordinary);
    TemporaryToolFolder dir;
    QFile(dir.filePath(QStringLiteral("f.txt"))).open(QIODevice::WriteOnly);
    QFile(dir.filePath(QStringLiteral(".h"))).open(QIODevice::WriteOnly);
    QDir(dir.path()).mkdir(QStringLiteral("d"));
    const QString path = relative.isEmpty() || relative.startsWith(QLatin1Char('/'))
                             ? relative
                             : dir.path() + QLatin1Char('/') + relative;
    QCOMPARE(fileExists(path), file);
    QCOMPARE(folderExists(path), folder);
    QCOMPARE(ordinaryFileExists(path), ordinary);
}

void TestProvisioning::desktopFolderEndsInOneSeparator() {
    const QString desktop = desktopFolder();
    QVERIFY(desktop.startsWith(QDir::homePath()));
    QVERIFY(desktop.endsWith(QStringLiteral("Desktop/")));
    QVERIFY(!desktop.endsWith(QStringLiteral("//")));
    QVERIFY(!desktop.contains(QChar(0)));
    QCOMPARE(specialFolderPath(5), QString());
}

void TestProvisioning::defaultOutputFolder_data() {
    QTest::addColumn<QStringList>("made");
    QTest::addColumn<QString>("expected"); // under the home folder
    QTest::newRow("the desktop where it exists") << QStringList{"Desktop", "Music"} << "Desktop/";
    QTest::newRow("else the music folder") << QStringList{"Music"} << "Music/";
    QTest::newRow("else the home folder") << QStringList{} << "";
}

void TestProvisioning::defaultOutputFolder() {
    QFETCH(QStringList, made);
    QFETCH(QString, expected);
    const QDir home = QDir::home();
    for (const QString& folder : made)
        QVERIFY(home.mkdir(folder));
    const QString folder = ::defaultOutputFolder();
    for (const QString& name : made)
        home.rmdir(name);
    QCOMPARE(folder, home.path() + QLatin1Char('/') + expected);
}

void TestProvisioning::defaultFolderWithoutHome() {
    const QByteArray saved = qgetenv("HOME");
    qunsetenv("HOME");
    const QString folder = ::defaultOutputFolder();
    const QString expanded = outputFilePath(QStringLiteral("~/x"), QStringLiteral("a.wav"));
    qputenv("HOME", saved);
    QVERIFY2(!folder.startsWith(QStringLiteral("//")), qPrintable(folder));
    QVERIFY(QFileInfo(folder).isDir());
    QVERIFY(folder.endsWith(QLatin1Char('/')));
    QCOMPARE(expanded, folder + QStringLiteral("x/a.wav"));
}

QTEST_GUILESS_MAIN(TestProvisioning)
#include "tst_provisioning.moc"
