// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneFormats.h"

#include "tone/ToneOptions.h"
#include "tone/Waveform.h"

#include <cmath>

bool isMp3File(const QString& path) {
    return path.endsWith(QStringLiteral(".mp3"), Qt::CaseInsensitive);
}

bool isFlacFile(const QString& path) {
    return path.endsWith(QStringLiteral(".flac"), Qt::CaseInsensitive);
}

// The highest pitch an MP3 file keeps whole at each rate: the encoder's low-pass removes
// what lies above, and a tone there comes out silent. Measured with the tool's encoder, a
// sine of one channel (two keep more), less a margin of about 1 %. The tool writes an MP3
// file asked for more than 48000 Hz at 48000 Hz.
double mp3HighestPitch(int rate) {
    if (rate >= 44100)
        return 16300;
    if (rate >= 22050)
        return 8150;
    if (rate >= 16000)
        return 5650;
    return 2950;
}

bool pitchHeld(int rate, double frequency, bool mp3) {
    return mp3 ? std::abs(frequency) < mp3HighestPitch(rate) : 2 * std::abs(frequency) < rate;
}

int sampleRateFor(const QString& waveformWord, double frequency, int lowestRate, bool mp3) {
    if (isNoiseWord(waveformWord) || pitchHeld(lowestRate, frequency, mp3))
        return lowestRate;
    for (const int rate : offeredSampleRates)
        if (rate >= lowestRate && pitchHeld(rate, frequency, mp3))
            return rate;
    return offeredSampleRates.last();
}
