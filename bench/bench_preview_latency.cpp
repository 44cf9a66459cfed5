// SPDX-License-Identifier: GPL-3.0-or-later
// Measures the time from a click on Preview to the first sound at the audio output, against
// the floor: SoX making the same file, then paplay playing it. Both are heard the same way:
// parecord records the output's monitor and the time a chunk with sound arrives counts.
// Needs PulseAudio with a null sink as the default output, and paplay and parecord:
//     pulseaudio -n --load=module-null-sink --load=module-native-protocol-unix
//                --exit-idle-time=-1 --daemonize
// CI cannot hear: this is run by hand. Prints figures only.
#include "RecordingModals.h"
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "runner/ToolProvisioning.h"
#include "settings/SettingsStore.h"
#include "sound/SoundPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

namespace {

// Listens to the output's monitor and tells when sound arrives.
class Monitor {
public:
    Monitor() {
        m_record.start(QStringLiteral("parecord"),
                       {"--raw", "--format=s16le", "--channels=1", "--rate=48000",
                        "--latency-msec=2", "--device=@DEFAULT_MONITOR@"});
        QObject::connect(&m_record, &QProcess::readyReadStandardOutput, [this] { take(); });
    }
    ~Monitor() {
        m_record.kill();
        m_record.waitForFinished();
    }
    bool started() { return m_record.waitForStarted(); }

    // Runs the action and gives the milliseconds until sound arrives; -1 when none does.
    double latencyMs(const std::function<void()>& action) {
        waitForSilence();
        m_heardAtNs = -1;
        m_listening = true;
        m_clock.start();
        action();
        for (int waited = 0; m_heardAtNs < 0 && waited < 3000; waited += 1)
            QTest::qWait(1);
        m_listening = false;
        return m_heardAtNs < 0 ? -1 : double(m_heardAtNs) / 1e6;
    }

private:
    void take() {
        const QByteArray chunk = m_record.readAllStandardOutput();
        const auto* samples = reinterpret_cast<const qint16*>(chunk.constData());
        bool loud = false;
        for (qsizetype i = 0; i < chunk.size() / 2 && !loud; ++i)
            loud = std::abs(int(samples[i])) > 1000;
        m_lastLoud = loud ? 0 : m_lastLoud + 1;
        if (loud && m_listening && m_heardAtNs < 0)
            m_heardAtNs = m_clock.nsecsElapsed();
    }
    void waitForSilence() {
        m_lastLoud = 0;
        while (m_lastLoud < 50)
            QTest::qWait(5);
    }

    QProcess m_record;
    QElapsedTimer m_clock;
    bool m_listening = false;
    qint64 m_heardAtNs = -1;
    int m_lastLoud = 0;
};

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 7;
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    Monitor monitor;
    if (!monitor.started()) {
        std::fputs("parecord cannot be started: install pulseaudio-utils and start PulseAudio "
                   "(see the top of bench/bench_preview_latency.cpp)\n",
                   stderr);
        return 1;
    }
    RecordingModals modals;
    SettingsStore settings(noticesTo(modals), dir.filePath(QStringLiteral("Ziravel.conf")));
    AudioPlayer player;
    Form1 window({modals, settings, player, dir.path(), [] {}});
    window.formLoad();
    window.lengthField->setText(QStringLiteral("0.3"));
    window.fromField->setText(QStringLiteral("440"));
    window.toField->setText(QStringLiteral("440"));
    window.pushButton3->click(); // puts the tool in place and opens the output once
    QTest::qWait(500);

    const QString tool = toolFilePath(toolFileName);
    const QString floorFile = dir.filePath(QStringLiteral("floor.wav"));
    QProcess paplay;
    std::vector<double> preview;
    std::vector<double> floor;
    for (int run = 0; run < runs; ++run) {
        preview.push_back(monitor.latencyMs([&] { window.pushButton3->click(); }));
        floor.push_back(monitor.latencyMs([&] {
            QProcess sox;
            sox.start(tool, {"-r", "8000", "-n", floorFile, "synth", "0.3", "sine", "440"});
            sox.waitForFinished();
            paplay.start(QStringLiteral("paplay"), {floorFile});
        }));
        paplay.waitForFinished();
    }
    std::printf("click on Preview to first sound: %.1f ms; SoX then paplay: %.1f ms (medians of "
                "%d); ratio %.2f (target: at most 1.5)\n",
                median(preview), median(floor), runs, median(preview) / median(floor));
    return 0;
}
