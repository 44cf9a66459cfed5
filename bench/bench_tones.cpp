// SPDX-License-Identifier: GPL-3.0-or-later
// Measures what the child-process runner adds to a tone: the same SoX runs made
// through runChild() and started directly, in one run. Prints figures; never fails.
#include "BenchTools.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "runner/ChildRun.h"
#include "runner/Guard.h"
#include "runner/ToolProvisioning.h"
#include "tone/ToneCommand.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>

namespace {

QString tonePath(const QTemporaryDir& dir, const char* kind, int tone) {
    return dir.filePath(QStringLiteral("%1_%2.wav").arg(QLatin1String(kind)).arg(tone));
}

} // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    const int tones = argc > 1 ? QString::fromLocal8Bit(argv[1]).toInt() : 300;
    const BenchToolFolder tools;
    const QTemporaryDir& dir = tools.dir();
    const QString tool = toolFilePath(toolFileName);
    ToneSession session;

    // Alternate the two ways in rounds, so that load on the machine hits both alike.
    qint64 viaChildRun = 0;
    qint64 started = 0;
    QElapsedTimer timer;
    for (int tone = 1; tone <= tones; ++tone) {
        const Tone viaRunner{tonePath(dir, "shellwait", tone),
                             QStringLiteral("0.5"),
                             Waveform::sine,
                             double(200 + tone),
                             {}};
        timer.start();
        makeTone(session, toneCommand(tool, viaRunner), viaRunner);
        viaChildRun += timer.nsecsElapsed();

        const CommandLine direct = toneCommand(tool, Tone{tonePath(dir, "direct", tone),
                                                          QStringLiteral("0.5"),
                                                          Waveform::sine,
                                                          double(200 + tone),
                                                          {}});
        QProcess process;
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        timer.start();
        process.start(direct.program, direct.arguments);
        process.waitForFinished(-1);
        started += timer.nsecsElapsed();
    }
    const double perToneChildRun = static_cast<double>(viaChildRun) / 1e6 / tones;
    const double perToneDirect = static_cast<double>(started) / 1e6 / tones;
    std::printf("tones: %d (0.5 s WAV each)\n", tones);
    std::printf("through runChild: %.2f ms per tone\n", perToneChildRun);
    std::printf("started directly:  %.2f ms per tone\n", perToneDirect);
    std::printf("ratio: %.3f (target: at most 1.10)\n", perToneChildRun / perToneDirect);
    return 0;
}
