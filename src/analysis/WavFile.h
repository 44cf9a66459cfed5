// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include <optional>
#include <vector>

// Sound samples as floats in -1..1, frames of interleaved channels.
struct SoundSamples {
    int sampleRate = 0;
    int channels = 0;
    std::vector<float> samples;
};

// Where a WAV file keeps its samples and how they are stored. Only PCM of 8, 16, 24 or
// 32 bits and floats of 32 or 64 bits, plain or extensible, are understood.
struct WavLayout {
    int sampleRate = 0;
    int channels = 0;
    int bitsPerSample = 0;
    bool isFloat = false;
    qsizetype dataOffset = 0;
    qint64 dataSize = 0; // as the header gives it

    int frameBytes() const { return channels * bitsPerSample / 8; }
};

// Reads the layout from the start of a WAV file (the header and any chunks before the
// samples); nothing when it is no WAV file this program understands.
std::optional<WavLayout> readWavLayout(const QByteArray& fileStart);

// Converts `frames` frames stored as the layout says into floats in -1..1.
void decodeFrames(const char* data, qint64 frames, const WavLayout& layout, float* out);

// The layout of an open WAV file and the number of whole sample frames it holds; nothing
// when it is no WAV file this program understands. A file cut short holds fewer frames
// than its header announces.
struct WavFileInfo {
    WavLayout layout;
    qint64 frames = 0;
};
std::optional<WavFileInfo> readWavFileInfo(QIODevice& file);
// The same from the start of a file (its first 4096 bytes hold the header) and its size.
std::optional<WavFileInfo> wavFileInfo(const QByteArray& fileStart, qint64 fileSize);

// The peak in dBFS (-inf for silence) of the samples of an open WAV file whose layout was read
// (readWavFileInfo()), in one pass; nothing when they cannot be read.
std::optional<double> wavPeakDb(QIODevice& file, const WavFileInfo& info);

// The file start that wavFileInfo() needs: the chunks before the samples are small; SoX
// writes about 80 bytes of them.
inline constexpr qint64 wavHeaderBytes = 4096;
