// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>
#include <vector>

// What the window draws of a tone file: a few of its periods, the whole file's envelope, and
// its spectrum with the strongest pitch. Read from the file itself, never from what was asked.
struct TonePicture {
    int sampleRate = 0;
    double seconds = 0;
    // Samples of the first channel from the middle of the file, -1..1: a few periods of the
    // strongest pitch (10 ms of noise or silence).
    std::vector<float> periods;
    // The loudest sample of any channel in each of `envelope.size()` equal slices of the file.
    std::vector<float> envelope;
    // The first channel's spectrum from 0 Hz in steps of binHz, in dB below its strongest bin.
    std::vector<float> spectrumDb;
    double binHz = 0;
    // The strongest pitch, between bins; none in silence.
    std::optional<double> pitchHz;

    double envelopeSliceSeconds() const {
        return envelope.empty() ? 0 : seconds / double(envelope.size());
    }
};

// The picture of a WAV file; nothing when it is no WAV file that can be read, or one of more
// channels than a tone has. What it reads is bounded whatever the file's header says: a long
// file's envelope is read from the start of each slice. Samples that are no finite number are
// drawn as silence. Safe to call on any thread.
std::optional<TonePicture> readTonePicture(const QString& path);
// The same with the sound module's C-compatible signature: the picture of the file at the UTF-8
// path into `picture`; false when none can be read.
bool readTonePictureInto(const char* utf8Path, TonePicture* picture);
