// SPDX-License-Identifier: GPL-3.0-or-later
// Measures how exactly the listening test's trials reach the audio output. The window's panel
// runs an ILD test (whose intervals are alike in the monitor's one channel, so that their onsets
// are found alike) through the real sound output while parecord records the
// output's monitor; the bench answers each trial as soon as it may. From the recording it finds
// every interval's onset (by its level, not its first loud sample, since the test changes the
// intervals' levels) and prints, against the schedule, the error of the second interval's
// onset within its trial (the gap) and the spread of the trial onsets after the answers (their
// delay from the answer, less its mean). Arguments: the number of trials (50), and the pause
// after each answer in ms (the procedure's own, 500).
// Needs PulseAudio with a null sink as the default output, and parecord:
//     pulseaudio -n --load=module-null-sink --load=module-native-protocol-unix
//                --exit-idle-time=-1 --daemonize
// CI cannot hear: this is run by hand. Prints figures only.
#include "RecordingModals.h"
#include "app/listening/ListeningTestPanel.h"
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "settings/SettingsStore.h"
#include "sound/SoundPlayer.h"

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

constexpr int rate = 48000;

// The output's monitor, recorded whole; the monotonic time of each sample is its count since the
// recording began, which stays a fixed offset from the system's clock.
class Recording {
public:
    Recording() {
        m_record.start(QStringLiteral("parecord"),
                       {"--raw", "--format=s16le", "--channels=1", "--rate=48000",
                        "--latency-msec=2", "--device=@DEFAULT_MONITOR@"});
        QObject::connect(&m_record, &QProcess::readyReadStandardOutput,
                         [this] { m_bytes += m_record.readAllStandardOutput(); });
    }
    ~Recording() {
        m_record.kill();
        m_record.waitForFinished();
    }
    bool started() { return m_record.waitForStarted(); }
    // The first sample's time on `clock`: when the first bytes came, less what they hold.
    void markStart(const QElapsedTimer& clock) {
        while (m_bytes.isEmpty())
            QTest::qWait(1);
        m_startNs = clock.nsecsElapsed() - qint64(m_bytes.size() / 2) * 1000000000 / rate;
    }
    qint64 startNs() const { return m_startNs; }
    // Where each burst of sound begins, in samples: where its level (the RMS over the last
    // 5 ms) first reaches half its level 100 ms in, so that neither the burst's loudness nor
    // its frequency moves the point found within its fade-in. A burst is found by a sample above
    // the threshold after at least 50 ms of silence.
    std::vector<qint64> onsets() const {
        const auto* samples = reinterpret_cast<const qint16*>(m_bytes.constData());
        const qint64 count = m_bytes.size() / 2;
        constexpr qint64 window = rate / 200;
        const auto level = [&](qint64 end) {
            double squares = 0;
            for (qint64 at = std::max<qint64>(0, end - window); at < end; ++at)
                squares += double(samples[at]) * samples[at];
            return std::sqrt(squares / window);
        };
        std::vector<qint64> found;
        qint64 quiet = rate;
        for (qint64 at = 0; at < count; ++at) {
            if (std::abs(int(samples[at])) <= 300) {
                ++quiet;
                continue;
            }
            if (quiet >= rate / 20 && at + rate / 10 < count) {
                const double half = level(at + rate / 10) / 2;
                qint64 onset = std::max<qint64>(0, at - window);
                while (level(onset) < half)
                    ++onset;
                found.push_back(onset);
            }
            quiet = 0;
        }
        return found;
    }

private:
    QProcess m_record;
    QByteArray m_bytes;
    qint64 m_startNs = 0;
};

double mean(const std::vector<double>& values) {
    double sum = 0;
    for (const double value : values)
        sum += value;
    return values.empty() ? 0 : sum / double(values.size());
}

double spread(const std::vector<double>& values) {
    const double centre = mean(values);
    double squares = 0;
    for (const double value : values)
        squares += (value - centre) * (value - centre);
    return values.size() < 2 ? 0 : std::sqrt(squares / double(values.size() - 1));
}

double largest(const std::vector<double>& values) {
    double most = 0;
    for (const double value : values)
        most = std::max(most, std::abs(value));
    return most;
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int trials = argc > 1 ? std::atoi(argv[1]) : 50;
    const int pauseMs = argc > 2 ? std::atoi(argv[2]) : -1; // the procedure's own by default
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    Recording recording;
    if (!recording.started()) {
        std::fputs("parecord cannot be started: install pulseaudio-utils and start PulseAudio "
                   "(see the top of bench/bench_listening_timing.cpp)\n",
                   stderr);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    recording.markStart(clock);
    RecordingModals modals;
    SettingsStore settings(noticesTo(modals), dir.filePath(QStringLiteral("Ziravel.conf")));
    AudioPlayer player;
    Form1 window({modals, settings, player, dir.path(), [] {}});
    window.formLoad();
    window.folderField->setText(dir.path());
    window.listeningTest->click();
    ListeningTestPanel& panel = *window.testPanel();
    panel.procedureList->setCurrentIndex(3); // lateralisation by level
    panel.trialLimit->setValue(trials);
    panel.stopReversals->setValue(100);
    if (pauseMs >= 0)
        panel.pauseMs->setValue(pauseMs);
    const ForcedChoiceSetup setup = panel.setup();
    const double gapSamples = (setup.intervalSeconds + setup.gapMs / 1000.0) * rate;

    std::vector<double> answersNs;
    panel.startButton->click();
    for (int trial = 0; trial < trials; ++trial) {
        while (!panel.answerButtons[0]->isEnabled() && panel.isRunning())
            QTest::qWait(1);
        if (!panel.isRunning())
            break;
        answersNs.push_back(double(clock.nsecsElapsed()));
        panel.answerButtons[trial % 2]->click();
    }
    QTest::qWait(1000);

    // Two onsets a trial: each interval's.
    const std::vector<qint64> onsets = recording.onsets();
    if (onsets.size() < 2 * answersNs.size()) {
        std::fprintf(stderr,
                     "heard %zu onsets for %zu trials: is the null sink the default "
                     "output?\n",
                     onsets.size(), answersNs.size());
        return 1;
    }
    std::vector<double> gapErrorsMs;
    for (size_t trial = 0; trial + 1 < onsets.size(); trial += 2)
        gapErrorsMs.push_back((double(onsets[trial + 1] - onsets[trial]) - gapSamples) * 1000 /
                              rate);
    std::vector<double> delaysMs;
    for (size_t trial = 0; trial + 1 < answersNs.size(); ++trial) {
        const double onsetNs =
            double(recording.startNs()) + double(onsets[2 * (trial + 1)]) * 1e9 / rate;
        delaysMs.push_back((onsetNs - answersNs[trial]) / 1e6);
    }
    std::printf("%zu trials of 2 intervals (%.0f ms, gap %d ms), pause %d ms after each answer\n",
                answersNs.size(), setup.intervalSeconds * 1000, setup.gapMs, setup.pauseMs);
    std::printf("second interval's onset against the schedule: largest error %.3f ms, mean "
                "%.3f ms (goal: within 0.1 ms)\n",
                largest(gapErrorsMs), mean(gapErrorsMs));
    std::printf("trial onset after the answer: mean %.1f ms (the pause and the output's "
                "latency), spread %.2f ms SD, range %.2f ms (goal: spread under 1 ms)\n",
                mean(delaysMs), spread(delaysMs),
                *std::max_element(delaysMs.begin(), delaysMs.end()) -
                    *std::min_element(delaysMs.begin(), delaysMs.end()));
    return 0;
}
