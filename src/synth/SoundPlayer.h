#pragma once

#include <QAudioFormat>
#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <memory>

struct SoundSamples;

class QAudioSink;

// The samples in the output's format: its rate (linear interpolation), channel count and
// sample type.
QByteArray renderForOutput(const SoundSamples& sound, const QAudioFormat& format);

// A short beep, played when the file to play cannot be read.
SoundSamples beepSamples();

// Plays sound files asynchronously.
class SoundOutput {
public:
    virtual ~SoundOutput() = default;
    // Starts playing the WAV file and returns at once; a new request stops a sound still
    // playing. A missing or unreadable file gives a beep instead. Returns whether the
    // request was accepted: without an audio output nothing plays.
    virtual bool playSoundFile(const QString& path) = 0;
};

// Plays through the default audio output, fed with the file's samples as read at the
// request: a file rewritten under the same name plays its new content.
class AudioPlayer : public SoundOutput {
public:
    AudioPlayer();
    ~AudioPlayer() override;
    bool playSoundFile(const QString& path) override;

private:
    void stop();

    std::unique_ptr<QAudioSink> m_sink;
    QBuffer m_buffer;
    QByteArray m_pcm;
};
