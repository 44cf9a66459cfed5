// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Loads the SoX library's effects and format handlers. Called once, before any tone is made
// and before any worker is forked, so that the workers share what was loaded.
void initLibsox();

// How a tone made in this process ended: the status and the error output the sox program
// would have given for the same arguments.
struct LibsoxRun {
    int status = 0;
    std::string errorOutput;
};

// Makes one tone in this process from the tool's arguments (null input, output options and
// path, effects), building the chain the sox program builds for them, so that the file is
// byte for byte the program's. `seed` starts the library's random generator, which noise
// and dither draw from: 0 gives what the program gives under -R. The library keeps one such
// generator for the whole process: tones are made one at a time in a process.
LibsoxRun makeToneWithLibsox(const std::vector<std::string>& arguments, std::int32_t seed);

// The levels of a sound file as the library decodes it, in dBFS: the RMS of its loudest
// channel (the sounding one of a one-ear file) and the peak of all; -inf for silence. Nothing
// when it cannot be read or holds no sample.
struct SoundLevels {
    double rmsDb = 0;
    double peakDb = 0;
};
std::optional<SoundLevels> measuredLevels(const std::string& path);

// The version of the SoX library the engine is built with, as it says it: "14.4.2".
std::string libsoxVersion();
