// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundOutput.h"

#include <QAudioFormat>
#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QTimer>
#include <memory>
#include <vector>

struct SoundSamples;

class QAudioSink;
class TimedPlayer;

// One sample in the output's format, written at `write`.
void writeOutputSample(float value, QAudioFormat::SampleFormat format, char* write);

// Samples to play, read a block at a time as playback needs them.
class SampleReader {
public:
    virtual ~SampleReader() = default;
    virtual int sampleRate() const = 0;
    virtual int channels() const = 0;
    virtual qint64 frames() const = 0;
    // Reads up to `count` frames from frame `first` on into `out` as floats, channels
    // interleaved; gives how many were read.
    virtual qint64 read(qint64 first, qint64 count, float* out) = 0;
};

// The samples of a WAV file on disk, read block by block; nothing when it is no regular
// file or no WAV file this program understands.
std::unique_ptr<SampleReader> openWavSamples(const QString& path);

// Samples in the output's format (its rate by linear interpolation, its channel count
// and sample type), converted a block at a time as the output reads them, so that a
// sound of any length takes little memory and no time before it starts.
class OutputStream : public QIODevice {
public:
    OutputStream(std::unique_ptr<SampleReader> samples, const QAudioFormat& format);
    ~OutputStream() override;

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override;

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    // Makes the input frames first..last readable from the window.
    void holdFrames(qint64 first, qint64 last);

    std::unique_ptr<SampleReader> m_samples;
    QAudioFormat m_format;
    int m_outChannels;
    double m_step; // input frames per output frame
    qint64 m_outFrames;
    qint64 m_nextOutFrame = 0;
    std::vector<float> m_window; // input frames from m_windowStart on
    qint64 m_windowStart = 0;
    qint64 m_windowFrames = 0;
};

// Samples held in memory, such as the beep's. The sound must outlive the reader.
class MemorySamples : public SampleReader {
public:
    explicit MemorySamples(const SoundSamples& sound) : m_sound(sound) {}
    int sampleRate() const override;
    int channels() const override;
    qint64 frames() const override;
    qint64 read(qint64 first, qint64 count, float* out) override;

private:
    const SoundSamples& m_sound;
};

// A short beep, played when the file to play cannot be read.
SoundSamples beepSamples();

// Plays through the default audio output, streaming the file's samples as read from the
// request on: a file rewritten under the same name plays its new content. The samples are
// written into the output as it has room (push mode): the first ones go in with the
// request, so the sound starts without waiting for the output to ask. Sounds played at a set
// time go through a TimedPlayer, whose output stays open until another kind of request or
// stopSound.
class AudioPlayer : public SoundOutput {
public:
    AudioPlayer();
    ~AudioPlayer() override;
    bool playSoundFile(const QString& path) override;
    bool playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point when) override;
    void stopSound() override;
    QString outputName() const override;

private:
    // Ends the sound played at once.
    void stop();
    // Writes as much as the output has room for.
    void feed();

    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_output = nullptr; // owned by the sink
    std::unique_ptr<OutputStream> m_stream;
    QTimer m_feeder;
    std::unique_ptr<TimedPlayer> m_timed;
};
