// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/Mp3File.h"

#include <QFile>

namespace {

struct FrameHeader {
    int bytes = 0;           // the whole frame, header included
    int samples = 0;         // per channel
    int sideInformation = 0; // bytes after the header before the main data
};

// The frame a 4-byte header begins; nothing for anything but a layer III header.
std::optional<FrameHeader> frameHeader(const uchar* h) {
    if (h[0] != 0xFF || (h[1] & 0xE0) != 0xE0)
        return std::nullopt;
    const int version = (h[1] >> 3) & 3; // 0 MPEG 2.5, 2 MPEG 2, 3 MPEG 1
    const int layer = (h[1] >> 1) & 3;   // 1 layer III
    const int bitrateIndex = h[2] >> 4;
    const int rateIndex = (h[2] >> 2) & 3;
    if (version == 1 || layer != 1 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3)
        return std::nullopt;
    static constexpr int mpeg1Kbps[] = {0,   32,  40,  48,  56,  64,  80, 96,
                                        112, 128, 160, 192, 224, 256, 320};
    static constexpr int mpeg2Kbps[] = {0,  8,  16, 24,  32,  40,  48, 56,
                                        64, 80, 96, 112, 128, 144, 160};
    static constexpr int mpeg1Rates[] = {44100, 48000, 32000};
    const bool mpeg1 = version == 3;
    const int rate = mpeg1Rates[rateIndex] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    const int bitsPerSecond = 1000 * (mpeg1 ? mpeg1Kbps : mpeg2Kbps)[bitrateIndex];
    const int padding = (h[2] >> 1) & 1;
    const bool mono = (h[3] >> 6) == 3;
    FrameHeader frame;
    frame.samples = mpeg1 ? 1152 : 576;
    frame.bytes = frame.samples / 8 * bitsPerSecond / rate + padding;
    frame.sideInformation = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    return frame;
}

qint64 id3TagSize(QIODevice& file) {
    const QByteArray tag = file.read(10);
    if (tag.size() < 10 || !tag.startsWith("ID3"))
        return 0;
    qint64 size = 0;
    for (int i = 6; i < 10; ++i)
        size = (size << 7) | (tag[i] & 0x7F);
    const bool footer = tag[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

} // namespace

std::optional<qint64> mp3SampleCount(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return mp3SampleCount(file);
}

qint64 mp3SampleCount(QIODevice& file) {
    const qint64 size = file.size();
    const qint64 tagSize = id3TagSize(file);
    if (!file.seek(tagSize))
        return 0;
    // Read in large pieces; a frame is a few hundred bytes.
    constexpr qint64 pieceBytes = 1 << 16;
    QByteArray piece;
    qint64 pieceStart = tagSize;
    qint64 at = tagSize;
    qint64 samples = 0;
    bool first = true;
    constexpr int headerAndTagBytes = 4 + 32 + 4;
    while (at + 4 <= size) {
        if (at + headerAndTagBytes > pieceStart + piece.size() &&
            pieceStart + piece.size() < size) {
            if (!file.seek(at))
                break;
            piece = file.read(pieceBytes);
            pieceStart = at;
        }
        const auto* header = reinterpret_cast<const uchar*>(piece.constData() + (at - pieceStart));
        if (at - pieceStart + 4 > piece.size())
            break;
        const std::optional<FrameHeader> frame = frameHeader(header);
        if (!frame || at + frame->bytes > size)
            break;
        const QByteArray tagWord = piece.mid(at - pieceStart + 4 + frame->sideInformation, 4);
        if (!(first && (tagWord == "Xing" || tagWord == "Info")))
            samples += frame->samples;
        first = false;
        at += frame->bytes;
    }
    return samples;
}
