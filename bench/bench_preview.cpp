// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what a preview request costs the window: the time from the request to its
// return and the extra memory while the sound plays, for a preview an hour long, through
// the default audio output. For comparison, the same figures for converting a whole
// ten-minute file at once. Needs an audio output, for example PulseAudio with a null sink:
//     pulseaudio -n --load=module-null-sink --load=module-native-protocol-unix
//                --exit-idle-time=-1 --daemonize
// Prints figures only.
#include "RenderedOutput.h"
#include "SoundFiles.h"
#include "sound/SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

// A field of /proc/self/status, in kB.
qint64 statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Starts the peak anew, so that the peak reads what happens from now on.
void resetPeakMemory() {
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

bool makeTone(const QString& path, int seconds) {
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {"-r", "8000", "-n", path, "synth", QString::number(seconds), "sine", "300"});
    return sox.waitForFinished(-1) && sox.exitCode() == 0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    if (QMediaDevices::defaultAudioOutput().isNull()) {
        std::fputs("no audio output: start PulseAudio with a null sink (see the top of "
                   "bench/bench_preview.cpp)\n",
                   stderr);
        return 1;
    }
    QTemporaryDir dir;
    const QString hour = dir.filePath(QStringLiteral("hour.wav"));
    const QString tenMinutes = dir.filePath(QStringLiteral("ten-minutes.wav"));
    if (!makeTone(hour, 3600) || !makeTone(tenMinutes, 600))
        return 1;

    AudioPlayer player;
    player.playSoundFile(tenMinutes); // the first request connects to the sound server
    QTest::qWait(200);
    std::vector<double> requestMs;
    qint64 extraKb = 0;
    for (int run = 0; run < 5; ++run) {
        resetPeakMemory();
        const qint64 before = statusKb("VmRSS:");
        QElapsedTimer timer;
        timer.start();
        player.playSoundFile(hour);
        requestMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        QTest::qWait(1500); // playing
        extraKb = std::max(extraKb, statusKb("VmHWM:") - before);
    }
    std::printf("streamed, 1 h preview: request to return %.2f ms (median of 5), extra memory "
                "while playing %.1f MB (target: under 20 ms and 30 MB)\n",
                median(requestMs), double(extraKb) / 1024);

    // All at once, as the window did before: read, decode and convert the whole file.
    resetPeakMemory();
    const qint64 before = statusKb("VmRSS:");
    QElapsedTimer timer;
    timer.start();
    QFile file(tenMinutes);
    file.open(QIODevice::ReadOnly);
    const QByteArray pcm = renderForOutput(*decodeWav(file.readAll()),
                                           QMediaDevices::defaultAudioOutput().preferredFormat());
    const double wholeMs = double(timer.nsecsElapsed()) / 1e6;
    std::printf("whole file at once, 10 min preview: %.2f ms, extra memory %.1f MB (%lld bytes "
                "of output)\n",
                wholeMs, double(statusKb("VmHWM:") - before) / 1024, qlonglong(pcm.size()));
    return 0;
}
