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
#include <optional>

// A tone being made, so that a program that ends meanwhile can remove what it left.
class ToneInFlight {
public:
    explicit ToneInFlight(const QString& outputPath)
        : m_path(outputPath), m_before(fileStamp(outputPath)) {
        m_entry = tones().insert(tones().end(), this);
    }
    ~ToneInFlight() { tones().erase(m_entry); }
    ToneInFlight(const ToneInFlight&) = delete;
    ToneInFlight& operator=(const ToneInFlight&) = delete;

    // Removes the file when the run wrote to it; a file it did not touch stays.
    void removeWhatItWrote() const {
        if (fileStamp(m_path) != m_before)
            QFile::remove(m_path);
    }

    static std::list<ToneInFlight*>& tones() {
        static std::list<ToneInFlight*> inFlight;
        return inFlight;
    }

private:
    QString m_path;
    FileStamp m_before;
    std::list<ToneInFlight*>::iterator m_entry;
};

// What became of one tone: made, or the reason why not.
struct ToneOutcome {
    bool made = false;
    QString reason;
};

// Judges a finished run: made when the tool ended well and the file holds the whole tone;
// otherwise the reason, from the tool's own words where it gave any.
ToneOutcome judgedTone(const SynthRun& run, const QString& outputPath);

// Runs one tone's command line. A run that fails (the disk filled, the tool could not
// load its libraries, ...) may have left a file written part way, which would pass for
// a tone: it is removed. A file the failed run did not touch stays.
ToneOutcome makeTone(const QString& command, const QString& outputPath);

// The rest of a tone's row in the answer key, from what its steps made of it.
AnswerRow answeredTone(AnswerRow answer, const QString& outputPath, double frequency,
                       const ToneOptions& options, bool made);

// The highest tone number among the files in the folder named with the prefix and the
// extension; 0 when there are none.
int highestToneNumber(const QString& folder, const QString& prefix, const QString& extension);

// A tone to make: its file and the tool's command line for it.
struct PlannedTone {
    QString outputPath;
    QString command;
};

// Makes the tones with up to `jobs` tool runs at once, starting them in order, and calls
// `ended` with each tone's index and outcome as it ends, in whatever order the runs finish.
// Each is judged and cleaned up as makeTone() does. When `stopRequested` says so, no more
// runs start, the runs under way are ended and their files removed (their outcome:
// "Stopped."). Sleeps between ends; `wakeDescriptor` (-1 for none) ends a sleep early.
// Gives every tone's outcome, none for a tone never started.
QList<std::optional<ToneOutcome>>
makeTones(const QList<PlannedTone>& tones, int jobs, const std::function<bool()>& stopRequested,
          int wakeDescriptor, const std::function<void(qsizetype, const ToneOutcome&)>& ended);
