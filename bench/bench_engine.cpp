// SPDX-License-Identifier: GPL-3.0-or-later
// Measures ziravel-batch's library engine against a plain posix_spawn loop of `sox -R` with
// the same arguments, one at a time, in the same run, into a folder under /dev/shm: WAV 1 s,
// WAV 0.1 s and MP3 1 s tones, with --jobs 1 and --jobs 2. Rounds alternate the ways, so
// that drift in the machine's load hits all alike. Then, on disk, a set made again over its own
// files against the same set made into an empty folder, runs alternated. Then the resident
// memory of ziravel-batch --jobs 2 (the batch and its workers) over a long run, sampled as it
// goes. Prints figures only.
#include "PlainSpawn.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <random>
#include <vector>

namespace {

struct ToneKind {
    const char* name;
    const char* length;
    const char* format;
    int perRound;
    double targetJobs1;
    double targetJobs2;
};

// The arguments ziravel-batch gives its tones for a seed at its defaults, after "sox -R".
std::vector<PlainCommand> soxCommands(const QString& folder, const ToneKind& kind, int tones,
                                      quint64 seed) {
    std::mt19937_64 generator(seed);
    const QString sox = QStandardPaths::findExecutable(QStringLiteral("sox"));
    std::vector<PlainCommand> commands;
    for (int tone = 1; tone <= tones; ++tone) {
        const double frequency = drawPitch(200, 400, ToneOptions::PitchDraw::evenHz, generator);
        const QString path = QStringLiteral("%1/Ziravel_%2.%3")
                                 .arg(folder)
                                 .arg(tone)
                                 .arg(QLatin1String(kind.format));
        commands.emplace_back(CommandLine{
            sox, QStringList{QStringLiteral("-R")} +
                     toolArguments(
                         Tone{path, QLatin1String(kind.length), Waveform::sine, frequency, {}})});
    }
    return commands;
}

double plainLoopMs(const QString& folder, const ToneKind& kind, quint64 seed) {
    std::vector<PlainCommand> commands = soxCommands(folder, kind, kind.perRound, seed);
    QElapsedTimer timer;
    timer.start();
    for (PlainCommand& command : commands)
        command.run();
    return double(timer.nsecsElapsed()) / 1e6;
}

QStringList batchArguments(const QString& folder, const ToneKind& kind, int tones, quint64 seed,
                           int jobs) {
    return {"--count",  QString::number(tones),     "--length", QLatin1String(kind.length),
            "--seed",   QString::number(seed),      "--jobs",   QString::number(jobs),
            "--format", QLatin1String(kind.format), "--folder", folder,
            "--quiet"};
}

double batchMs(const QString& folder, const ToneKind& kind, quint64 seed, int jobs) {
    QElapsedTimer timer;
    timer.start();
    QProcess batch;
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                batchArguments(folder, kind, kind.perRound, seed, jobs));
    batch.waitForFinished(-1);
    const double ms = double(timer.nsecsElapsed()) / 1e6;
    if (batch.exitCode() != 0)
        std::printf("ziravel-batch ended with status %d\n", batch.exitCode());
    return ms;
}

// The resident kilobytes of the process and of its children.
long residentKb(qint64 pid) {
    long total = 0;
    QDir processes(QStringLiteral("/proc"));
    for (const QString& entry : processes.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile status(QStringLiteral("/proc/%1/status").arg(entry));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(status.readAll());
        const auto field = [&text](const char* name) {
            const qsizetype at = text.indexOf(QLatin1String(name));
            return at < 0 ? QString()
                          : text.mid(at + qsizetype(qstrlen(name)))
                                .section(QLatin1Char('\n'), 0, 0)
                                .trimmed()
                                .section(QLatin1Char(' '), 0, 0);
        };
        if (entry.toLongLong() == pid || field("PPid:").toLongLong() == pid)
            total += field("VmRSS:").toLong();
    }
    return total;
}

void emptyFolder(const QString& folder) {
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 6;
    const int memoryTones = argc > 2 ? QString::fromLocal8Bit(argv[2]).toInt() : 100000;
    QTemporaryDir shm(QStringLiteral("/dev/shm/ziravel-bench-XXXXXX"));
    const QString plainFolder = shm.filePath(QStringLiteral("plain"));
    const QString batchFolder = shm.filePath(QStringLiteral("batch"));
    const ToneKind kinds[] = {{"WAV 1 s", "1", "wav", 300, 0.25, 0.13},
                              {"WAV 0.1 s", "0.1", "wav", 1500, 0.05, 0.03},
                              {"MP3 1 s", "1", "mp3", 100, 0.30, 0.16}};
    std::printf("cores: %d; %d rounds, sine tones from 200 to 400 Hz at 8000 Hz\n",
                QThread::idealThreadCount(), rounds);
    for (const ToneKind& kind : kinds) {
        double plain = 0;
        double total[2] = {0, 0};
        std::vector<double> ratios[2];
        for (int round = 0; round < rounds; ++round) {
            const quint64 seed = 1000 + round;
            emptyFolder(plainFolder);
            const double floor = plainLoopMs(plainFolder, kind, seed);
            plain += floor;
            for (int jobs = 1; jobs <= 2; ++jobs) {
                emptyFolder(batchFolder);
                const double ms = batchMs(batchFolder, kind, seed, jobs);
                total[jobs - 1] += ms;
                ratios[jobs - 1].push_back(ms / floor);
            }
        }
        const double tones = double(kind.perRound) * rounds;
        std::printf("%s: sox -R, one at a time: %.3f ms per tone\n", kind.name, plain / tones);
        for (int jobs = 1; jobs <= 2; ++jobs) {
            std::vector<double>& way = ratios[jobs - 1];
            std::sort(way.begin(), way.end());
            std::printf("  --jobs %d: %.3f ms per tone, ratio %.3f (median of rounds; %.3f to "
                        "%.3f; target: at most %.2f)\n",
                        jobs, total[jobs - 1] / tones, way[way.size() / 2], way.front(), way.back(),
                        jobs == 1 ? kind.targetJobs1 : kind.targetJobs2);
        }
    }

    // Over its own files, on disk, where replacing a file costs the file system more than
    // making one.
    QTemporaryDir disk;
    for (const ToneKind& kind : {kinds[0], kinds[1]}) {
        const int jobs = kind.perRound > 300 ? 2 : 1;
        std::vector<double> ratios;
        for (int round = 0; round < rounds; ++round) {
            const QString folder = disk.filePath(QStringLiteral("again"));
            emptyFolder(folder);
            const double fresh = batchMs(folder, kind, 2000 + round, jobs);
            ratios.push_back(batchMs(folder, kind, 2000 + round, jobs) / fresh);
        }
        std::sort(ratios.begin(), ratios.end());
        std::printf("%s, --jobs %d, on disk: made again over its own files / into an empty "
                    "folder: ratio %.3f (median of rounds; %.3f to %.3f; target: at most 1.10)\n",
                    kind.name, jobs, ratios[ratios.size() / 2], ratios.front(), ratios.back());
    }

    // Memory over a long run of short tones; the files go to disk, not to memory.
    QProcess batch;
    batch.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    batch.start(QStringLiteral(ZIRAVEL_BATCH),
                batchArguments(disk.path(), kinds[1], memoryTones, 7, 2));
    batch.waitForStarted();
    std::vector<long> samples;
    while (!batch.waitForFinished(500))
        samples.push_back(residentKb(batch.processId()));
    if (samples.empty()) {
        std::printf("memory: the run ended before a sample\n");
        return 0;
    }
    std::printf("memory of ziravel-batch --jobs 2 over %d tones of 0.1 s (batch and workers), "
                "sampled every 0.5 s:\n  first %.1f MB, at the middle %.1f MB, last %.1f MB, "
                "highest %.1f MB (target: under 60 MB and flat)\n",
                memoryTones, double(samples.front()) / 1024,
                double(samples[samples.size() / 2]) / 1024, double(samples.back()) / 1024,
                double(*std::max_element(samples.begin(), samples.end())) / 1024);
    return 0;
}
