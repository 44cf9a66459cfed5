#include "synth/ToneActions.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/ShellWait.h"
#include "runner/ToolProvisioning.h"
#include "synth/NumberText.h"
#include "synth/ToneCommand.h"
#include "synth/ToneWindow.h"
#include "synth/WavFile.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <cmath>

namespace {

// The line labels of a batch handler. The MP3 handler has no folder test and does not
// let events run at the start of each tone: those labels are 0 there.
struct BatchLines {
    int folderTest;
    int busyTest;
    int setBusy;
    int busyPointer;
    int provisioning; // six steps, two apart
    int toolPath;
    int count;
    int letEventsRun;
    int outputPath;
    int frequency;
    int args;
    int command;
    int run;
    int defaultPointer;
    int done;
    int clearBusy;
    int folderMissing;
};

struct BatchHandler {
    QString name;
    QString extension;
    BatchLines lines;
};

const BatchHandler wavHandler{
    QStringLiteral("PushButton1_Click"),
    QStringLiteral(".wav"),
    {100, 102, 104, 106, 108, 120, 122, 124, 126, 128, 130, 132, 134, 138, 140, 142, 144}};
const BatchHandler mp3Handler{
    QStringLiteral("PushButton2_Click"),
    QStringLiteral(".mp3"),
    {0, 100, 102, 104, 106, 118, 120, 0, 122, 124, 126, 128, 130, 134, 136, 138, 0}};

// The bounds are read for every tone, the upper one first.
qint16 drawFrequency(const ToneWindow& window) {
    const qint16 upper = toInt16(window.toText());
    const qint16 lower = toInt16(window.fromText());
    return randomBetween(lower, upper);
}

// What a file looked like, to tell whether a run wrote to it.
struct FileState {
    explicit FileState(const QString& path) {
        const QFileInfo info(path);
        exists = info.exists();
        size = info.size();
        modified = info.lastModified();
    }
    bool operator==(const FileState&) const = default;

    bool exists;
    qint64 size;
    QDateTime modified;
};

// Whether the output holds the whole tone. SoX says nothing in its exit status when
// the disk fills: a WAV file then holds fewer samples than asked. An MP3 file cannot
// be told from a whole one.
bool wholeToneWritten(const QString& outputPath, double seconds) {
    if (!fileExists(outputPath))
        return false;
    if (!outputPath.endsWith(QStringLiteral(".wav"), Qt::CaseInsensitive))
        return true;
    const std::optional<qint64> frames = wavFrameCount(outputPath);
    // SoX may round the last sample either way.
    return frames && *frames + 1 >= std::llround(seconds * toneSampleRate);
}

// Runs one tone's command line. A run that fails (the disk filled, the tool could not
// load its libraries, ...) may have left a file written part way, which would pass for
// a tone: it is removed. A file the failed run did not touch stays. Returns whether the
// tone was made.
bool makeTone(const QString& command, const QString& outputPath) {
    const FileState before(outputPath);
    // runSynthCommand() refuses a command without a length, so one is there after the run.
    const bool made =
        runSynthCommand(command) == 0 &&
        wholeToneWritten(outputPath, *toneSeconds(splitCommandLine(command).arguments));
    if (!made && FileState(outputPath) != before)
        QFile::remove(outputPath);
    return made;
}

QString doneText(int failedTones, int count) {
    QString text = QStringLiteral("Done.");
    if (failedTones > 0)
        text += QStringLiteral("\r\n%1 of %2 tones could not be made.").arg(failedTones).arg(count);
    return text;
}

} // namespace

void saveTones(ToneWindow& window, ExportFormat format) {
    const BatchHandler& handler = format == ExportFormat::wav ? wavHandler : mp3Handler;
    const BatchLines& at = handler.lines;
    Guard guard(window.errorReporter(), handlerLocation(handler.name));

    if (at.folderTest) {
        bool folderFound = true;
        guard.step(at.folderTest, [&] { folderFound = folderExists(window.folderText()); });
        if (!folderFound) {
            guard.step(at.folderMissing, [&] {
                window.showNotice(
                    QStringLiteral("Folder does not exist. Please select another folder."));
            });
            return;
        }
    }
    bool busy = false;
    guard.step(at.busyTest, [&] { busy = window.isBusy(); });
    if (busy)
        return;
    guard.step(at.setBusy, [&] { window.setBusy(true); });
    guard.step(at.busyPointer, [&] { window.setPointerShape(PointerShape::busy); });
    provisionTools(guard, at.provisioning);

    QString tool;
    guard.step(at.toolPath, [&] { tool = quotedToolPath(); });
    // A count that does not convert leaves no tones to make.
    int count = 0;
    guard.step(at.count, [&] { count = toInt16(window.countText()); });
    QString outputPath;
    qint32 frequency = 0;
    QString args;
    QString command;
    int failedTones = 0;
    for (int tone = 1; tone <= count; ++tone) {
        window.showProgress(tone, count);
        if (at.letEventsRun)
            guard.step(at.letEventsRun, letPendingEventsRun);
        guard.step(at.outputPath, [&] {
            outputPath = window.folderText() + QStringLiteral("Ziravel_") + QString::number(tone) +
                         handler.extension;
        });
        guard.step(at.frequency, [&] { frequency = drawFrequency(window); });
        guard.step(at.args, [&] {
            args = toolArgs(outputPath, window.lengthText(), window.waveformShownText(), frequency);
        });
        guard.step(at.command, [&] { command = synthCommand(tool, args); });
        bool made = false;
        guard.step(at.run, [&] { made = makeTone(command, outputPath); });
        if (!made)
            ++failedTones;
    }
    window.showProgress(0, 0);
    guard.step(at.defaultPointer, [&] { window.setPointerShape(PointerShape::arrow); });
    guard.step(at.done, [&] { window.showNotice(doneText(failedTones, count)); });
    guard.step(at.clearBusy, [&] { window.setBusy(false); });
}

void previewTone(ToneWindow& window) {
    Guard guard(window.errorReporter(), handlerLocation(QStringLiteral("PushButton3_Click")));
    bool busy = false;
    guard.step(100, [&] { busy = window.isBusy(); });
    if (busy)
        return;
    guard.step(102, [&] { window.setBusy(true); });
    guard.step(104, [&] { window.setPointerShape(PointerShape::busy); });
    provisionTools(guard, 106);

    QString tool;
    guard.step(118, [&] { tool = quotedToolPath(); });
    QString previewPath;
    guard.step(120, [&] { previewPath = toolFilePath(QStringLiteral("preview.wav")); });
    qint32 frequency = 0;
    guard.step(122, [&] { frequency = drawFrequency(window); });
    QString args;
    guard.step(124, [&] {
        args = toolArgs(previewPath, window.lengthText(), window.waveformShownText(), frequency);
    });
    QString command;
    guard.step(126, [&] { command = synthCommand(tool, args); });
    guard.step(128, [&] { makeTone(command, previewPath); });
    // Requested before the file is looked for: a missing file gives the system sound.
    guard.step(130, [&] {
        if (!window.playSoundFile(previewPath))
            throw Failure(
                QStringLiteral("The tone cannot be played: no audio output can be used."));
    });
    guard.step(132, [&] { window.setPointerShape(PointerShape::arrow); });
    bool made = false;
    guard.step(134, [&] { made = ordinaryFileExists(previewPath); });
    if (!made)
        guard.step(136, [&] {
            window.showNotice(
                QStringLiteral("Failed to generate tone.\r\nPlease change your input values."));
        });
    guard.step(138, [&] { window.setBusy(false); });
}
