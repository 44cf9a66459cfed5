// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/WavFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <algorithm>
#include <optional>

// The samples of a whole WAV file, read at once.
inline std::optional<SoundSamples> decodeWav(const QByteArray& file) {
    const std::optional<WavLayout> layout = readWavLayout(file);
    if (!layout)
        return std::nullopt;
    const qint64 present = std::min<qint64>(layout->dataSize, file.size() - layout->dataOffset);
    const qint64 frames = present / layout->frameBytes();
    SoundSamples sound{layout->sampleRate, layout->channels, {}};
    sound.samples.resize(static_cast<size_t>(frames * layout->channels));
    decodeFrames(file.constData() + layout->dataOffset, frames, *layout, sound.samples.data());
    return sound;
}

// Writes a WAV file whose header says what the test wants: a PCM or floating-point format of
// `channels` at 8000 Hz, `dataBytes` of data of which `samples` come first; the rest is a hole in
// a sparse file, which takes no room on disk. False when it cannot be written.
inline bool writeWavFile(const QString& path, int channels, int bits, bool floating,
                         qint64 dataBytes, const QByteArray& samples = {}) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const auto word = [&](qint64 value, int bytes) {
        for (int at = 0; at < bytes; ++at)
            file.putChar(char((value >> (8 * at)) & 0xFF));
    };
    const int frameBytes = channels * bits / 8;
    file.write("RIFF");
    word(std::min<qint64>(36 + dataBytes, 0xFFFFFFFF), 4);
    file.write("WAVEfmt ");
    word(16, 4);
    word(floating ? 3 : 1, 2);
    word(channels, 2);
    word(8000, 4);
    word(8000LL * frameBytes, 4);
    word(frameBytes, 2);
    word(bits, 2);
    file.write("data");
    word(std::min<qint64>(dataBytes, 0xFFFFFFFF), 4);
    file.write(samples);
    return file.resize(44 + dataBytes);
}
