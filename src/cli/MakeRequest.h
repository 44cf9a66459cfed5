// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/BatchEngines.h"
#include "cli/CommandBase.h"
#include "set/SetPlan.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <optional>

// The make command's own flags' defaults, which --help shows: one round, numbers unpadded, the
// splits drawn over the set (the first of the ways).
inline constexpr int defaultRepeats = 1;
inline constexpr int defaultDigits = 0;
inline const QStringList splitWays{QStringLiteral("set"), QStringLiteral("number")};

// What ziravel-batch is asked to make, every input checked.
struct BatchRequest {
    // The set; its seed is drawn when the run starts unless given.
    SetPlan plan;
    std::optional<quint64> seed;
    QString folder;
    int digits = defaultDigits; // the numbers padded with zeros to this many digits
    int jobs = 1;
    BatchEngine engine = BatchEngine::process;
    bool quiet = false;
    bool checksums = false; // each made file's SHA-256 in the key
};

// The make command's request from the inputs as texts and the options given: each input is
// checked, in the order the user reads them; the first that fails is refused (Refusal).
BatchRequest checkedMakeRequest(const Inputs& inputs, const QCommandLineParser& parser);
