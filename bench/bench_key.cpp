// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a large answer key in the set's list: the time from asking to every row listed, the
// longest the window's event loop waits meanwhile, and the process's peak memory, against
// reading the same file whole (what opening a key began with before it was read as a stream).
// Usage: bench_key [rows] (default 1000000).
#include "TestSupport.h"
#include "WindowFixture.h"
#include "app/set/ListenPanel.h"
#include "runner/FileProbes.h"
#include "set/AnswerKey.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

// The process's peak resident memory in MB.
double peakMegabytes() {
    return double(TestSupport::processStatusBytes("VmHWM")) / (1 << 20);
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    const int rows = argc > 1 ? QByteArray(argv[1]).toInt() : 1000000;
    QTemporaryDir folder;
    const QString keyPath = folder.filePath(QStringLiteral("Ziravel_tones.csv"));
    {
        QFile key(keyPath);
        key.open(QIODevice::WriteOnly);
        key.write(answerKeyHeader());
        Tone tone{{}, QStringLiteral("0.5"), Waveform::sine, 440, {}, 440, 1};
        for (int number = 1; number <= rows; ++number) {
            AnswerRow row = answeredTone(tone, true);
            row.fileName = QStringLiteral("Ziravel_%1.wav").arg(number);
            key.write(answerRowText(row));
        }
    }
    const double fileMegabytes = double(QFileInfo(keyPath).size()) / (1 << 20);

    QElapsedTimer clock;
    WindowFixture fixture;
    std::mt19937_64 generator;
    ListenPanel panel({fixture.modals, fixture.sound, nullptr, generator}, nullptr);
    panel.resize(600, 400);
    panel.show();
    qint64 longestPauseMs = 0;
    qint64 lastTickMs = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longestPauseMs = std::max(longestPauseMs, clock.elapsed() - lastTickMs);
        lastTickMs = clock.elapsed();
    });
    clock.start();
    tick.start();
    panel.showSet(keyPath);
    while (panel.rowCount() == 0 && clock.elapsed() < 60000)
        application.processEvents(QEventLoop::WaitForMoreEvents, 50);
    const qint64 listedMs = clock.elapsed();
    const double listedPeakMegabytes = peakMegabytes();
    // The baseline last, so that its copy of the file is not in the peak above.
    clock.start();
    const qint64 wholeBytes = readRegularFile(keyPath, qint64(4) << 30).size();
    const qint64 wholeMs = std::max<qint64>(1, clock.elapsed());
    std::printf("key of %d rows, %.0f MB (read whole: %lld bytes in %lld ms)\n", rows,
                fileMegabytes, static_cast<long long>(wholeBytes), static_cast<long long>(wholeMs));
    std::printf("listed %d rows in %lld ms, %.2f x reading it whole; the window's longest pause "
                "%lld ms; peak memory %.0f MB, %.2f x the file\n",
                panel.rowCount(), static_cast<long long>(listedMs),
                double(listedMs) / double(wholeMs), static_cast<long long>(longestPauseMs),
                listedPeakMegabytes, listedPeakMegabytes / fileMegabytes);
    return panel.rowCount() == rows ? 0 : 1;
}
