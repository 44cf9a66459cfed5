// SPDX-License-Identifier: GPL-3.0-or-later
// Measures a whole WAV batch through the window's handler (offscreen, boxes answered
// by a recorder) against the same SoX runs started directly, in one run, and the
// longest time the window went without dispatching events. Prints figures only.
#include "PlainSpawn.h"
#include "RecordingModals.h"
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "runner/ChildRun.h"
#include "runner/ToolProvisioning.h"
#include "settings/SettingsStore.h"
#include "sound/SoundPlayer.h"
#include "tone/ToneCommand.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <vector>

namespace {

class SilentSound : public SoundOutput {
public:
    bool playSoundFile(const QString&) override { return true; }
    bool playSoundFileAt(const QString&, std::chrono::steady_clock::time_point) override {
        return true;
    }
    void stopSound() override {}
};

struct Cost {
    double wallMs = 0;
    double cpuMs = 0;
};

// The floor: the same tool runs from a plain posix_spawn loop, their arguments made before.
Cost plainLoop(const QString& folder, int tones) {
    const QString tool = toolFilePath(toolFileName);
    std::vector<CommandLine> commands;
    for (int tone = 1; tone <= tones; ++tone)
        commands.push_back(
            toneCommand(tool, Tone{folder + QStringLiteral("/direct_%1.wav").arg(tone),
                                   QStringLiteral("0.5"),
                                   Waveform::sine,
                                   300,
                                   {}}));
    std::vector<PlainCommand> plain(commands.begin(), commands.end());
    QElapsedTimer timer;
    timer.start();
    const double cpuBefore = ownCpuMs();
    for (PlainCommand& command : plain)
        command.run();
    return {double(timer.nsecsElapsed()) / 1e6, ownCpuMs() - cpuBefore};
}

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int tones = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 500;
    QTemporaryDir dir;
    qputenv("TEMP", dir.path().toLocal8Bit());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir.path());
    const QString output = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(output);

    RecordingModals modals;
    SettingsStore settings(noticesTo(modals), dir.filePath(QStringLiteral("Ziravel.conf")));
    SilentSound sound;
    Form1 window({modals, settings, sound, dir.path(), [] {}});
    window.formLoad();
    window.show();
    window.lengthField->setText(QStringLiteral("0.5"));
    window.folderField->setText(output + QLatin1Char('/'));

    // A warm-up tone puts the tool in place, so both sides start alike.
    window.countField->setText(QStringLiteral("1"));
    window.pushButton1->click();

    qint64 longestGapNs = 0;
    QElapsedTimer sinceDispatch;
    QTimer heartbeat;
    heartbeat.setTimerType(Qt::PreciseTimer);
    heartbeat.setInterval(1);
    QObject::connect(&heartbeat, &QTimer::timeout, [&] {
        longestGapNs = std::max(longestGapNs, sinceDispatch.nsecsElapsed());
        sinceDispatch.restart();
    });

    // Rounds that alternate the two ways, so that drift in the machine's load hits both.
    constexpr int rounds = 5;
    const int tonesPerRound = tones / rounds;
    window.countField->setText(QString::number(tonesPerRound));
    Cost plain;
    Cost handler;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        const Cost floor = plainLoop(output, tonesPerRound);
        plain.wallMs += floor.wallMs;
        plain.cpuMs += floor.cpuMs;
        timer.start();
        const double cpuBefore = ownCpuMs();
        window.pushButton1->click();
        handler.cpuMs += ownCpuMs() - cpuBefore;
        handler.wallMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    // A last batch under a 1 ms heartbeat, which would itself slow the measured ones.
    window.countField->setText(QString::number(tones));
    sinceDispatch.start();
    heartbeat.start();
    window.pushButton1->click();
    heartbeat.stop();

    std::printf(
        "tones: %d (0.5 s WAV each); messages: %s\n", tones,
        qPrintable(
            modals.notices.join(QStringLiteral(" | ")).replace('\r', ' ').replace('\n', ' ')));
    const double made = tonesPerRound * rounds;
    std::printf("through the WAV handler: %.3f ms per tone, %.3f ms of our own processor time\n",
                handler.wallMs / made, handler.cpuMs / made);
    std::printf("plain posix_spawn loop:  %.3f ms per tone, %.3f ms of our own processor time\n",
                plain.wallMs / made, plain.cpuMs / made);
    std::printf("ratio: %.3f (target: at most 1.10); own processor time per tone: %.3f ms\n",
                handler.wallMs / plain.wallMs, handler.cpuMs / made);
    std::printf("longest gap between event dispatches: %.1f ms (target: under 20 ms)\n",
                static_cast<double>(longestGapNs) / 1e6);
    return 0;
}
