// Measures ziravel-batch against the same SoX runs started one after another by a plain
// posix_spawn loop, in one run: --jobs 2 and --jobs 1 for WAV tones, --jobs 2 for MP3.
// Rounds alternate the ways, so that drift in the machine's load hits all alike. Prints
// figures only.
#include "BenchTools.h"
#include "PlainSpawn.h"
#include "synth/StoredInputs.h"
#include "synth/ToneCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <random>
#include <vector>

namespace {

// The commands ziravel-batch runs for a seed at its defaults: the same draws, the same
// arguments, into another folder.
std::vector<PlainCommand> sameCommands(const QString& folder, const QString& extension, int tones,
                                       quint64 seed) {
    std::mt19937_64 generator(seed);
    const QString tool = quotedToolPath();
    std::vector<PlainCommand> commands;
    for (int tone = 1; tone <= tones; ++tone) {
        const double frequency = drawPitch(200, 400, ToneOptions::PitchDraw::evenHz, generator);
        const QString path = QStringLiteral("%1/Ziravel_%2%3").arg(folder).arg(tone).arg(extension);
        commands.emplace_back(splitCommandLine(synthCommand(
            tool, toolArgs(path, QStringLiteral("1"), waveformRows.first(), frequency))));
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
                 QString::number(jobs), "--format", format, "--folder", folder, "--quiet"});
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

    constexpr int rounds = 4;
    const int perRound = tones / rounds;
    double plain = 0, jobs2 = 0, jobs1 = 0, plainMp3 = 0, jobs2Mp3 = 0;
    for (int round = 0; round < rounds; ++round) {
        const quint64 seed = 1000 + round;
        plain += plainLoopMs(folder("plain"), QStringLiteral(".wav"), perRound, seed);
        jobs2 += batchMs(folder("jobs2"), QStringLiteral("wav"), perRound, seed, 2);
        jobs1 += batchMs(folder("jobs1"), QStringLiteral("wav"), perRound, seed, 1);
        plainMp3 += plainLoopMs(folder("plainmp3"), QStringLiteral(".mp3"), perRound / 4, seed);
        jobs2Mp3 += batchMs(folder("jobs2mp3"), QStringLiteral("mp3"), perRound / 4, seed, 2);
    }
    const double made = perRound * rounds;
    const double madeMp3 = (perRound / 4) * rounds;
    std::printf("cores: %d; WAV tones: %.0f, MP3 tones: %.0f (1 s sine each, 8000 Hz)\n",
                QThread::idealThreadCount(), made, madeMp3);
    std::printf("plain posix_spawn loop, WAV: %.3f ms per tone\n", plain / made);
    std::printf(
        "ziravel-batch --jobs 2, WAV: %.3f ms per tone, ratio %.3f (target: at most 0.60)\n",
        jobs2 / made, jobs2 / plain);
    std::printf(
        "ziravel-batch --jobs 1, WAV: %.3f ms per tone, ratio %.3f (target: at most 1.05)\n",
        jobs1 / made, jobs1 / plain);
    std::printf("plain posix_spawn loop, MP3: %.3f ms per tone\n", plainMp3 / madeMp3);
    std::printf("ziravel-batch --jobs 2, MP3: %.3f ms per tone, ratio %.3f\n", jobs2Mp3 / madeMp3,
                jobs2Mp3 / plainMp3);
    return 0;
}
