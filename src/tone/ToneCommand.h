// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/CommandLine.h"
#include "tone/Tone.h"

#include <QString>
#include <QStringList>
#include <optional>

// The SoX arguments of the tone: its sample rate, the null input, the output path and the
// synth effect with length, type and frequency, then what the options add
// (optionArguments(); at their defaults, nothing). Each value is exactly one argument,
// whatever the texts hold: the length is the number the field holds, written as a plain
// decimal with a point (a text that is no number stays one argument, which the run refuses),
// and a path that begins with "-" is given as "./-...".
QStringList toolArguments(const Tone& tone);

// The tool and the tone's arguments: what runs to make it.
CommandLine toneCommand(const QString& toolPath, const Tone& tone);

// The tone length of a synth command's arguments, in seconds: the argument after "synth" (and
// its "-n") when it is a plain decimal number of at least one sample. SoX reads a sign or a
// time form as something else, and writes without end for a length of no sample at all.
std::optional<double> toneSeconds(const QStringList& arguments);

// The seconds of a tone whose length field holds the text, read as the run reads the
// argument the text becomes: nothing for a length the run refuses.
std::optional<double> toneSecondsOf(const QString& lengthText);
