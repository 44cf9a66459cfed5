// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The shards of one set in a folder, to be joined into the set's key and manifest.
struct MergeRequest {
    QString folder;
    QString prefix; // the set's file names begin with it
    bool quiet = false;
};

// Checks that the shards of the set are all there and agree (their manifests alike but for
// the shard), then writes the whole set's key and manifest, byte for byte what one run writes.
// Gives the exit status: 0 when merged, 1 when a shard is missing, foreign or incomplete (the
// line on standard error names it).
int mergeShards(const MergeRequest& request);
