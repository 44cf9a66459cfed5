// SPDX-License-Identifier: GPL-3.0-or-later
// Measures ziravel-batch's process engine against the same SoX runs started one after another by a
// plain posix_spawn loop, in one run: --jobs 2 and --jobs 1 for WAV tones, --jobs 2 for MP3. Rounds
// alternate the ways, so that drift in the machine's load hits all alike. Prints figures only.
#include "BenchTools.h"
#include "PlainSpawn.h"
#include "settings/StoredInputs.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// The commands ziravel-batch runs for a seed at its defaults: the same draws, the same
// arguments, into another folder.
std::vector<PlainCommand> sameCommands(const QString& folder, const QString& extension, int tones,
                                       quint64 seed) {
    std::mt19937_64 generator(seed);
    const QString tool = toolFilePath(toolFileName);
    std::vector<PlainCommand> commands;
    for (int tone = 1; tone <= tones; ++tone) {
        const double frequency = drawPitch(200, 400, ToneOptions::PitchDraw::evenHz, generator);
        const QString path = QStringLiteral("%1/Ziravel_%2%3").arg(folder).arg(tone).arg(extension);
        commands.emplace_back(
            toneCommand(tool, Tone{path, QStringLiteral("1"), Waveform::sine, frequency, {}}));
    }
    return commands;
}

double plainLoopMs(const QString& folder, const QString& extension, int tones, quint64 seed) {
    std::vector<PlainCommand> commands = sameCommands(folder, extension, tones, seed);
    QElapsedTimer timer;
    timer.start();
    for (PlainCommand& command : commands)
        command.run();
    return double(timer.nsecsElapsed()) / 1e6;
}

double batchMs(const QString& folder, const QString& format, int tones, quint64 seed, int jobs) {
    QElapsedTimer timer;
    timer.start();
    QProcess batch;
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                {"--count", QString::number(tones), "--seed", QString::number(seed), "--jobs",
                 QString::number(jobs), "--format", format, "--folder", folder, "--quiet",
                 "--engine", "process"});
    batch.waitForFinished(-1);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (batch.exitCode() != 0)
        std::printf("ziravel-batch ended with status %d\n", batch.exitCode());
    return ms;
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int tones = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 2000;
    const BenchToolFolder tools;
    const QString out = tools.dir().filePath(QStringLiteral("out"));
    for (const char* name : {"plain", "jobs2", "jobs1", "plainmp3", "jobs2mp3"})
        QDir().mkpath(out + QLatin1Char('/') + QLatin1String(name));
    const auto folder = [&](const char* name) {
        return out + QLatin1Char('/') + QLatin1String(name);
    };

    // Many short rounds; the median of their ratios stands against the machine's drift.
    constexpr int rounds = 8;
    const int perRound = tones / rounds;
    const int mp3PerRound = std::max(1, perRound / 4);
    struct Way {
        const char* name;
        double totalMs = 0;
        std::vector<double> ratios;
    };
    Way jobs2{"ziravel-batch --jobs 2, WAV", 0, {}}, jobs1{"ziravel-batch --jobs 1, WAV", 0, {}},
        jobs2Mp3{"ziravel-batch --jobs 2, MP3", 0, {}};
    double plain = 0, plainMp3 = 0;
    const auto add = [](Way& way, double ms, double floorMs) {
        way.totalMs += ms;
        way.ratios.push_back(ms / floorMs);
    };
    for (int round = 0; round < rounds; ++round) {
        const quint64 seed = 1000 + round;
        const double floor = plainLoopMs(folder("plain"), QStringLiteral(".wav"), perRound, seed);
        plain += floor;
        add(jobs2, batchMs(folder("jobs2"), QStringLiteral("wav"), perRound, seed, 2), floor);
        add(jobs1, batchMs(folder("jobs1"), QStringLiteral("wav"), perRound, seed, 1), floor);
        const double floorMp3 =
            plainLoopMs(folder("plainmp3"), QStringLiteral(".mp3"), mp3PerRound, seed);
        plainMp3 += floorMp3;
        add(jobs2Mp3, batchMs(folder("jobs2mp3"), QStringLiteral("mp3"), mp3PerRound, seed, 2),
            floorMp3);
    }
    const double made = perRound * rounds;
    const double madeMp3 = mp3PerRound * rounds;
    std::printf("cores: %d; WAV tones: %.0f, MP3 tones: %.0f (1 s sine each, 8000 Hz), %d rounds\n",
                QThread::idealThreadCount(), made, madeMp3, rounds);
    std::printf("plain posix_spawn loop, WAV: %.3f ms per tone\n", plain / made);
    std::printf("plain posix_spawn loop, MP3: %.3f ms per tone\n", plainMp3 / madeMp3);
    const auto report = [](Way& way, double count, const char* target) {
        std::sort(way.ratios.begin(), way.ratios.end());
        std::printf("%s: %.3f ms per tone, ratio %.3f (median of rounds; %.3f to %.3f)%s\n",
                    way.name, way.totalMs / count, way.ratios[way.ratios.size() / 2],
                    way.ratios.front(), way.ratios.back(), target);
    };
    report(jobs2, made, " (target: at most 0.60)");
    report(jobs1, made, " (target: at most 1.05)");
    report(jobs2Mp3, madeMp3, "");
    return 0;
}
