// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SoundPlayer.h"

#include "sound/TimedPlayback.h"

#include "analysis/WavFile.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

// Input frames read in one go.
constexpr qint64 blockFrames = 4096;

class WavFileSamples : public SampleReader {
public:
    // Opens the file when it is a regular file: a pipe or a device is no sound to play.
    bool open(const QString& path) {
        try {
            openRegularFile(m_file, path);
        } catch (const Failure&) {
            return false;
        }
        const std::optional<WavFileInfo> info = readWavFileInfo(m_file);
        if (!info)
            return false;
        m_layout = info->layout;
        m_frames = info->frames;
        return true;
    }
    int sampleRate() const override { return m_layout.sampleRate; }
    int channels() const override { return m_layout.channels; }
    qint64 frames() const override { return m_frames; }
    qint64 read(qint64 first, qint64 count, float* out) override {
        const qint64 frameBytes = m_layout.frameBytes();
        if (!m_file.seek(m_layout.dataOffset + first * frameBytes))
            return 0;
        const QByteArray bytes = m_file.read(std::min(count, m_frames - first) * frameBytes);
        const qint64 frames = bytes.size() / frameBytes;
        decodeFrames(bytes.constData(), frames, m_layout, out);
        return frames;
    }

private:
    QFile m_file;
    WavLayout m_layout;
    qint64 m_frames = 0;
};

// What a request plays: the file's samples, or the beep when it has none.
std::unique_ptr<SampleReader> samplesToPlay(const QString& path) {
    if (std::unique_ptr<SampleReader> samples = openWavSamples(path))
        return samples;
    static const SoundSamples beep = beepSamples();
    return std::make_unique<MemorySamples>(beep);
}

} // namespace

void writeOutputSample(float value, QAudioFormat::SampleFormat format, char* write) {
    switch (format) {
    case QAudioFormat::UInt8:
        *reinterpret_cast<quint8*>(write) =
            static_cast<quint8>(std::lround(value * 127.0f + 128.0f));
        break;
    case QAudioFormat::Int16:
        qToLittleEndian(static_cast<qint16>(std::lround(value * 32767.0f)), write);
        break;
    case QAudioFormat::Int32:
        qToLittleEndian(static_cast<qint32>(std::lround(static_cast<double>(value) * 2147483647.0)),
                        write);
        break;
    default:
        std::memcpy(write, &value, sizeof value);
        break;
    }
}

std::unique_ptr<SampleReader> openWavSamples(const QString& path) {
    auto samples = std::make_unique<WavFileSamples>();
    if (!samples->open(path))
        return nullptr;
    return samples;
}

OutputStream::OutputStream(std::unique_ptr<SampleReader> samples, const QAudioFormat& format)
    : m_samples(std::move(samples)), m_format(format),
      m_outChannels(std::max(1, format.channelCount())),
      m_step(double(m_samples->sampleRate()) / std::max(1, format.sampleRate())),
      m_outFrames(m_samples->channels() < 1 || m_samples->sampleRate() < 1
                      ? 0
                      : m_samples->frames() * std::max(1, format.sampleRate()) /
                            m_samples->sampleRate()) {}

OutputStream::~OutputStream() = default;

qint64 OutputStream::bytesAvailable() const {
    return (m_outFrames - m_nextOutFrame) * m_outChannels * m_format.bytesPerSample() +
           QIODevice::bytesAvailable();
}

void OutputStream::holdFrames(qint64 first, qint64 last) {
    if (first >= m_windowStart && last < m_windowStart + m_windowFrames)
        return;
    const qint64 count = std::max(blockFrames, last - first + 1);
    m_window.resize(size_t(count * m_samples->channels()));
    m_windowStart = first;
    m_windowFrames = m_samples->read(first, count, m_window.data());
}

qint64 OutputStream::readData(char* data, qint64 maxSize) {
    const int bytesPerSample = m_format.bytesPerSample();
    const qint64 outFrameBytes = qint64(m_outChannels) * bytesPerSample;
    const qint64 frames = std::min(maxSize / outFrameBytes, m_outFrames - m_nextOutFrame);
    const int inChannels = m_samples->channels();
    const qint64 lastInFrame = m_samples->frames() - 1;
    char* write = data;
    for (qint64 i = 0; i < frames; ++i, ++m_nextOutFrame) {
        const double position = double(m_nextOutFrame) * m_step;
        const auto first = static_cast<qint64>(position);
        const qint64 second = std::min(first + 1, lastInFrame);
        holdFrames(first, second);
        if (second >= m_windowStart + m_windowFrames)
            return write - data; // the file was cut short under us
        const auto weight = static_cast<float>(position - double(first));
        const float* a = m_window.data() + (first - m_windowStart) * inChannels;
        const float* b = m_window.data() + (second - m_windowStart) * inChannels;
        for (int channel = 0; channel < m_outChannels; ++channel) {
            const int source = channel % inChannels;
            const float value =
                std::clamp(a[source] + (b[source] - a[source]) * weight, -1.0f, 1.0f);
            writeOutputSample(value, m_format.sampleFormat(), write);
            write += bytesPerSample;
        }
    }
    return write - data;
}

int MemorySamples::sampleRate() const {
    return m_sound.sampleRate;
}

int MemorySamples::channels() const {
    return m_sound.channels;
}

qint64 MemorySamples::frames() const {
    return m_sound.channels < 1 ? 0 : qint64(m_sound.samples.size()) / m_sound.channels;
}

qint64 MemorySamples::read(qint64 first, qint64 count, float* out) {
    const qint64 frames = std::clamp<qint64>(this->frames() - first, 0, count);
    std::copy_n(m_sound.samples.begin() + first * m_sound.channels, frames * m_sound.channels, out);
    return frames;
}

SoundSamples beepSamples() {
    constexpr int rate = 8000;
    constexpr int frames = rate / 6;
    SoundSamples beep{rate, 1, {}};
    beep.samples.reserve(frames);
    for (int i = 0; i < frames; ++i) {
        const double fade = std::min(1.0, (frames - i) / 400.0);
        beep.samples.push_back(
            static_cast<float>(0.4 * fade * std::sin(2 * std::numbers::pi * 880.0 * i / rate)));
    }
    return beep;
}

AudioPlayer::AudioPlayer() : m_timed(std::make_unique<TimedPlayer>()) {
    // Well within the output's buffer, so that it never runs dry.
    m_feeder.setInterval(10);
    QObject::connect(&m_feeder, &QTimer::timeout, [this] { feed(); });
}

AudioPlayer::~AudioPlayer() {
    stopSound();
}

void AudioPlayer::stopSound() {
    m_timed->stop();
    stop();
}

void AudioPlayer::stop() {
    m_feeder.stop();
    if (m_sink) {
        m_sink->stop();
        m_sink.reset();
    }
    m_output = nullptr;
    m_stream.reset();
}

void AudioPlayer::feed() {
    if (!m_output || !m_stream)
        return;
    // At most a few blocks in one go: the window's events wait meanwhile.
    constexpr qint64 largestWrite = 1 << 16;
    for (qint64 room = m_sink->bytesFree(); room > 0 && !m_stream->atEnd();) {
        const QByteArray bytes = m_stream->read(std::min(room, largestWrite));
        if (bytes.isEmpty() || m_output->write(bytes) <= 0)
            break;
        room -= bytes.size();
    }
    if (m_stream->atEnd())
        m_feeder.stop();
}

QString AudioPlayer::outputName() const {
    return QMediaDevices::defaultAudioOutput().description();
}

bool AudioPlayer::playSoundFile(const QString& path) {
    stopSound();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    const QAudioFormat format = device.preferredFormat();
    m_stream = std::make_unique<OutputStream>(samplesToPlay(path), format);
    m_stream->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_output = m_sink->start();
    if (m_sink->error() != QAudio::NoError || !m_output)
        return false;
    feed();
    m_feeder.start();
    return true;
}

bool AudioPlayer::playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point when) {
    stop();
    return m_timed->play(samplesToPlay(path), when);
}

SoundOutput* newPlatformSoundOutput() {
    return new AudioPlayer;
}
