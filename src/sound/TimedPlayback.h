// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundPlayer.h"

#include <QAudioFormat>
#include <QIODevice>
#include <QThread>
#include <chrono>
#include <deque>
#include <memory>
#include <optional>

// Which frame of an output stream that never stops sounds when. The output tells only how
// much it has taken from us, and tells it late and in steps; the earliest time seen for a
// frame over the first seconds (or, after the output stopped a while, over the first seconds
// after that) stands for when every frame sounds from then on: the output's own delay from
// taken to heard is the same for each, and the time a trial waits after an answer with it.
class OutputClock {
public:
    using Time = std::chrono::steady_clock::time_point;
    explicit OutputClock(int sampleRate) : m_rate(sampleRate) {}
    // By `now` the output has taken `frames` frames.
    void observe(Time now, qint64 frames);
    // The frame that sounds at `when`; nothing before any was taken.
    std::optional<qint64> frameAt(Time when) const;

private:
    struct Sample {
        Time at;
        std::chrono::nanoseconds start; // when frame 0 was taken, as seen then
    };

    int m_rate;
    std::deque<Sample> m_recent; // the last second's
    std::optional<std::chrono::nanoseconds> m_start;
    Time m_startFrom;
};

// Endless samples for an output: silence, and a sound in it from a frame set in advance.
class PlacedSoundStream : public QIODevice {
public:
    explicit PlacedSoundStream(const QAudioFormat& format);

    // From frame `first` on, the sound (already in the output's format) instead of silence;
    // from the next frame to be read when `first` has passed. It replaces a sound not yet ended.
    void place(std::unique_ptr<OutputStream> sound, qint64 first);
    // Frames read so far.
    qint64 framesRead() const { return m_framesRead; }

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    qint64 m_frameBytes;
    QByteArray m_silentFrame;
    qint64 m_framesRead = 0;
    std::unique_ptr<OutputStream> m_sound;
    qint64 m_soundFirst = 0;
};

class TimedFeeder;

// Plays sounds at set times through one output stream kept open, silent between them, and
// fed from a thread of its own so that the window's work never leaves it without samples: a
// sound placed in it starts at its frame, where a stream opened for each sound starts when the
// system has opened it.
class TimedPlayer {
public:
    TimedPlayer();
    ~TimedPlayer();
    // Plays the samples from `when` on, opening the output first when it is not open (that
    // sound then starts as soon as it can). False without an audio output.
    bool play(std::unique_ptr<SampleReader> samples, OutputClock::Time when);
    // Ends the sound and closes the output.
    void stop();

private:
    QThread m_thread;
    TimedFeeder* m_feeder = nullptr; // lives in m_thread while the output is open
};
