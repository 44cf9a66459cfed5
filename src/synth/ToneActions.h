// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class ToneWindow;

// The window writes WAV and MP3; FLAC is for the command line.
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

// The export buttons: make the number of tones the window asks for into its output
// folder as Ziravel_1.wav, Ziravel_2.wav, ... (or .mp3), then say "Done.", with the
// number of tones that could not be made and the first reason when there were any.
void saveTones(ToneWindow& window, ExportFormat format);

// The preview button: make one tone into preview.wav in the tool folder and play it.
void previewTone(ToneWindow& window);
