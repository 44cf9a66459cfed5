// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Tones are made at this sample rate, unless their pitch needs a higher one.
inline constexpr int toneSampleRate = 8000;

// The formats of tone files: the window writes WAV and MP3; FLAC is for the command line.
enum class ExportFormat { wav, mp3, flac };

// The end of a tone file's name, by which the tool writes the format.
inline QString fileExtension(ExportFormat format) {
    switch (format) {
    case ExportFormat::mp3:
        return QStringLiteral(".mp3");
    case ExportFormat::flac:
        return QStringLiteral(".flac");
    case ExportFormat::wav:
        break;
    }
    return QStringLiteral(".wav");
}

// Whether the path names an MP3 or a FLAC file, which the tool writes for that extension.
bool isMp3File(const QString& path);
bool isFlacFile(const QString& path);

// The sample rate a tone is made at: the lowest rate asked (8000 Hz unless an option says
// more) while its frequency lies below half of that; otherwise the lowest of 16000, 22050,
// 44100, 48000 and 96000 Hz that is more than twice the frequency, so that the file holds
// the pitch asked and not its alias. An MP3 file takes the lowest rate whose encoder
// low-pass lies above the pitch, with a margin. Noise has no pitch and stays at the rate
// asked.
int sampleRateFor(const QString& waveformWord, double frequency, int lowestRate = toneSampleRate,
                  bool mp3 = false);

// The highest pitch an MP3 file keeps whole at a rate, and whether a rate holds a pitch.
double mp3HighestPitch(int rate);
bool pitchHeld(int rate, double frequency, bool mp3);
