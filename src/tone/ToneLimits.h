// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/Tone.h"

#include <QString>
#include <optional>

// Why a tone cannot be made whatever the tool does, or empty text: a pitched tone at 0 Hz is
// silence, and an MP3 file loses a pitch above its encoder's low-pass at every rate.
QString toneRefusal(const QString& waveformWord, double frequency, int lowestRate, bool mp3);

// The length of the tone's file in seconds once its tone length is checked, the one check of
// a length before the tool runs. Throws Failure for a tone length that is not a positive
// number of seconds (at least one sample), on which SoX would write without end, and for a
// file longer than a day or whose WAV file would pass the 4 GiB the format can hold, on
// which SoX would fill the disk.
double checkedSeconds(const Tone& tone);

// Why the tone cannot be made as asked whatever the tool does, or empty text: no waveform
// chosen, a length past checkedSeconds()'s limits, its pitch
// (toneRefusal() above, and a pitch above what the highest rate holds), a logarithmic sweep
// from or to 0 Hz, a fade longer than half the tone (it would never reach its level), or an
// MP3 file asked for a rate or a noise band its encoder cannot keep.
QString toneRefusal(const Tone& tone);
// The same for the parts a whole set shares, told by the option that asks for them: the fade
// ("fade"), the rate ("rate"), the band ("band"), and the pitch that the set's files reach at
// the most ("pitch"; a band's top: "band"), which some rate must hold, and a frequency modulation
// whose slowest rate has more side bands than a tone may be made of ("fm"). Nothing when the
// set can be made.
struct SetRefusal {
    QString option;
    QString reason;
};
std::optional<SetRefusal> setRefusal(const Tone& highest);

// The highest level, to a tenth of a dB, at which the tone in its noise at `snrDb` cannot pass
// full scale however the noise falls: the tone's peak and the noise's added, the noise's peak
// above its RMS bounded for its kind, its band and its number of samples. In the tone's level
// reference; a complex in random phases is taken at the lowest peak over RMS it could have.
double highestLevelInNoise(const Tone& tone, double snrDb);

// Why the samples cannot hold a tone at the level well, or empty text: its peak lies less than
// 6 dB above the noise of dithered 16-bit samples. 24-bit samples lie 48 dB lower, below any
// level offered; an MP3 file's encoder decides its own.
QString levelCaution(double levelDb, const ToneOptions& options, bool mp3);
