#include "synth/ToneActions.h"

#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/ShellWait.h"
#include "runner/ToolProvisioning.h"
#include "synth/NumberText.h"
#include "synth/ToneCommand.h"
#include "synth/ToneWindow.h"

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
        qint32 status = -1;
        guard.step(at.run, [&] { status = runSynthCommand(command); });
        if (status != 0 || !fileExists(outputPath))
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
    guard.step(128, [&] { runSynthCommand(command); });
    // Requested before the file is looked for: a missing file gives the system sound.
    guard.step(130, [&] { window.playSoundFile(previewPath); });
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
