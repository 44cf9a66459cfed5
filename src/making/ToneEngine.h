// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "making/ToneJudge.h"
#include "making/ToneSession.h"
#include "making/ToneStaging.h"
#include "runner/CommandLine.h"
#include "tone/Tone.h"

#include <QString>
#include <functional>
#include <memory>

// Runs the tone's command (toneCommand()) once its length has passed checkedSeconds(), which
// throws Failure first otherwise, judges the file the tool wrote at the tone's path and moves
// it to `target` (empty: it stays where it was made). A run that fails (the disk filled, the
// tool could not load its libraries, ...) leaves nothing that would pass for a tone.
ToneOutcome makeTone(ToneSession& session, const CommandLine& command, const Tone& tone,
                     const QString& target = {}, bool nameReserved = false);

// A tone to make, or why it is not made.
struct PlannedTone {
    Tone tone;
    QString refusal;
    bool nameReserved = false;
};

// A tone under way in an engine.
class StartedTone {
public:
    virtual ~StartedTone() = default;
    // Readable once the tone has ended; -1 when there is nothing to watch.
    virtual int endDescriptor() const = 0;
    // Whether it has ended; never blocks.
    virtual bool hasEnded() = 0;
    // What became of it, judged from its file as judgedTone() does, once hasEnded().
    virtual ToneOutcome outcome() const = 0;
    // Ends it and returns once it has stopped.
    virtual void stop() = 0;
};

// What makes the tones of a batch.
class ToneEngine {
public:
    virtual ~ToneEngine() = default;
    // How many tones may be under way at once for `jobs` made at once.
    virtual int tonesUnderWay(int jobs) const { return jobs; }
    // Starts making the tone, whose length has been checked: `seconds`, at its output path.
    virtual std::unique_ptr<StartedTone> start(const Tone& tone, double seconds) = 0;
};

// Runs the tool once per tone (toneCommand()), its runs in the session, which outlives them.
// The tool takes no seed.
class ProcessEngine : public ToneEngine {
public:
    ProcessEngine(const QString& toolPath, ToneSession& session)
        : m_toolPath(toolPath), m_session(session) {}
    std::unique_ptr<StartedTone> start(const Tone& tone, double seconds) override;

private:
    QString m_toolPath;
    ToneSession& m_session;
};

// Makes `count` tones with the engine, up to `jobs` under way at once, starting them in order
// and never more than a few rounds of `jobs` ahead of the earliest still under way, so that
// what waits on it stays small; `plan` gives each tone (by index) just before it starts, and a
// Failure it throws is that tone's outcome. Each is made in `staging`. Calls `ended` with each
// tone's index, its judged outcome and, where a file was made for it, the tone in flight, in
// whatever order they finish: the caller places each file (ToneInFlight::placed()) when it can
// tell of it, so that no file takes its name before its key lists it. Calls `waiting` with the
// earliest tone under way when none has ended for a while. When `stopRequested` says so, no
// more tones start, those under way are ended and their files removed (their outcome:
// "Stopped."). Sleeps between ends; `wakeDescriptor` (-1 for none) ends a sleep early. Every
// tone started ends once; a tone never started does not.
struct ToneCallbacks {
    std::function<PlannedTone(qsizetype)> plan;
    std::function<bool()> stopRequested;
    std::function<void(qsizetype, const ToneOutcome&, std::shared_ptr<const ToneInFlight>)> ended;
    std::function<void(qsizetype)> waiting;
};
void makeTones(qsizetype count, int jobs, ToneEngine& engine, const ToneStaging& staging,
               const ToneCallbacks& callbacks, int wakeDescriptor);
