#include "synth/SoundPlayer.h"

#include "synth/WavFile.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <numbers>

QByteArray renderForOutput(const SoundSamples& sound, const QAudioFormat& format) {
    const int outChannels = std::max(1, format.channelCount());
    const int outRate = std::max(1, format.sampleRate());
    if (sound.channels < 1 || sound.sampleRate < 1 || sound.samples.empty())
        return {};
    const qsizetype inFrames = static_cast<qsizetype>(sound.samples.size()) / sound.channels;
    const qsizetype outFrames = inFrames * outRate / sound.sampleRate;
    const int bytesPerSample = format.bytesPerSample();
    QByteArray out(outFrames * outChannels * bytesPerSample, Qt::Uninitialized);
    char* write = out.data();
    const double step = static_cast<double>(sound.sampleRate) / outRate;
    for (qsizetype frame = 0; frame < outFrames; ++frame) {
        const double position = static_cast<double>(frame) * step;
        const auto first = static_cast<qsizetype>(position);
        const qsizetype second = std::min(first + 1, inFrames - 1);
        const auto weight = static_cast<float>(position - static_cast<double>(first));
        for (int channel = 0; channel < outChannels; ++channel) {
            const int source = channel % sound.channels;
            const float a = sound.samples[static_cast<size_t>(first * sound.channels + source)];
            const float b = sound.samples[static_cast<size_t>(second * sound.channels + source)];
            const float value = std::clamp(a + (b - a) * weight, -1.0f, 1.0f);
            switch (format.sampleFormat()) {
            case QAudioFormat::UInt8:
                *reinterpret_cast<quint8*>(write) =
                    static_cast<quint8>(std::lround(value * 127.0f + 128.0f));
                break;
            case QAudioFormat::Int16:
                qToLittleEndian(static_cast<qint16>(std::lround(value * 32767.0f)), write);
                break;
            case QAudioFormat::Int32:
                qToLittleEndian(
                    static_cast<qint32>(std::lround(static_cast<double>(value) * 2147483647.0)),
                    write);
                break;
            default:
                std::memcpy(write, &value, sizeof value);
                break;
            }
            write += bytesPerSample;
        }
    }
    return out;
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

AudioPlayer::AudioPlayer() = default;

AudioPlayer::~AudioPlayer() {
    stop();
}

void AudioPlayer::stop() {
    if (m_sink) {
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.close();
}

bool AudioPlayer::playSoundFile(const QString& path) {
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return false;
    QFile file(path);
    std::optional<SoundSamples> sound;
    if (file.open(QIODevice::ReadOnly))
        sound = decodeWav(file.readAll());
    const QAudioFormat format = device.preferredFormat();
    m_pcm = renderForOutput(sound ? *sound : beepSamples(), format);
    m_buffer.setData(m_pcm);
    m_buffer.open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    m_sink->start(&m_buffer);
    return m_sink->error() == QAudio::NoError;
}
