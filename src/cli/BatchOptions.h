// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/BatchEngines.h"
#include "cli/MakeRequest.h"
#include "cli/MergeCommand.h"
#include "cli/SimulateCommand.h"
#include "options/OptionTable.h"
#include "set/SetPlan.h"
#include "tone/ToneCommand.h"
#include "tone/ToneOptions.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <variant>

// What the program prints and its exit status, when it makes no tones: the help, the
// version, or an input that does not pass its check.

// An option of the command line, and the values it takes where they are a list (for shell
// completion).
struct BatchOption {
    OptionSection section;
    QCommandLineOption option;
    QStringList values;
};

// Every option ziravel-batch takes, in the order --help shows them within their sections.
QList<BatchOption> batchOptions();

struct BatchAnswer {
    QString text;
    int exitStatus = 0;
};

// Exit status of a refused input.
inline constexpr int badInputStatus = 2;

// Reads the command line (the program's name first). Values start at the window's defaults,
// or at the window's stored inputs with --from-settings; the options given replace them.
// Each input is checked; the first that fails gives one line naming its option and value.
// --merge asks for the shards in a folder to be merged instead, --simulate-listener for a
// procedure to be planned.
using BatchCommand = std::variant<BatchRequest, MergeRequest, SimulateRequest, BatchAnswer>;
BatchCommand readBatchRequest(const QStringList& arguments);
// The same from the program's own arguments. On Unix they must be UTF-8 text: bytes that are
// not would become other characters in a folder or a prefix without a word. Windows hands the
// command line over as UTF-16, which is read as it stands (the application must exist).
BatchCommand readBatchRequest(int argc, char* argv[]);
