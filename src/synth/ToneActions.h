#pragma once

#include <QString>

class ToneWindow;

enum class ExportFormat { wav, mp3 };

// The end of a tone file's name, by which the tool writes the format.
inline QString fileExtension(ExportFormat format) {
    return format == ExportFormat::mp3 ? QStringLiteral(".mp3") : QStringLiteral(".wav");
}

// The export buttons: make the number of tones the window asks for into its output
// folder as Ziravel_1.wav, Ziravel_2.wav, ... (or .mp3), then say "Done.", with the
// number of tones that could not be made and the first reason when there were any.
void saveTones(ToneWindow& window, ExportFormat format);

// The preview button: make one tone into preview.wav in the tool folder and play it.
void previewTone(ToneWindow& window);
