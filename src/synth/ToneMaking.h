// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/FileProbes.h"
#include "synth/AnswerKey.h"
#include "synth/ToneCommand.h"
#include "synth/ToneOptions.h"

#include <QFile>
#include <QList>
#include <QString>
#include <functional>
#include <list>
#include <memory>
#include <optional>

class ToneSession;

// A tone being made, so that what its run left can be removed when it fails or is stopped.
class ToneInFlight {
public:
    // `fileIsOurs`: the file was made for this tone (an exclusively taken number), so that
    // whatever is there when the tone fails is ours to remove. Kept in the session, when
    // given, while it lives.
    ToneInFlight(const QString& outputPath, bool fileIsOurs, ToneSession* session = nullptr);
    ~ToneInFlight();
    ToneInFlight(const ToneInFlight&) = delete;
    ToneInFlight& operator=(const ToneInFlight&) = delete;

    // Removes the file when the run wrote to it, or when it is ours; a file it did not touch
    // stays.
    void removeWhatItWrote() const {
        if (fileStamp(m_path) != m_before)
            QFile::remove(m_path);
    }

private:
    QString m_path;
    FileStamp m_before;
    ToneSession* m_session;
};

// The tones being made one after another and their tool runs, owned by the window: Stop and
// closing go through it.
class ToneSession {
public:
    ChildrenInFlight& children() { return m_children; }
    // Ends the tool runs under way and removes what they wrote; files already made stay.
    void stop();

private:
    friend class ToneInFlight;
    ChildrenInFlight m_children;
    std::list<const ToneInFlight*> m_tones;
};

// What became of one tone: made, or the reason why not. A tone whose file could not be
// opened to judge it (too many files open, ...) is not judged: its file stays.
struct ToneOutcome {
    bool made = false;
    QString reason;
    bool judged = true;
};

// Judges a finished run: made when the tool ended well and the file holds the whole tone;
// otherwise the reason, from the tool's own words where it gave any.
ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath);

// Runs the tone's command (toneCommand()) once its length has passed checkedSeconds(), which
// throws Failure first otherwise. A run that fails (the disk filled, the tool could not
// load its libraries, ...) may have left a file written part way, which would pass for
// a tone: it is removed. A file the failed run did not touch stays, unless it is ours.
ToneOutcome makeTone(ToneSession& session, const CommandLine& command, const Tone& tone,
                     bool fileIsOurs = false);

// The tone's row in the answer key.
AnswerRow answeredTone(const Tone& tone, bool made);

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

    // The next tone's file; with "never overwrite", made empty here. Throws Failure.
    QString nextPath();
    // The number of the file nextPath() gave last.
    qint64 lastNumber() const { return m_last; }
    // Whether the files given are ours alone.
    bool filesAreOurs() const { return m_neverOverwrite; }

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
    bool fileIsOurs = false;
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
    // Starts making the tone, whose length has been checked: `seconds`.
    virtual std::unique_ptr<StartedTone> start(const PlannedTone& planned, double seconds) = 0;
};

// Runs the tool once per tone (toneCommand()). The tool takes no seed.
class ProcessEngine : public ToneEngine {
public:
    explicit ProcessEngine(const QString& toolPath) : m_toolPath(toolPath) {}
    std::unique_ptr<StartedTone> start(const PlannedTone& planned, double seconds) override;

private:
    QString m_toolPath;
    // Outlives the children started with it.
    ChildrenInFlight m_children;
};

// Makes `count` tones with the engine, up to `jobs` under way at once, starting them in order;
// `plan` gives each tone (by index) just before it starts, and a Failure it throws is that tone's
// outcome. Calls `ended` with each tone's index and outcome as it ends, in whatever order
// they finish. Each is judged and cleaned up as makeTone() does. When `stopRequested` says
// so, no more tones start, those under way are ended and their files removed (their
// outcome: "Stopped."). Sleeps between ends; `wakeDescriptor` (-1 for none) ends a sleep
// early. Every tone started ends once; a tone never started does not.
void makeTones(qsizetype count, int jobs, ToneEngine& engine,
               const std::function<PlannedTone(qsizetype)>& plan,
               const std::function<bool()>& stopRequested, int wakeDescriptor,
               const std::function<void(qsizetype, const ToneOutcome&)>& ended);
