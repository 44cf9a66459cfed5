// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/WindowActions.h"

#include "app/window/Modals.h"
#include "app/window/ToneWindow.h"
#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "runner/ChildRun.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/RunLock.h"
#include "runner/SafeFile.h"
#include "runner/ToolProvisioning.h"
#include "set/AnswerKey.h"
#include "set/SetPlan.h"
#include "set/ToneDesign.h"
#include "tone/NumberText.h"
#include "tone/PitchLists.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <optional>

namespace {

// The line labels of a batch handler. The MP3 handler does not let events run at the
// start of each tone: that label is 0 there. Its folder test shares the line of its
// Busy test, which was its first.
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
    ExportFormat format;
    BatchLines lines;
};

const BatchHandler wavHandler{
    QStringLiteral("PushButton1_Click"),
    ExportFormat::wav,
    {100, 102, 104, 106, 108, 120, 122, 124, 126, 128, 130, 132, 134, 138, 140, 142, 144}};
const BatchHandler mp3Handler{
    QStringLiteral("PushButton2_Click"),
    ExportFormat::mp3,
    {100, 100, 102, 104, 106, 118, 120, 0, 122, 124, 126, 128, 130, 134, 136, 138, 140}};

const QString folderMissingText =
    QStringLiteral("Folder does not exist. Please select another folder.");

// What the pitch draw reads of the window, for every tone: the options, and the bounds (the
// upper one first) or the list of the list draw.
void readDrawInputs(ToneWindow& window, SetPlan& plan) {
    plan.options = window.toneOptions();
    if (plan.options.pitchDraw != ToneOptions::PitchDraw::list) {
        plan.to = toInt16(window.toText());
        plan.from = toInt16(window.fromText());
        plan.pitchList.clear();
        plan.noteNames.clear();
        plan.design.reset();
        return;
    }
    const std::optional<QList<double>> pitches = pitchesOf(plan.options.pitchList);
    if (!pitches)
        throw Failure(QStringLiteral("The pitch list holds no frequencies from 1 to 32767 Hz "
                                     "or notes of octaves -1 to 10, or more than %1 of them.")
                          .arg(longestPitchList));
    plan.pitchList = *pitches;
    plan.noteNames = noteSpellings(plan.options.pitchList);
    const QList<double> levels{plan.options.levelDb};
    const QList<ToneOptions::Channel> channels{plan.options.channel};
    if (!plan.options.balanced)
        plan.design.reset();
    else if (!plan.design || plan.design->frequencies() != plan.pitchList ||
             plan.design->levels() != levels || plan.design->channels() != channels)
        plan.design.emplace(plan.pitchList, levels, channels);
}

// What shaping the tone reads of the window: its length and waveform, and the bounds when
// the tone is a sweep between them or noise filtered to them; they are read only when used,
// as any other field.
void readShapeInputs(ToneWindow& window, SetPlan& plan) {
    plan.lengthText = window.lengthText();
    plan.waveform = waveformOfRow(window.waveformShownText());
    if (plan.shapeReadsBounds()) {
        plan.from = toInt16(window.fromText());
        plan.to = toInt16(window.toText());
    }
}

// What a preview played, for the user to check an answer by: each pitch with its nearest
// note, "Played 1392 Hz (F6 -6 cents)", or the noise's name.
QString playedText(const Tone& tone) {
    if (tone.isNoise())
        return QStringLiteral("Played ") + waveformRowText(*tone.waveform).toLower();
    QStringList pitches{pitchText(tone.frequency)};
    for (const double later : tone.laterFrequencies)
        pitches << pitchText(later);
    QString text = QStringLiteral("Played ") + pitches.join(QStringLiteral(", "));
    if (tone.endFrequency)
        text += QStringLiteral(" to ") + pitchText(*tone.endFrequency);
    return text;
}

QString doneText(int failedTones, int count, const QString& reason) {
    QString text = QStringLiteral("Done.");
    if (failedTones > 0)
        text += QStringLiteral("\r\n%1 of %2 tones could not be made.").arg(failedTones).arg(count);
    if (failedTones > 0 && !reason.isEmpty())
        text += QStringLiteral("\r\n") + reason;
    return text;
}

// What a batch's tone steps carry from one tone to the next: a step that fails leaves what
// it would have set as the last tone left it.
struct BatchTone {
    QString tool;
    ToneNumbering* numbering;
    const ToneStaging* staging;
    // Read from the controls for every tone; tone k is drawn from (set seed, k) alone.
    SetPlan plan;
    QString outputPath;
    SetPlan::Drawn drawn;
    Tone tone;
    CommandLine command;
};

// The steps of one tone, from its output path to its run. Every step runs; a tone any of
// whose steps failed is not made.
ToneOutcome makeBatchTone(Guard& guard, const BatchLines& at, ToneWindow& window,
                          BatchTone& state) {
    const bool pathBuilt =
        guard.step(at.outputPath, [&] { state.outputPath = state.numbering->nextPath(); });
    const qint64 number = state.numbering->lastNumber();
    bool ready = guard.step(at.frequency, [&] {
        readDrawInputs(window, state.plan);
        state.drawn = state.plan.drawn(number);
    });
    // The tool writes the tone where only we can reach it; it takes its name once made.
    QString madePath;
    QString refusal;
    try {
        madePath = state.staging->madePath(state.outputPath);
    } catch (const Failure& failure) {
        refusal = failure.description();
    }
    ready = guard.step(at.args, [&] {
        readShapeInputs(window, state.plan);
        state.tone = state.plan.tone(number, state.drawn);
        state.tone.outputPath = madePath;
    }) && ready;
    ready = guard.step(at.command, [&] { state.command = toneCommand(state.tool, state.tone); }) &&
            ready;
    ToneOutcome outcome{false, guard.lastFailure()};
    if (refusal.isEmpty())
        refusal = toneRefusal(state.tone);
    if (pathBuilt && ready && refusal.isEmpty()) {
        if (!guard.step(at.run, [&] {
                outcome = makeTone(window.toneSession(), state.command, state.tone,
                                   state.outputPath, state.numbering->namesReserved());
            }))
            outcome = {false, guard.lastFailure()};
    } else if (pathBuilt) {
        if (ready)
            outcome = {false, refusal};
        // An earlier batch's file of that name must not pass for this tone.
        removeOwnFile(state.outputPath);
    }
    return outcome;
}

// How a batch went: its tones made and failed, the first reason, and whether it was stopped.
struct BatchTally {
    int made = 0;
    int failed = 0;
    QString firstReason;
    bool stopped = false;
};

// The tones one after another, each told to the key as it ends, until the count or a stop.
void makeBatchTones(Guard& guard, const BatchLines& at, ToneWindow& window, BatchTone& batchTone,
                    int count, std::optional<AnswerKeyFile>& key, BatchTally& tally) {
    for (int number = 1; number <= count; ++number) {
        if (window.stopRequested()) {
            tally.stopped = true;
            return;
        }
        window.showProgress(number, count);
        if (at.letEventsRun)
            guard.step(at.letEventsRun, letPendingEventsRun);
        const ToneOutcome outcome = makeBatchTone(guard, at, window, batchTone);
        if (!outcome.made && ++tally.failed == 1)
            tally.firstReason = outcome.reason;
        if (key && !guard.step(at.run, [&] {
                AnswerRow row = answeredTone(batchTone.tone, outcome.made);
                if (outcome.made)
                    measureMadeFile(row, batchTone.outputPath, false);
                key->add(row);
            }))
            key.reset();
        tally.made += outcome.made ? 1 : 0;
    }
}

// The set's lock for the window's batch of `count` tones: one run at a time owns the set's files,
// unless each never overwrites. A second one makes nothing, each of its tones failed for the
// reason: none then.
std::unique_ptr<RunLock> windowsSet(const QString& folder, const QString& keyName,
                                    const QString& extension, const ToneOptions& options, int count,
                                    BatchTally& tally) {
    try {
        return lockedSet(folder, keyName, options.prefix, extension, options.neverOverwrite,
                         QStringLiteral("Ziravel"));
    } catch (const Failure& failure) {
        tally.failed = count;
        tally.firstReason = failure.description();
    }
    return nullptr;
}

} // namespace

void saveTones(ToneWindow& window, ExportFormat format) {
    const BatchHandler& handler = format == ExportFormat::wav ? wavHandler : mp3Handler;
    const BatchLines& at = handler.lines;
    Guard guard(window.errorReporter(), handlerLocation(handler.name));

    // The batch keeps the folder it tested, whatever is typed while it runs.
    QString folder;
    bool folderFound = true;
    guard.step(at.folderTest, [&] {
        folder = window.folderText();
        folderFound = folderExists(expandedFolder(folder));
    });
    if (!folderFound) {
        guard.step(at.folderMissing, [&] { window.showNotice(folderMissingText); });
        return;
    }
    bool busy = false;
    guard.step(at.busyTest, [&] { busy = window.isBusy(); });
    if (busy)
        return;
    guard.step(at.setBusy, [&] { window.setBusy(true); });
    guard.step(at.busyPointer, [&] { window.setPointerShape(PointerShape::busy); });
    if (!provisionTools(guard, at.provisioning, letPendingEventsRun)) {
        // Nothing runs from a tool folder that is not ours.
        guard.step(at.defaultPointer, [&] { window.setPointerShape(PointerShape::arrow); });
        guard.step(at.clearBusy, [&] { window.setBusy(false); });
        return;
    }

    QString tool;
    guard.step(at.toolPath, [&] { tool = toolFilePath(toolFileName); });
    // A count that does not convert leaves no tones to make.
    int count = 0;
    guard.step(at.count, [&] { count = toInt16(window.countText()); });
    // Names and the answer key keep to the options the batch started with.
    ToneOptions batchOptions;
    guard.step(at.count, [&] { batchOptions = window.toneOptions(); });
    BatchTally tally;
    const QString extension = fileExtension(handler.format);
    const QString keyName = answerKeyName(batchOptions.prefix);
    std::unique_ptr<RunLock> lock =
        count > 0 ? windowsSet(folder, keyName, extension, batchOptions, count, tally) : nullptr;
    std::optional<ToneNumbering> numbering;
    guard.step(at.count, [&] {
        numbering.emplace(folder, batchOptions.prefix, extension, batchOptions.neverOverwrite,
                          count);
    });
    if (!numbering)
        count = 0;
    // Gone before Busy clears, which may end the program when the window is being closed.
    std::optional<ToneStaging> staging(std::in_place, folder);
    BatchTone batchTone{tool, numbering ? &*numbering : nullptr, &*staging, {}, {}, {}, {}, {}};
    // One draw of the window's generator seeds the whole set.
    batchTone.plan.seed = window.toneGenerator()();
    batchTone.plan.options = batchOptions;
    const QString keyPath = outputFilePath(folder, keyName);
    // The key tells which file holds which tone, row by row as the tones end; it never stops
    // the tones. One that cannot be made must not stay behind to tell of the files written over.
    std::optional<AnswerKeyFile> key;
    if (lock &&
        !guard.step(at.run,
                    [&] { key.emplace(keyPath, batchOptions.neverOverwrite, extension); }) &&
        !batchOptions.neverOverwrite)
        removeOwnFile(keyPath);
    if (lock)
        makeBatchTones(guard, at, window, batchTone, count, key, tally);
    // A stop during the last tone ends it as one between tones does.
    const bool stopped = tally.stopped || window.stopRequested();
    const bool keyWritten = key && guard.step(at.run, [&] { key->finish(); });
    staging.reset();
    lock.reset();
    window.showProgress(0, 0);
    if (keyWritten) {
        window.showStatus(QStringLiteral("Key: ") + QDir::toNativeSeparators(keyPath));
        window.showSet(keyPath);
    }
    guard.step(at.defaultPointer, [&] { window.setPointerShape(PointerShape::arrow); });
    guard.step(at.done, [&] {
        window.showNotice(
            stopped
                ? QStringLiteral("Stopped.\r\n%1 of %2 tones were made.").arg(tally.made).arg(count)
                : doneText(tally.failed, count, tally.firstReason));
    });
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
    if (!provisionTools(guard, 106, letPendingEventsRun)) {
        // Nothing runs from a tool folder that is not ours, and nothing in it is touched.
        guard.step(132, [&] { window.setPointerShape(PointerShape::arrow); });
        guard.step(138, [&] { window.setBusy(false); });
        return;
    }

    QString tool;
    guard.step(118, [&] { tool = toolFilePath(toolFileName); });
    QString previewPath;
    std::optional<ToneStaging> staging;
    guard.step(120, [&] {
        previewPath = toolFilePath(QStringLiteral("preview.wav"));
        staging.emplace(QFileInfo(previewPath).path());
    });
    // A set of one tone, seeded from the window's generator.
    SetPlan plan;
    plan.seed = window.toneGenerator()();
    SetPlan::Drawn drawn;
    bool ready = guard.step(122, [&] {
        readDrawInputs(window, plan);
        drawn = plan.drawn(1);
    });
    Tone tone;
    ready = guard.step(124, [&] {
        readShapeInputs(window, plan);
        tone = plan.tone(1, drawn);
        tone.outputPath = staging->madePath(previewPath);
        // Its own pitch decides its rate.
        tone.setHighestPitch = 0;
    }) && ready;
    CommandLine command;
    ready = guard.step(126, [&] { command = toneCommand(tool, tone); }) && ready;
    guard.step(128, [&] {
        // The last preview must never play for one that could not be made.
        removeOwnFile(previewPath);
        if (ready && toneRefusal(tone).isEmpty())
            makeTone(window.toneSession(), command, tone, previewPath);
    });
    // A preview the user stopped is neither played nor missed.
    const bool stopped = window.stopRequested();
    // Requested before the file is looked for: a missing file gives the system sound.
    bool played = true;
    if (!stopped)
        guard.step(130, [&] { played = window.playSoundFile(previewPath); });
    guard.step(132, [&] { window.setPointerShape(PointerShape::arrow); });
    bool made = stopped;
    if (!stopped)
        guard.step(134, [&] { made = ordinaryFileExists(previewPath); });
    // A machine with no audio output is no fault of the tone's.
    if (made && !played)
        window.showStatus(
            QStringLiteral("No audio output: the tone was made but cannot be played."));
    else if (made && !stopped)
        window.showStatus(playedText(tone));
    if (made && !stopped)
        window.showTonePicture(previewPath, !tone.isNoise());
    if (!made)
        guard.step(136, [&] {
            window.showNotice(
                QStringLiteral("Failed to generate tone.\r\nPlease change your input values."));
        });
    // Gone before Busy clears, which may end the program when the window is being closed.
    staging.reset();
    guard.step(138, [&] { window.setBusy(false); });
}

QString listeningTestTool(ToneWindow& window) {
    Guard guard(window.errorReporter(), handlerLocation(QStringLiteral("ListeningTest_Click")));
    if (!provisionTools(guard, 100, letPendingEventsRun))
        return {};
    QString tool;
    guard.step(112, [&] { tool = toolFilePath(toolFileName); });
    return tool;
}
