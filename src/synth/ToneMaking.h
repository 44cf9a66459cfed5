// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/WavFile.h"
#include "runner/FileProbes.h"
#include "runner/RunLock.h"
#include "runner/SafeFile.h"
#include "synth/AnswerKey.h"
#include "synth/ToneCommand.h"
#include "synth/ToneOptions.h"

#include <QFile>
#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class ToneSession;

// What became of one tone: made, or the reason why not.
struct ToneOutcome {
    bool made = false;
    QString reason;
};

// Where a batch's tones are made before they take their names: a private folder in the
// output folder (PrivateFolder), or why there is none.
class ToneStaging {
public:
    // Never throws: a folder that cannot be made is each tone's reason.
    explicit ToneStaging(const QString& folder);
    // Where the tool makes the file that is to take the target's name. Throws Failure when no
    // file can be made in the folder.
    QString madePath(const QString& target) const;

private:
    QString m_folder;
    std::unique_ptr<PrivateFolder> m_private;
    QString m_failure;
};

// A tone being made where only we can reach it, and the name it is to take, so that what its
// run left can be removed when it fails or is stopped.
class ToneInFlight {
public:
    // `madePath`: where the tool writes it; `target`: its name. `nameReserved`: the empty file
    // at the target is ours, made to hold the number (never overwrite), and goes when the tone
    // does not take its place.
    ToneInFlight(const QString& madePath, const QString& target, bool nameReserved);
    ToneInFlight(const ToneInFlight&) = delete;
    ToneInFlight& operator=(const ToneInFlight&) = delete;

    // A tone judged made takes its name (moveToName()); when something else holds the name,
    // it is not made after all. A tone not made leaves nothing.
    ToneOutcome placed(ToneOutcome outcome) const;
    // Removes what the run wrote and the name it reserved.
    void abandon() const;

private:
    QString m_made;
    QString m_target;
    bool m_nameReserved;
};

// The tool runs under way, owned by the window or by ziravel-batch's run: Stop and closing go
// through it. A run it ends is judged not made, and its tone leaves nothing.
class ToneSession {
public:
    ChildrenInFlight& children() { return m_children; }
    // Ends the tool runs under way; files already made stay.
    void stop();

private:
    ChildrenInFlight m_children;
};

// The peak in dBFS (-inf: silence) of a made file other than WAV, whose peak is read with its
// length; nothing when it cannot be read here.
using PeakReader = std::function<std::optional<double>(const QString& path)>;

// Judges a finished run: made when the tool ended well, the file holds the whole tone and it
// sounds, its peak where the run's rule asks (a WAV file always, another when `peakOf` reads
// it); otherwise the reason, from the tool's own words where it gave any.
ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath,
                       const PeakReader& peakOf = {});

// Runs the tone's command (toneCommand()) once its length has passed checkedSeconds(), which
// throws Failure first otherwise, judges the file the tool wrote at the tone's path and moves
// it to `target` (empty: it stays where it was made). A run that fails (the disk filled, the
// tool could not load its libraries, ...) leaves nothing that would pass for a tone.
ToneOutcome makeTone(ToneSession& session, const CommandLine& command, const Tone& tone,
                     const QString& target = {}, bool nameReserved = false);

// Takes the lock of the set whose key is `keyName` in the folder (RunLock) for a run of
// `program`: a run that never overwrites shares it. Taken while no other run holds it, it first
// removes the empty files that runs which were killed had made to hold the names of their tones
// (`prefix`, a number, `extension`). Throws Failure as RunLock does.
std::unique_ptr<RunLock> lockedSet(const QString& folder, const QString& keyName,
                                   const QString& prefix, const QString& extension,
                                   bool neverOverwrite, const QString& program);

// The name of tone `number` of a set: the prefix, the number padded with zeros to `digits`, the
// extension.
QString toneFileName(const QString& prefix, qint64 number, int digits, const QString& extension);

// The files of a batch, numbered from 1 after the prefix. With "never overwrite" the numbers
// go on after the highest of the files in the folder that have the prefix (as it is, no
// pattern) and the extension, hidden ones included, and each number is taken by creating its
// file exclusively: one that another run or the user took meanwhile is passed over, so that
// no file is ever written over.
class ToneNumbering {
public:
    // Throws Failure when `count` numbers after the files there would not fit in 64 bits.
    // Without "never overwrite" the numbers start at `first`. Numbers are padded with zeros
    // to `digits` digits, so that the names sort.
    ToneNumbering(const QString& folder, const QString& prefix, const QString& extension,
                  bool neverOverwrite, qint64 count, qint64 first = 1, int digits = 0);

    // The next tone's file; with "never overwrite", made empty here to hold the name. Throws
    // Failure.
    QString nextPath();
    // The number of the file nextPath() gave last.
    qint64 lastNumber() const { return m_last; }
    // Whether the names given are held by empty files of ours.
    bool namesReserved() const { return m_neverOverwrite; }

private:
    QString m_folder;
    QString m_prefix;
    QString m_extension;
    bool m_neverOverwrite;
    qint64 m_last = 0;
    int m_digits;
};

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
