// SPDX-License-Identifier: GPL-3.0-or-later
// A forced-choice trial as it is played (real SoX, real files), the results it leaves, and a
// procedure planned with a simulated listener.
#include "SoundFiles.h"
#include "TestSupport.h"
#include "listening/ForcedChoiceSession.h"
#include "listening/ResponsesFile.h"
#include "listening/TrialSound.h"
#include "runner/Failure.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <csignal>

using namespace TestSupport;

class TestForcedChoice : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void trialIsOneExactSound();
    void targetDiffersInItsEar();
    void detectionToneSitsAtItsSnr();
    void summariesKeepOtherSessions();
    void simulationIsRemadeFromItsSeed();
    void killedSimulationLeavesTrueRows();

private:
    QString m_tool;
};

void TestForcedChoice::initTestCase() {
    m_tool = QStandardPaths::findExecutable(QStringLiteral("sox"));
    QVERIFY(!m_tool.isEmpty());
}

namespace {

double rmsDb(const SoundSamples& sound, qint64 firstFrame, qint64 frames, int channel) {
    double sum = 0;
    for (qint64 frame = firstFrame; frame < firstFrame + frames; ++frame) {
        const double sample = sound.samples[size_t(frame * sound.channels + channel)];
        sum += sample * sample;
    }
    return 10 * std::log10(sum / double(frames));
}

} // namespace

// The intervals and the gap between them lie in one file at their sample: a header that told
// another length, a gap off by a sample, or a trial that came out otherwise when made again
// would each fail here.
void TestForcedChoice::trialIsOneExactSound() {
    QTemporaryDir folder;
    ToneSession session;
    ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask::frequency);
    setup.lowestStandard = 500;
    setup.highestStandard = 2000;
    const ForcedChoiceTrial trial = forcedChoiceTrial(setup, 5, 3, 200);
    const QString path = folder.filePath(QStringLiteral("trial.wav"));
    const TrialSound sound = makeTrialSound(session, m_tool, setup, trial, path);
    const qint64 interval = 14400; // 0.3 s at 48 kHz
    const qint64 gap = 19200;      // 400 ms
    QCOMPARE(sound.intervalOnsets, (QList<qint64>{0, interval + gap}));
    QCOMPARE(soundInfo(path, 's').toLongLong(), 2 * interval + gap);
    const std::optional<SoundSamples> samples = decodeWav(contentOf(path));
    QVERIFY(samples);
    QCOMPARE(qint64(samples->samples.size()), 2 * interval + gap);
    for (qint64 at = interval; at < interval + gap; ++at)
        QCOMPARE(samples->samples[size_t(at)], 0.0f);
    QVERIFY(rmsDb(*samples, sound.intervalOnsets[1] + 1000, 1000, 0) > -30);
    const QString again = folder.filePath(QStringLiteral("again.wav"));
    makeTrialSound(session, m_tool, setup, forcedChoiceTrial(setup, 5, 3, 200), again);
    QCOMPARE(contentOf(again), contentOf(path));
    QVERIFY(trial.targetHz / trial.standardHz > 1.12 && trial.targetHz / trial.standardHz < 1.123);
}

// The target is heard on the right, the standard on the left, by the difference asked.
void TestForcedChoice::targetDiffersInItsEar() {
    QTemporaryDir folder;
    ToneSession session;
    const ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask::ild);
    const ForcedChoiceTrial trial = forcedChoiceTrial(setup, 9, 1, 6);
    const QString path = folder.filePath(QStringLiteral("trial.wav"));
    const TrialSound sound = makeTrialSound(session, m_tool, setup, trial, path);
    const std::optional<SoundSamples> samples = decodeWav(contentOf(path));
    QVERIFY(samples && samples->channels == 2);
    for (int interval = 1; interval <= 2; ++interval) {
        const qint64 start = sound.intervalOnsets[interval - 1] + 2400;
        const double rightOverLeft =
            rmsDb(*samples, start, 4800, 1) - rmsDb(*samples, start, 4800, 0);
        QCOMPARE(std::round(rightOverLeft * 10) / 10,
                 interval == trial.targetInterval ? 6.0 : -6.0);
    }
}

// Every interval holds noise of its own, the same at every making; the target's holds the tone too,
// its RMS the SNR above its noise's: the trial less the same trial without the tone is the tone.
void TestForcedChoice::detectionToneSitsAtItsSnr() {
    QTemporaryDir folder;
    ToneSession session;
    const ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask::detection);
    const ForcedChoiceTrial trial = forcedChoiceTrial(setup, 21, 4, -6);
    const QString path = folder.filePath(QStringLiteral("trial.wav"));
    const TrialSound sound = makeTrialSound(session, m_tool, setup, trial, path);
    const QString again = folder.filePath(QStringLiteral("again.wav"));
    makeTrialSound(session, m_tool, setup, forcedChoiceTrial(setup, 21, 4, -6), again);
    QCOMPARE(contentOf(again), contentOf(path));
    ForcedChoiceTrial noiseOnly = trial;
    noiseOnly.signal.reset();
    const QString noisePath = folder.filePath(QStringLiteral("noise.wav"));
    makeTrialSound(session, m_tool, setup, noiseOnly, noisePath);
    const std::optional<SoundSamples> played = decodeWav(contentOf(path));
    const std::optional<SoundSamples> noise = decodeWav(contentOf(noisePath));
    QVERIFY(played && noise);
    const qint64 frames = 14400;
    const qint64 start = sound.intervalOnsets[trial.targetInterval - 1];
    SoundSamples tone{played->sampleRate, 1, {}};
    for (qint64 at = start; at < start + frames; ++at)
        tone.samples.push_back(played->samples[size_t(at)] - noise->samples[size_t(at)]);
    const double snr = rmsDb(tone, 0, frames, 0) - rmsDb(*noise, start, frames, 0);
    QVERIFY2(std::abs(snr + 6) < 0.05, qPrintable(QString::number(snr)));
    for (const qint64 other : sound.intervalOnsets)
        if (other != start)
            for (qint64 at = other; at < other + frames; ++at)
                QCOMPARE(played->samples[size_t(at)], noise->samples[size_t(at)]);
    QVERIFY(played->samples[size_t(sound.intervalOnsets[0] + 5000)] !=
            played->samples[size_t(sound.intervalOnsets[1] + 5000)]);
}

// A second session adds its summary; the same session's replaces its own; a file that is not
// ours stays as it was.
void TestForcedChoice::summariesKeepOtherSessions() {
    QTemporaryDir folder;
    const QString path = folder.filePath(sessionSummaryName(QStringLiteral("p_")));
    keepSessionSummary(path, {{QStringLiteral("id"), QStringLiteral("a")}});
    keepSessionSummary(path, {{QStringLiteral("id"), QStringLiteral("b")}});
    keepSessionSummary(
        path, {{QStringLiteral("id"), QStringLiteral("a")}, {QStringLiteral("trials"), 12}});
    const QJsonArray sessions = QJsonDocument::fromJson(contentOf(path))["sessions"].toArray();
    QCOMPARE(sessions.size(), 2);
    QCOMPARE(sessions[0]["trials"].toInt(), 12);
    QCOMPARE(sessions[1]["id"].toString(), QStringLiteral("b"));
    const QString notOurs = folder.filePath(QStringLiteral("notes.json"));
    writeFile(notOurs, "{\"thesis\": 1}");
    QVERIFY_THROWS_EXCEPTION(
        Failure, keepSessionSummary(notOurs, {{QStringLiteral("id"), QStringLiteral("a")}}));
    QCOMPARE(contentOf(notOurs), QByteArray("{\"thesis\": 1}"));
}

namespace {

QStringList simulation(const QString& folder, int runs) {
    return {QStringLiteral("--simulate-listener"),
            QStringLiteral("weibull,12,2.5,0.02"),
            QStringLiteral("--procedure"),
            QStringLiteral("frequency"),
            QStringLiteral("--intervals"),
            QStringLiteral("3"),
            QStringLiteral("--seed"),
            QStringLiteral("77"),
            QStringLiteral("--runs"),
            QString::number(runs),
            QStringLiteral("--folder"),
            folder};
}

} // namespace

// The same seed prints the same spread and writes the same rows, every trial of every run.
void TestForcedChoice::simulationIsRemadeFromItsSeed() {
    QTemporaryDir first;
    QTemporaryDir second;
    QByteArray printed[2];
    for (const QTemporaryDir* folder : {&first, &second}) {
        QProcess batch;
        batch.start(QStringLiteral(ZIRAVEL_BATCH), simulation(folder->path(), 20));
        QVERIFY(batch.waitForFinished(60000));
        QCOMPARE(batch.exitCode(), 0);
        printed[folder == &second] = batch.readAllStandardOutput();
    }
    QCOMPARE(printed[0], printed[1]);
    QVERIFY(printed[0].contains("20 runs of frequency, 3 intervals"));
    const QByteArray rows = contentOf(first.filePath(QStringLiteral("Ziravel_responses.csv")));
    QCOMPARE(contentOf(second.filePath(QStringLiteral("Ziravel_responses.csv"))), rows);
    ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask::frequency);
    setup.intervals = 3;
    const SimulatedRuns runs =
        simulateRuns(setup, {PsychometricFunction::Shape::weibull, 12, 2.5, 1.0 / 3, 0.02}, 77, 20);
    qsizetype trials = 0;
    for (const int count : runs.trials)
        trials += count;
    QCOMPARE(rows.count('\n'), trials + 1);
}

// Killed at any moment, the results file holds only whole rows, each the row the run meant.
void TestForcedChoice::killedSimulationLeavesTrueRows() {
    QTemporaryDir folder;
    QProcess batch;
    batch.start(QStringLiteral(ZIRAVEL_BATCH), simulation(folder.path(), 100000));
    QVERIFY(batch.waitForStarted());
    const QString path = folder.filePath(QStringLiteral("Ziravel_responses.csv"));
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(path).size() > 100000, 30000);
    ::kill(pid_t(batch.processId()), SIGKILL);
    QVERIFY(batch.waitForFinished());
    const QByteArray written = contentOf(path);
    QVERIFY(written.endsWith('\n'));
    ForcedChoiceSetup setup = classicSetup(ForcedChoiceTask::frequency);
    setup.intervals = 3;
    QByteArray meant = responsesHeader();
    simulateRuns(setup, {PsychometricFunction::Shape::weibull, 12, 2.5, 1.0 / 3, 0.02}, 77,
                 int(written.count('\n')), [&](const ResponseRow& row) {
                     if (meant.size() < written.size())
                         meant += responseRowText(row);
                 });
    QCOMPARE(written, meant.left(written.size()));
}

QTEST_GUILESS_MAIN(TestForcedChoice)
#include "tst_forcedchoice.moc"
