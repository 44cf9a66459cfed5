// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "runner/Guard.h"
#include "runner/ToolProvisioning.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"

#include <QCoreApplication>
#include <QDir>
#include <QTest>
#include <QTimer>
#include <optional>

#include <cerrno>
#include <csignal>

using TestSupport::TemporaryToolFolder;

namespace {

const QString exitWith = QStringLiteral(ZIRAVEL_EXIT_WITH);

CommandLine helperCommand(int status, int sleepMs, const QStringList& extra = {}) {
    return {exitWith, QStringList{QString::number(status), QString::number(sleepMs)} + extra};
}

class ThrowingReporter : public ErrorReporter {
public:
    void reportError(const QString& description, const QString&, int line) override {
        QFAIL(qPrintable(QStringLiteral("line %1: %2").arg(line).arg(description)));
    }
};

} // namespace

class TestChildRun : public QObject {
    Q_OBJECT

private slots:
    void windowStyle_data();
    void windowStyle();
    void returnsExitStatus_data();
    void returnsExitStatus();
    void missingProgramFailsAtOnce();
    void errorOutputIsEachChildsOwn();
    void passesArgumentsWithoutShell();
    void refusesProgramOthersCanWrite();
    void nestedCallInsideWait();
    void childrenStartedSideBySide();
    void childOutlivesProgramEnd();
    void refusesEndlessLength_data();
    void refusesEndlessLength();
    void makesRealTone_data();
    void makesRealTone();
};

void TestChildRun::windowStyle_data() {
    QTest::addColumn<std::optional<int>>("given");
    QTest::addColumn<int>("used");
    QTest::newRow("omitted") << std::optional<int>() << 6;
    QTest::newRow("below range") << std::optional<int>(-1) << 6;
    QTest::newRow("above range") << std::optional<int>(7) << 6;
    QTest::newRow("hidden") << std::optional<int>(0) << 0;
    QTest::newRow("five passes") << std::optional<int>(5) << 5;
}

void TestChildRun::windowStyle() {
    QFETCH(std::optional<int>, given);
    QFETCH(int, used);
    QCOMPARE(normalisedWindowStyle(given), used);
}

void TestChildRun::returnsExitStatus_data() {
    QTest::addColumn<int>("status");
    QTest::newRow("clean") << 0;
    QTest::newRow("two") << 2;
}

void TestChildRun::returnsExitStatus() {
    QFETCH(int, status);
    QCOMPARE(runChild(helperCommand(status, 0), 0).status, status);
}

void TestChildRun::missingProgramFailsAtOnce() {
    const qint32 result =
        runChild(CommandLine{QStringLiteral("/no/such/program"), {"-r", "8000"}}, 0).status;
    QCOMPARE(result, startFailureBase + ENOENT);
    QVERIFY(runChild(CommandLine{}, 0).status < 0);
}

void TestChildRun::errorOutputIsEachChildsOwn() {
    // A long message first, then shorter ones: none may show what an earlier child wrote.
    const ChildResult first = runAndWait(helperCommand(123, 0));
    QCOMPARE(first.status, 123);
    QCOMPARE(first.errorOutput, QStringLiteral("exit 123\n"));
    QCOMPARE(runAndWait(helperCommand(4, 0)).errorOutput, QStringLiteral("exit 4\n"));
    QCOMPARE(runAndWait(helperCommand(0, 0)).errorOutput, QString());
    // A child started inside another's wait writes to a file of its own.
    ChildResult inner;
    QTimer::singleShot(0, [&] { inner = runAndWait(helperCommand(7, 0)); });
    QCOMPARE(runAndWait(helperCommand(9, 300)).errorOutput, QStringLiteral("exit 9\n"));
    QCOMPARE(inner.errorOutput, QStringLiteral("exit 7\n"));
}

void TestChildRun::passesArgumentsWithoutShell() {
    TemporaryToolFolder folder;
    const QString log = folder.filePath(QStringLiteral("args.txt"));
    qputenv("ZIRAVEL_HELPER_LOG", log.toLocal8Bit());
    const int status =
        runChild(helperCommand(0, 0, {"a b", "$(touch x)", ";exit 3", "`y`", ""}), 0).status;
    qunsetenv("ZIRAVEL_HELPER_LOG");
    QCOMPARE(status, 0);
    QFile file(log);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromLocal8Bit(file.readAll()),
             QStringLiteral("a b\n$(touch x)\n;exit 3\n`y`\n\n"));
}

void TestChildRun::refusesProgramOthersCanWrite() {
    TemporaryToolFolder folder;
    const QString copy = folder.filePath(QStringLiteral("helper"));
    QVERIFY(QFile::copy(exitWith, copy));
    const auto ownerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    QVERIFY(QFile::setPermissions(copy, ownerOnly | QFile::WriteGroup | QFile::ExeGroup));
    const CommandLine command{copy, {"4", "0"}};
    QCOMPARE(runChild(command, 0).status, startFailureBase + EACCES);
    QVERIFY(QFile::setPermissions(copy, ownerOnly | QFile::WriteOther));
    QCOMPARE(runChild(command, 0).status, startFailureBase + EACCES);
    QVERIFY(QFile::setPermissions(copy, ownerOnly));
    QCOMPARE(runChild(command, 0).status, 4);
}

// Children run at once, each with its own status and error output; one ended early is
// gone at once; a program others could write never starts, however often it is asked for.
void TestChildRun::childrenStartedSideBySide() {
    StartedChild slow(helperCommand(3, 300));
    StartedChild quick(helperCommand(0, 0));
    StartedChild endless(helperCommand(0, 60000));
    while (!slow.hasEnded() || !quick.hasEnded())
        waitForAnyEnd({slow.endDescriptor(), quick.endDescriptor()}, -1);
    QCOMPARE(slow.result().status, 3);
    QCOMPARE(slow.result().errorOutput, QStringLiteral("exit 3\n"));
    QCOMPARE(quick.result().status, 0);
    QVERIFY(!endless.hasEnded());
    endless.stop();
    QVERIFY(endless.hasEnded());
    QCOMPARE(endless.result().status, 128 + 9);

    TemporaryToolFolder folder;
    const QString copy = folder.filePath(QStringLiteral("helper"));
    QVERIFY(QFile::copy(exitWith, copy));
    QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                            QFile::WriteOther));
    for (int start = 0; start < 2; ++start) {
        StartedChild refused(CommandLine{copy, {QStringLiteral("0"), QStringLiteral("0")}});
        QVERIFY(refused.hasEnded());
        QCOMPARE(refused.result().status, startFailureBase + EACCES);
    }
}

// A handler that runs inside a wait runs its own child to its end; the outer child, which would
// run for a minute, is ended only then.
void TestChildRun::nestedCallInsideWait() {
    QList<QString> order;
    ChildrenInFlight outerChildren;
    QTimer::singleShot(0, [&] {
        order << QStringLiteral("inner starts");
        QCOMPARE(runChild(helperCommand(3, 0), 0).status, 3);
        order << QStringLiteral("inner ends");
        outerChildren.stopAll();
    });
    const qint32 outer = runChild(helperCommand(5, 60000), 0, &outerChildren).status;
    order << QStringLiteral("outer ends");
    QCOMPARE(outer, 128 + SIGKILL);
    QCOMPARE(order, (QList<QString>{"inner starts", "inner ends", "outer ends"}));
}

void TestChildRun::childOutlivesProgramEnd() {
    TemporaryToolFolder folder;
    const QString log = folder.filePath(QStringLiteral("survivor.txt"));
    // The child goes on only once the test says so, after the program has ended.
    const QString go = folder.filePath(QStringLiteral("go"));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("ZIRAVEL_HELPER_LOG"), log);
    environment.insert(QStringLiteral("ZIRAVEL_HELPER_WAIT_FOR"), go);
    program.setProcessEnvironment(environment);
    const CommandLine child = helperCommand(0, 0, {"done"});
    program.start(QStringLiteral(ZIRAVEL_ABANDON_WAIT),
                  QStringList{child.program} + child.arguments);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFile::exists(log));
    TestSupport::writeFile(go, {});
    QVERIFY(TestSupport::waitForFile(log, 30000));
}

void TestChildRun::refusesEndlessLength_data() {
    QTest::addColumn<QString>("length");
    QTest::newRow("empty") << "";
    QTest::newRow("zero") << "0";
    QTest::newRow("zero with decimals") << "0,000";
    QTest::newRow("negative") << "-1";
    QTest::newRow("words after the number") << "1 sine 300 : restart : synth";
    QTest::newRow("less than one sample") << "0.0001";
    QTest::newRow("not a number") << "abc";
    QTest::newRow("blank") << " ";
}

void TestChildRun::refusesEndlessLength() {
    QFETCH(QString, length);
    TemporaryToolFolder folder;
    const QString log = folder.filePath(QStringLiteral("ran.txt"));
    qputenv("ZIRAVEL_HELPER_LOG", log.toLocal8Bit());
    const Tone tone{folder.filePath("a.wav"), length, Waveform::sine, 300, {}};
    ToneSession session;
    try {
        makeTone(session, toneCommand(exitWith, tone), tone);
        qunsetenv("ZIRAVEL_HELPER_LOG");
        QFAIL("the length was let through");
    } catch (const Failure& failure) {
        qunsetenv("ZIRAVEL_HELPER_LOG");
        QCOMPARE(failure.description(),
                 QStringLiteral("Tone length must be a positive number of seconds."));
    }
    QVERIFY(!QFile::exists(log));
}

void TestChildRun::makesRealTone_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("length");
    QTest::addColumn<QString>("waveform");
    QTest::addColumn<double>("seconds");
    QTest::addColumn<double>("tolerance");
    QTest::newRow("wav") << "Ziravel_1.wav"
                         << "0,5"
                         << "Pink Noise" << 0.5 << 0.001;
    // MP3 frames pad the end of the stream.
    QTest::newRow("mp3") << "Ziravel_1.mp3"
                         << "1"
                         << "Sine (Default)" << 1.0 << 0.15;
}

void TestChildRun::makesRealTone() {
    QFETCH(QString, fileName);
    QFETCH(QString, length);
    QFETCH(QString, waveform);
    QFETCH(double, seconds);
    QFETCH(double, tolerance);
    TemporaryToolFolder folder;
    ThrowingReporter reporter;
    Guard guard(reporter, QStringLiteral("Test"));
    provisionTools(guard, 100);

    const QString output = QDir(folder.path()).filePath(QStringLiteral("out put/") + fileName);
    QVERIFY(QDir().mkpath(QFileInfo(output).path()));
    const Tone tone{output, length, waveformOfRow(waveform), 317, {}};
    QCOMPARE(checkedSeconds(tone), seconds);
    ToneSession session;
    QVERIFY(makeTone(session, toneCommand(toolFilePath(toolFileName), tone), tone).made);
    QVERIFY(QFile::exists(output));
    QCOMPARE(TestSupport::soundInfo(output, 'r'), QStringLiteral("8000"));
    QCOMPARE(TestSupport::soundInfo(output, 'c'), QStringLiteral("1"));
    const double duration = TestSupport::soundInfo(output, 'D').toDouble();
    QVERIFY2(qAbs(duration - seconds) <= tolerance, qPrintable(QString::number(duration)));
}

QTEST_GUILESS_MAIN(TestChildRun)
#include "tst_childrun.moc"
