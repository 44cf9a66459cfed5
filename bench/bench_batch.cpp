// Measures a whole WAV batch through the window's handler (offscreen, boxes answered
// by a recorder) against the same SoX runs started directly, in one run, and the
// longest time the window went without dispatching events. Prints figures only.
#include "RecordingModals.h"
#include "app/FieldEdit.h"
#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "runner/ShellWait.h"
#include "synth/SoundPlayer.h"
#include "synth/ToneCommand.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

class SilentSound : public SoundOutput {
public:
    bool playSoundFile(const QString&) override { return true; }
};

// Directly: each tool run started and waited for, nothing else.
double directRunsMs(const QString& folder, int tones) {
    QElapsedTimer timer;
    timer.start();
    for (int tone = 1; tone <= tones; ++tone) {
        const CommandLine command = splitCommandLine(synthCommand(
            quotedToolPath(), toolArgs(folder + QStringLiteral("/direct_%1.wav").arg(tone),
                                       QStringLiteral("0.5"), QStringLiteral("Sine"), 300)));
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        process.start(command.program, command.arguments);
        process.waitForFinished(-1);
    }
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
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
    SettingsStore settings(modals, dir.filePath(QStringLiteral("Ziravel.conf")));
    SilentSound sound;
    Form1 window({modals, settings, sound, dir.path(), [] {}});
    window.formLoad();
    window.show();
    window.text1->setText(QStringLiteral("0.5"));
    window.text5->setText(output + QLatin1Char('/'));

    // A warm-up tone puts the tool in place, so both sides start alike.
    window.text2->setText(QStringLiteral("1"));
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
    window.text2->setText(QString::number(tonesPerRound));
    double directMs = 0;
    double handlerMs = 0;
    QElapsedTimer timer;
    for (int round = 0; round < rounds; ++round) {
        directMs += directRunsMs(output, tonesPerRound);
        timer.start();
        window.pushButton1->click();
        handlerMs += static_cast<double>(timer.nsecsElapsed()) / 1e6;
    }
    // A last batch under a 1 ms heartbeat, which would itself slow the measured ones.
    window.text2->setText(QString::number(tones));
    sinceDispatch.start();
    heartbeat.start();
    window.pushButton1->click();
    heartbeat.stop();

    std::printf(
        "tones: %d (0.5 s WAV each); messages: %s\n", tones,
        qPrintable(
            modals.notices.join(QStringLiteral(" | ")).replace('\r', ' ').replace('\n', ' ')));
    std::printf("through the WAV handler: %.2f ms per tone\n",
                handlerMs / (tonesPerRound * rounds));
    std::printf("started directly:        %.2f ms per tone\n", directMs / (tonesPerRound * rounds));
    std::printf("ratio: %.3f (target: at most 1.15)\n", handlerMs / directMs);
    std::printf("longest gap between event dispatches: %.1f ms (target: under 20 ms)\n",
                static_cast<double>(longestGapNs) / 1e6);
    return 0;
}
