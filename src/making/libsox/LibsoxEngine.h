// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"

#include <memory>
#include <vector>

// Makes each tone in-process with the SoX library, byte for byte the file the tool makes for
// the same arguments (toolArguments()), with the tone's seed behind its noise and dither.
// The library keeps its random generator, its messages and its handlers' state for the whole
// process, so tones are made in worker processes, forked once the library is loaded, each
// making and judging one tone at a time. Each worker is given a few tones ahead, so that it never
// waits for the batch between two tones.
class LibsoxEngine : public ToneEngine {
public:
    // Up to `workers` worker processes, started as they are needed.
    explicit LibsoxEngine(int workers);
    ~LibsoxEngine() override;
    LibsoxEngine(const LibsoxEngine&) = delete;
    LibsoxEngine& operator=(const LibsoxEngine&) = delete;

    int tonesUnderWay(int jobs) const override;
    std::unique_ptr<StartedTone> start(const Tone& tone, double seconds) override;

    struct Worker;

private:
    static constexpr int queuedPerWorker = 16;

    // The worker with the fewest tones waiting, a new one while there is room for one.
    Worker& readyWorker();

    std::vector<std::unique_ptr<Worker>> m_workers;
    int m_workerLimit;
};
