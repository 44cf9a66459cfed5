// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneOptions.h"

#include <QString>
#include <random>

class ErrorReporter;
class ToneSession;

namespace PointerShape {
inline constexpr int arrow = 0;
inline constexpr int busy = 11;
inline constexpr int hand = 99;
} // namespace PointerShape

// What the export and preview procedures need of the main window. Each control's text
// is read at the moment a step needs it, so edits made during a batch reach the tones
// still to come.
class ToneWindow {
public:
    virtual ~ToneWindow() = default;

    virtual QString lengthText() const = 0;        // Text1
    virtual QString countText() const = 0;         // Text2
    virtual QString fromText() const = 0;          // Text3
    virtual QString toText() const = 0;            // Text4
    virtual QString waveformShownText() const = 0; // Combo1, empty when no row is selected
    virtual QString folderText() const = 0;        // Text5
    virtual ToneOptions toneOptions() const = 0;   // "More options"
    // The generator the frequencies are drawn from, seeded once when the window opens:
    // reseeding from the clock would repeat a frequency for tones drawn within one tick.
    virtual std::mt19937_64& toneGenerator() = 0;
    // The tones being made and their tool runs, which Stop ends.
    virtual ToneSession& toneSession() = 0;

    virtual bool isBusy() const = 0;
    // Setting Busy starts a run that the user may stop; the run asks at every tone.
    virtual void setBusy(bool busy) = 0;
    virtual bool stopRequested() const = 0;
    virtual void setPointerShape(int shape) = 0;
    // Tone `tone` of `count` is being made; a count of 0 clears the progress line.
    virtual void showProgress(int tone, int count) = 0;
    // A line in the progress line's place, which screen readers announce; it stays until the
    // next action starts.
    virtual void showStatus(const QString& text) = 0;

    // A plain box with the application title; returns when the user has closed it.
    virtual void showNotice(const QString& text) = 0;
    virtual ErrorReporter& errorReporter() = 0;
    // Starts playing a sound file and returns at once; false when nothing can be played.
    virtual bool playSoundFile(const QString& path) = 0;
    // A batch wrote the answer key at that path: its set is shown to play and look at.
    virtual void showSet(const QString& keyPath) = 0;
    // A preview was made there: its picture is shown; `pitched` names its pitch.
    virtual void showTonePicture(const QString& path, bool pitched) = 0;
};
