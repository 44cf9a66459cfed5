// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "making/ToneJudge.h"
#include "runner/SafeFile.h"

#include <QString>
#include <memory>

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
