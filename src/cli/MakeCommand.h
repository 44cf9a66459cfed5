// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

struct BatchRequest;

// Exit status of a batch stopped by SIGINT or SIGTERM, as shells give for Ctrl+C.
inline constexpr int stoppedStatus = 130;

// Makes the tones asked for, up to request.jobs tool runs at once, and their answer key;
// shows progress on a terminal. Gives the exit status: 0 when every tone was made, 1 when
// any could not be (the last line on standard error says how many), stoppedStatus when a
// stop signal came: the runs under way are ended, their files removed, and the key lists
// the tones tried.
int runBatch(const BatchRequest& request);
