// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "listening/ForcedChoice.h"
#include "listening/SimulatedListener.h"

#include <QCommandLineParser>
#include <QString>

// A forced-choice procedure run many times with a simulated listener, to plan it before
// listeners are booked: the spread of its thresholds and of the trials it takes.
struct SimulateRequest {
    ForcedChoiceSetup setup;
    PsychometricFunction function;
    quint64 seed = 0;
    int runs = 200;
    // With a folder, every trial's row goes to its results file, each run a session.
    QString folder;
    QString prefix;
};

// The options of --simulate-listener, read from the parser; throws Refusal.
SimulateRequest checkedSimulateRequest(const QCommandLineParser& parser);

// Runs it and prints the spread on standard output; gives the exit status (1 when the results
// file cannot be written, which is told).
int runSimulation(const SimulateRequest& request);
