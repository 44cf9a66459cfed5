// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/BatchEngines.h"
#include "cli/BatchMerge.h"
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

// What ziravel-batch is asked to make, every input checked.
struct BatchRequest {
    // The set; its seed is drawn when the run starts unless given.
    SetPlan plan;
    std::optional<quint64> seed;
    QString folder;
    int digits = 0; // the numbers padded with zeros to this many digits
    int jobs = 1;
    BatchEngine engine = BatchEngine::process;
    bool quiet = false;
    bool checksums = false; // each made file's SHA-256 in the key
};

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
// --merge asks for the shards in a folder to be merged instead.
using BatchCommand = std::variant<BatchRequest, MergeRequest, BatchAnswer>;
BatchCommand readBatchRequest(const QStringList& arguments);
// The same from the program's own arguments, which must be UTF-8 text: bytes that are not
// would become other characters in a folder or a prefix without a word.
BatchCommand readBatchRequest(int argc, char* argv[]);
