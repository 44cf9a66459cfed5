// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/WavFile.h"

#include <QByteArray>
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
