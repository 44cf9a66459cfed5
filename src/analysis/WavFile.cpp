// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/WavFile.h"

#include <QtEndian>
#include <algorithm>
#include <bit>
#include <cmath>

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

std::optional<WavLayout> readWavLayout(const QByteArray& file) {
    if (file.size() < 12 || !file.startsWith("RIFF") || file.mid(8, 4) != "WAVE")
        return std::nullopt;
    WavLayout layout;
    quint16 format = 0;
    bool haveFormat = false;
    qsizetype at = 12;
    while (at + 8 <= file.size()) {
        const QByteArray id = file.mid(at, 4);
        const quint32 size = qFromLittleEndian<quint32>(file.constData() + at + 4);
        const qsizetype body = at + 8;
        if (id == "data") {
            layout.dataOffset = body;
            layout.dataSize = size;
            break;
        }
        const qsizetype available = std::min<qsizetype>(size, file.size() - body);
        if (id == "fmt " && available >= 16) {
            const char* fmt = file.constData() + body;
            format = qFromLittleEndian<quint16>(fmt);
            layout.channels = qFromLittleEndian<quint16>(fmt + 2);
            layout.sampleRate = static_cast<int>(qFromLittleEndian<quint32>(fmt + 4));
            layout.bitsPerSample = qFromLittleEndian<quint16>(fmt + 14);
            if (format == extensibleFormat && available >= 26)
                format = qFromLittleEndian<quint16>(fmt + 24);
            haveFormat = true;
        }
        at = body + size + (size & 1);
    }
    const int bits = layout.bitsPerSample;
    layout.isFloat = format == floatFormat && (bits == 32 || bits == 64);
    const bool isPcm = format == pcmFormat && (bits == 8 || bits == 16 || bits == 24 || bits == 32);
    if (!haveFormat || layout.dataOffset == 0 || !(layout.isFloat || isPcm) ||
        layout.channels < 1 || layout.sampleRate < 1)
        return std::nullopt;
    return layout;
}

void decodeFrames(const char* data, qint64 frames, const WavLayout& layout, float* out) {
    const int bytesPerSample = layout.bitsPerSample / 8;
    for (qint64 i = 0; i < frames * layout.channels; ++i)
        out[i] = sampleAt(data + i * bytesPerSample, layout.bitsPerSample, layout.isFloat);
}

std::optional<WavFileInfo> wavFileInfo(const QByteArray& fileStart, qint64 fileSize) {
    const std::optional<WavLayout> layout = readWavLayout(fileStart);
    if (!layout)
        return std::nullopt;
    const qint64 present = std::min(layout->dataSize, fileSize - layout->dataOffset);
    return WavFileInfo{*layout, present / layout->frameBytes()};
}

std::optional<WavFileInfo> readWavFileInfo(QIODevice& file) {
    return wavFileInfo(file.read(wavHeaderBytes), file.size());
}

std::optional<double> wavPeakDb(QIODevice& file, const WavFileInfo& info) {
    if (!file.seek(info.layout.dataOffset))
        return std::nullopt;
    const WavLayout& layout = info.layout;
    constexpr qint64 framesAtOnce = 16384;
    std::vector<float> samples(std::size_t(framesAtOnce * layout.channels));
    float peak = 0;
    for (qint64 left = info.frames; left > 0;) {
        const qint64 frames = std::min(left, framesAtOnce);
        const QByteArray bytes = file.read(frames * layout.frameBytes());
        if (bytes.size() != frames * layout.frameBytes())
            return std::nullopt;
        decodeFrames(bytes.constData(), frames, layout, samples.data());
        for (qint64 at = 0; at < frames * layout.channels; ++at)
            peak = std::max(peak, std::abs(samples[std::size_t(at)]));
        left -= frames;
    }
    return 20 * std::log10(double(peak));
}
