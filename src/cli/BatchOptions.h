// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/ToneCommand.h"
#include "synth/ToneOptions.h"

#include <QCommandLineOption>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <variant>

// What makes the tones: the SoX library in-process, or the tool run once per tone.
enum class BatchEngine { library, process };

// The engines this build offers; the first is the default.
QList<BatchEngine> batchEngines();
// Its name on the command line and in the manifest.
QString batchEngineName(BatchEngine engine);

// What ziravel-batch is asked to make, every input checked.
struct BatchRequest {
    QString lengthText;
    int count = 0;
    qint16 from = 0;
    qint16 to = 0;
    Waveform waveform = Waveform::sine;
    QString folder;
    ExportFormat format = ExportFormat::wav;
    ToneOptions options;
    // The frequencies the pitches are drawn from (--frequencies, --notes), when listed.
    QList<double> pitchList;
    // The directions of a file's intervals that a balanced set takes in turn: up, and with
    // --balanced and an interval, down too.
    QList<int> intervalSigns{1};
    // The noise's band (--band, or the bounds with --band-from-bounds); none for pitched tones.
    std::optional<NoiseBand> band;
    // A balanced design: every combination of the listed pitches, levels and channels in each
    // round (the levels and channels hold the options' one value when not listed).
    bool balanced = false;
    QList<double> levels;
    QList<ToneOptions::Channel> channels;
    std::optional<quint64> seed;
    // The slice of the set this run makes: shard K of N contiguous slices (0 of 0: the whole
    // set).
    int shard = 0;
    int shards = 0;
    int digits = 0; // the numbers padded with zeros to this many digits
    int jobs = 1;
    BatchEngine engine = BatchEngine::process;
    bool quiet = false;
};

// What the program prints and its exit status, when it makes no tones: the help, the
// version, or an input that does not pass its check.
// Where an option stands in --help and the manual page.
enum class BatchSection { make, pitch, sound, files, running };

// An option of the command line, and the values it takes where they are a list (for shell
// completion).
struct BatchOption {
    BatchSection section;
    QCommandLineOption option;
    QStringList values;
};

// Every option ziravel-batch takes, in the order --help shows them within their sections.
QList<BatchOption> batchOptions();

struct BatchAnswer {
    QString text;
    int exitStatus = 0;
};

// The most tones one batch makes: its memory does not grow with the count.
inline constexpr int maximumBatchCount = 10000000;

// The highest pitch of the request's set.
double setHighestPitch(const BatchRequest& request);

// The first number and the count of the tones the request's slice of its set makes.
struct ToneSlice {
    qint64 first = 1;
    int count = 0;
};
ToneSlice toneSlice(const BatchRequest& request);

// Exit status of a refused input.
inline constexpr int badInputStatus = 2;

// Reads the command line (the program's name first). Values start at the window's defaults,
// or at the window's stored inputs with --from-settings; the options given replace them.
// Each input is checked; the first that fails gives one line naming its option and value.
std::variant<BatchRequest, BatchAnswer> readBatchRequest(const QStringList& arguments);
// The same from the program's own arguments, which must be UTF-8 text: bytes that are not
// would become other characters in a folder or a prefix without a word.
std::variant<BatchRequest, BatchAnswer> readBatchRequest(int argc, char* argv[]);
