// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneCommand.h"

class ToneWindow;

// The export buttons: make the number of tones the window asks for into its output
// folder as Ziravel_1.wav, Ziravel_2.wav, ... (or .mp3), then say "Done.", with the
// number of tones that could not be made and the first reason when there were any.
void saveTones(ToneWindow& window, ExportFormat format);

// The preview button: make one tone into preview.wav in the tool folder and play it.
void previewTone(ToneWindow& window);

// The tool, provisioned as the actions provision it, for a listening test; empty text when it
// cannot run (already told).
QString listeningTestTool(ToneWindow& window);
