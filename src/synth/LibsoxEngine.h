#pragma once

#include "synth/ToneMaking.h"

#include <memory>
#include <vector>

// Makes each tone in-process with the SoX library, byte for byte the file the tool makes for
// the same arguments (toolArguments()), with the tone's seed behind its noise and dither.
// The library keeps its random generator, its messages and its handlers' state for the whole
// process, so tones are made in worker processes, forked once the library is loaded, each
// making one tone at a time.
class LibsoxEngine : public ToneEngine {
public:
    // Up to `workers` worker processes, started as they are needed.
    explicit LibsoxEngine(int workers);
    ~LibsoxEngine() override;
    LibsoxEngine(const LibsoxEngine&) = delete;
    LibsoxEngine& operator=(const LibsoxEngine&) = delete;

    QString program() const override { return QStringLiteral("libsox"); }
    std::unique_ptr<StartedTone> start(const PlannedTone& planned) override;

    struct Worker;

private:
    Worker& idleWorker();

    std::vector<std::unique_ptr<Worker>> m_workers;
    int m_workerLimit;
};
