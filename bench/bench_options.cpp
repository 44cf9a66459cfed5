// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what the listening-test options cost a tone: tones made through the program's
// tool run at the defaults and with every option on, each against the same SoX commands
// run from a plain posix_spawn loop, in one run. Prints figures only.
#include "BenchTools.h"
#include "PlainSpawn.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "tone/ToneCommand.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <vector>

namespace {

// Milliseconds per tone through the program and from the plain loop, alternating in rounds.
std::pair<double, double> perTone(const QTemporaryDir& dir, const ToneOptions& options, int tones) {
    const QString tool = toolFilePath(toolFileName);
    ToneSession session;
    std::vector<Tone> made;
    for (int tone = 0; tone < tones; ++tone)
        made.push_back(Tone{dir.filePath(QStringLiteral("t_%1.wav").arg(tone % 50)),
                            QStringLiteral("0.5"), Waveform::sine, double(300 + tone % 700),
                            options});
    std::vector<PlainCommand> plain;
    for (const Tone& tone : made)
        plain.emplace_back(toneCommand(tool, tone));
    qint64 program = 0;
    qint64 floor = 0;
    QElapsedTimer timer;
    for (int tone = 0; tone < tones; ++tone) {
        timer.start();
        makeTone(session, toneCommand(tool, made[size_t(tone)]), made[size_t(tone)]);
        program += timer.nsecsElapsed();
        timer.start();
        plain[size_t(tone)].run();
        floor += timer.nsecsElapsed();
    }
    return {double(program) / 1e6 / tones, double(floor) / 1e6 / tones};
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int tones = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    const BenchToolFolder tools;
    const QTemporaryDir& dir = tools.dir();

    ToneOptions everything;
    everything.sampleRate = 44100;
    everything.sampleBits = 16;
    everything.levelDb = -12;
    everything.fadeMs = 20;
    everything.channel = ToneOptions::Channel::leftOnly;
    const auto [defaults, defaultsFloor] = perTone(dir, ToneOptions(), tones);
    const auto [options, optionsFloor] = perTone(dir, everything, tones);
    std::printf("at the defaults: %.3f ms per tone, SoX alone %.3f ms: ratio %.3f (the runner's "
                "own cost; the options add no argument here)\n",
                defaults, defaultsFloor, defaults / defaultsFloor);
    std::printf("every option on: %.3f ms per tone, SoX alone with the same arguments %.3f ms: "
                "ratio %.3f (target: at most 1.10)\n",
                options, optionsFloor, options / optionsFloor);
    return 0;
}
