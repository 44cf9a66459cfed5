// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>

// Plays sound files asynchronously.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts playing the WAV file and returns at once; a new request stops a sound still
    // playing. A missing or unreadable file gives a beep instead. Returns whether the
    // request was accepted: without an audio output nothing plays.
    virtual bool playSoundFile(const QString& path) = 0;
    // As playSoundFile, the sound starting at `when` on the steady clock, or at once when that
    // has passed: a listening test's trials, which must follow the answer by the same time
    // each. Returns at once.
    virtual bool playSoundFileAt(const QString& path,
                                 std::chrono::steady_clock::time_point when) = 0;
    // Ends a sound still playing; nothing when none is.
    virtual void stopSound() = 0;
    // The name of the device sounds go to, as the system gives it; empty when none is known.
    virtual QString outputName() const { return {}; }
};

// This platform's sound output, owned by the caller: Qt Multimedia, or the system's call on
// Windows.
SoundOutput* newPlatformSoundOutput();
