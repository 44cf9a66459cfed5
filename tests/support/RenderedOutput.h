// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundPlayer.h"

#include <QAudioFormat>
#include <QByteArray>

// All the samples in the output's format at once, as the player streams them.
inline QByteArray renderForOutput(const SoundSamples& sound, const QAudioFormat& format) {
    OutputStream stream(std::make_unique<MemorySamples>(sound), format);
    stream.open(QIODevice::ReadOnly);
    return stream.readAll();
}
