#include "synth/SoundPlayer.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QFile>
#include <QMediaDevices>
#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <numbers>

namespace {

constexpr quint16 pcmFormat = 1;
constexpr quint16 floatFormat = 3;
constexpr quint16 extensibleFormat = 0xFFFE;

float sampleAt(const char* data, int bits, bool isFloat) {
    if (isFloat && bits == 64)
        return static_cast<float>(std::bit_cast<double>(qFromLittleEndian<quint64>(data)));
    if (isFloat)
        return std::bit_cast<float>(qFromLittleEndian<quint32>(data));
    switch (bits) {
    case 8:
        return (static_cast<float>(static_cast<quint8>(*data)) - 128.0f) / 128.0f;
    case 16:
        return static_cast<float>(qFromLittleEndian<qint16>(data)) / 32768.0f;
    case 24: {
        const auto* bytes = reinterpret_cast<const quint8*>(data);
        const qint32 value =
            static_cast<qint32>((quint32(bytes[2]) << 24) | (quint32(bytes[1]) << 16) |
                                (quint32(bytes[0]) << 8)) >>
            8;
        return static_cast<float>(value) / 8388608.0f;
    }
    default:
        return static_cast<float>(static_cast<double>(qFromLittleEndian<qint32>(data)) /
                                  2147483648.0);
    }
}

} // namespace

std::optional<SoundSamples> decodeWav(const QByteArray& file) {
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return std::nullopt;
    quint16 format = 0;
    int channels = 0;
    int rate = 0;
    int bits = 0;
    QByteArray data;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        const qsizetype body = at + 8;
        const qsizetype available = std::min<qsizetype>(size, file.size() - body);
        if (id == "fmt " && available >= 16) {
            const char* fmt = file.constData() + body;
            format = qFromLittleEndian<quint16>(fmt);
            channels = qFromLittleEndian<quint16>(fmt + 2);
            rate = static_cast<int>(qFromLittleEndian<quint32>(fmt + 4));
            bits = qFromLittleEndian<quint16>(fmt + 14);
            if (format == extensibleFormat && available >= 26)
                format = qFromLittleEndian<quint16>(fmt + 24);
            haveFormat = true;
        } else if (id == "data") {
            data = file.mid(body, available);
        }
        at = body + size + (size & 1);
    }
    const bool isFloat = format == floatFormat && (bits == 32 || bits == 64);
    const bool isPcm = format == pcmFormat && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!haveFormat || !(isFloat || isPcm) || channels < 1 || rate < 1)
        return std::nullopt;

    SoundSamples sound{rate, channels, {}};
    const int bytesPerSample = bits / 8;
    const qsizetype frames = data.size() / (bytesPerSample * channels);
    sound.samples.reserve(static_cast<size_t>(frames * channels));
    for (qsizetype i = 0; i < frames * channels; ++i)
        sound.samples.push_back(sampleAt(data.constData() + i * bytesPerSample, bits, isFloat));
    return sound;
}

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
