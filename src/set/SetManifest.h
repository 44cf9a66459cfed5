// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/FileProbes.h"
#include "set/SetPlan.h"
#include "tone/ToneCommand.h"

#include <QJsonObject>
#include <QString>

// The manifest's name beside the key: the set's, or its shard's.
QString setManifestName(const QString& prefix, int shard, int shards);

// What a run adds to its set's manifest: what made the tones, how the numbers were padded, and
// the number of its first tone.
struct ManifestRun {
    QString engine;
    int digits = 0;
    qint64 firstNumber = 1;
    QString libsoxVersion;  // the library's own, where the build has it
    bool checksums = false; // the key holds each file's SHA-256, which a remake writes too
};

// The manifest's format; a reader of an older one refuses a newer.
inline constexpr int setManifestFormat = 2;

// What decided the set's files, so that it can be made again or told apart: the options that
// applied (flags as booleans, numbers as numbers, the notes as written; an option that could
// not change the files is left out), the seed (as text: it may pass what a JSON number holds
// exactly), the program's and libsox's versions, the engine, the count and the tool's
// arguments for the run's first tone, run in the set's folder: the same set in another folder
// has the same manifest.
QJsonObject setManifest(const SetPlan& plan, const ManifestRun& run, Tone first);

// The manifest at the path, read as a regular file of a manifest's size at most; an empty
// object for one that holds no JSON object. Throws Failure when it cannot be read.
QJsonObject readSetManifest(const QString& path, Links links = Links::followed);

// A run that never overwrites adds to a set: the manifest there keeps the runs before it, the
// first first, under "earlier_runs".
QJsonObject withEarlierRuns(QJsonObject manifest, const QString& path);
