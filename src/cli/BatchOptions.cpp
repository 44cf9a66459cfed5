// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BatchOptions.h"

#include "cli/BatchHelp.h"
#include "cli/CommandBase.h"
#include "cli/RemakeCommand.h"
#include "options/OptionTable.h"
#include "options/Presets.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "settings/StoredInputs.h"
#include "tone/NumberText.h"
#include "tone/ToneCommand.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QStringDecoder>
#include <cstdio>

namespace {

Inputs defaultInputs() {
    Inputs inputs;
    for (const OptionRow& option : optionTable())
        inputs.insert(option.id, option.defaultValue);
    // A row as typed, by its text; the current folder, as with every command-line tool.
    inputs[Option::type] = waveformRows.value(optionRow(Option::type).defaultValue.toInt());
    inputs[Option::folder] = QStringLiteral(".");
    return inputs;
}

// The window's stored values, or none when the file cannot be read safely, which is told.
QSettings::SettingsMap storedValues() {
    try {
        return readStoredInputs();
    } catch (const Failure& failure) {
        std::fprintf(stderr,
                     "ziravel-batch: the stored settings cannot be read safely, so the "
                     "defaults are used: %s\n",
                     qPrintable(failure.description()));
    }
    return {};
}

// The inputs with a preset's values, built in or saved by the window.
void applyPreset(Inputs& inputs, const QString& name) {
    const QSettings::SettingsMap stored = storedValues();
    const std::optional<Preset> preset = findPreset(name, stored);
    if (!preset)
        refuse(QStringLiteral("preset"), name,
               QStringLiteral("no such preset; there are %1.")
                   .arg(presetNames(stored).join(QStringLiteral(", "))));
    for (const OptionRow& option : toneOptionTable())
        if (preset->values.contains(option.key))
            inputs[option.id] = preset->values.value(option.key);
    if (preset->waveformRow)
        inputs[Option::type] = waveformRows.value(*preset->waveformRow);
}

// The window's stored inputs. A stored option that is not one of its own gives way to its
// default, as in the window; the fields are checked as if typed. A settings file that cannot
// be read safely is told, and the defaults are used.
Inputs storedInputs() {
    const QSettings::SettingsMap stored = storedValues();
    const auto value = [&stored](const SettingKey& key) {
        return stored.value(key.name, key.defaultValue).toString();
    };
    Inputs inputs = defaultInputs();
    for (const Option field : {Option::length, Option::count, Option::from, Option::to})
        inputs[field] = value(storedSetting(field));
    // Read as the window reads it: "2.0" is row 2.
    try {
        inputs[Option::type] = waveformRows.value(toInt16(value(storedSetting(Option::type))));
    } catch (const Failure&) {
        // No row: the type check says so.
    }
    if (stored.contains(storedSetting(Option::folder).name))
        inputs[Option::folder] = value(storedSetting(Option::folder));
    const ToneOptions options = toneOptionsFrom([&stored](const OptionRow& option) {
        return stored.value(option.key, option.defaultValue).toString();
    });
    for (const OptionRow& option : toneOptionTable())
        inputs[option.id] = option.get(options);
    return inputs;
}

// --simulate-listener and what it reads besides --from, --to, --level, --length, --gap, --seed,
// --folder and --prefix.
template <typename Add> void addListeningOptions(const Add& add) {
    const OptionSection listening = OptionSection::listening;
    add(listening, {"simulate-listener"},
        QStringLiteral("Run a forced-choice procedure with a simulated listener whose psychometric "
                       "function f is SHAPE,THRESHOLD,SLOPE[,LAPSE]: logistic or weibull, its "
                       "threshold, slope and lapse rate (its guess rate: one over the "
                       "intervals), and print the spread of "
                       "the thresholds and trials over the runs. With --folder each trial is "
                       "written to <prefix>responses.csv. --from and --to bound the standard "
                       "pitch, --length and --gap are the intervals' and the gap's"),
        "f");
    add(listening, {"procedure"},
        QStringLiteral("What the target differs in: frequency (cents), intensity (dB), itd "
                       "(microseconds, right ear leading), ild (dB, right ear louder) or "
                       "detection (the tone's SNR in the noise of every interval, dB) "
                       "(default: frequency)"),
        "task", forcedChoiceTaskNames);
    add(listening, {"intervals"}, QStringLiteral("2 or 3 intervals per trial (default: 2)"), "n",
        {QStringLiteral("2"), QStringLiteral("3")});
    add(listening, {"down"},
        QStringLiteral("Correct answers in a row that make the task harder: 2 tracks 70.7 % "
                       "correct, 3 tracks 79.4 % (default: 2)"),
        "n");
    add(listening, {"start"}, QStringLiteral("The first trial's difference"), "value");
    add(listening, {"steps"},
        QStringLiteral("Steps after each reversal, the last kept: factors for frequency and itd, "
                       "dB for intensity and ild, e.g. 2,1.414"),
        "list");
    add(listening, {"stop-reversals"},
        QStringLiteral("Stop after this many reversals (default: 8)"), "n");
    add(listening, {"average-reversals"},
        QStringLiteral("The threshold: the mean of the last this many reversals (default: 6)"),
        "n");
    add(listening, {"trial-limit"}, QStringLiteral("Stop after this many trials (default: 100)"),
        "n");
    add(listening, {"runs"}, QStringLiteral("Runs simulated (default: 200)"), "n");
}

} // namespace

QList<BatchOption> batchOptions() {
    QList<BatchOption> options;
    const auto add = [&options](OptionSection section, const QStringList& names,
                                const QString& help, const QString& valueName = QString(),
                                const QStringList& values = {}) {
        options.append({section, QCommandLineOption(names, help, valueName), values});
    };
    const auto withDefault = [](const QString& help, const QString& defaultText) {
        return help + QStringLiteral(" (default: %1)").arg(defaultText);
    };
    const auto addInput = [&options, &withDefault](const OptionRow& option) {
        const QString shown = option.shownDefault();
        const bool listed =
            option.kind == OptionRow::Kind::words || option.kind == OptionRow::Kind::row;
        options.append({option.section,
                        option.kind == OptionRow::Kind::flag
                            ? QCommandLineOption(option.flag, option.help)
                            : QCommandLineOption(option.flag,
                                                 shown.isEmpty() ? option.help
                                                                 : withDefault(option.help, shown),
                                                 option.valueName),
                        listed ? option.words : QStringList()});
    };
    // The set's own inputs, the design among them, then the tone's options.
    const auto addInputs = [&addInput](Option first, Option last) {
        for (const OptionRow& option : optionTable())
            if (option.id >= first && option.id <= last)
                addInput(option);
    };
    addInputs(Option::length, Option::to);
    using enum OptionSection;
    add(pitch, {"frequencies"},
        QStringLiteral("Draw the pitches from this list of frequencies in Hz, e.g. 250,500,1000"),
        "list");
    add(pitch, {"notes"},
        QStringLiteral("Draw the pitches from these equal-tempered notes, e.g. A3..A5 or "
                       "C4,Eb4,G4"),
        "notes");
    add(pitch, {"repeats"},
        withDefault(QStringLiteral("Rounds of a balanced set when --count is left out"),
                    QString::number(defaultRepeats)),
        "n");
    add(sound, {"band"},
        QStringLiteral("Filter the noise types, or the --noise under a tone, to this band in Hz, "
                       "e.g. 500-2000"),
        "low-high");
    add(sound, {"notch"},
        QStringLiteral("Take this band in Hz out of the noise (a notched noise), e.g. 800-1250; "
                       "inside --band when both are given"),
        "low-high");
    addInputs(Option::folder, Option::format);
    add(files, {"shard"},
        QStringLiteral("Make only slice K of N contiguous slices of the set's numbers; its key is "
                       "<prefix>tones-K-of-N.csv"),
        "K/N");
    add(files, {"split"},
        QStringLiteral("Part the set into splits drawn from the seed, e.g. "
                       "train=0.8,validation=0.1,test=0.1 (column split); balanced per cell with "
                       "--balanced"),
        "shares");
    add(files, {"split-by"},
        withDefault(QStringLiteral("set: each split gets its share exactly; number: each tone's "
                                   "split from the seed and its number alone, so that a set "
                                   "grown from the same seed keeps every tone's split (the shares "
                                   "then near the asked ones)"),
                    splitWays.first()),
        splitWays.join(QLatin1Char('|')), splitWays);
    add(files, {"checksums"},
        QStringLiteral("Add each made file's SHA-256 to the answer key (column sha256)"));
    add(files, {"digits"},
        withDefault(QStringLiteral("Pad the numbers with zeros to this many digits"),
                    QStringLiteral("%1, no padding").arg(defaultDigits)),
        "n");
    addInputs(Option::sampleRate, Option::fineItd);
    add(running, {"preset"},
        QStringLiteral("Start from a preset: a built-in one or one the window saved (the settings "
                       "are never written)"),
        "name");
    add(running, {"from-settings"},
        QStringLiteral("Start from the values the window stored (never written)"));
    add(running, {"seed"},
        QStringLiteral("Seed of the draws: the same seed and options give the same frequencies "
                       "(default: from the system)"),
        "n");
    add(running, {"jobs"},
        withDefault(QStringLiteral("Tones made at once"), QString::number(defaultJobs())), "n");
    add(running, {"engine"},
        withDefault(batchEngines().contains(BatchEngine::library)
                        ? QStringLiteral("What makes the tones: %1. The library makes the tool's "
                                         "files in-process, with noise and dither from --seed")
                              .arg(engineNames().join(QStringLiteral(" or ")))
                        : QStringLiteral("What makes the tones: process, a run of the tool for "
                                         "each tone"),
                    engineNames().first()),
        "engine", engineNames());
    add(running, {"remake"},
        QStringLiteral("Make the set of a manifest (<prefix>set.json) again, byte for byte with "
                       "the same libsox: into --folder, else where the manifest lies"),
        "manifest");
    add(running, {"merge"},
        QStringLiteral("Join the shards of a set in this folder (all of them, of one set) into the "
                       "set's key and manifest, as one run writes them; with --prefix"),
        "folder");
    add(running, {"quiet"}, QStringLiteral("No progress line, only errors"));
    addListeningOptions(add);
    add(running, {"h", "help"}, QStringLiteral("Displays this help."));
    // -V, as the tools people pair it with spell it; -v stands for nothing.
    add(running, {"V", "version"}, QStringLiteral("Displays version information."));
    // For the build, which makes the manual page and the shell completions from these.
    for (const char* generator : {"manual-page", "completion", "preset-names"}) {
        QCommandLineOption hidden(
            QLatin1String(generator), QString(),
            generator == std::string_view("completion") ? QStringLiteral("shell") : QString());
        hidden.setFlags(QCommandLineOption::HiddenFromHelp);
        options.append({running, hidden, {}});
    }
    return options;
}

namespace {

// What the program only prints: help, version, manual page, completions, preset names.
std::optional<BatchAnswer> printedAnswer(const QCommandLineParser& parser,
                                         const QList<BatchOption>& options) {
    if (parser.isSet(QStringLiteral("help")))
        return BatchAnswer{helpText(options), 0};
    if (parser.isSet(QStringLiteral("version")))
        return BatchAnswer{
            QStringLiteral("ziravel-batch %1\n").arg(QCoreApplication::applicationVersion()), 0};
    if (parser.isSet(QStringLiteral("manual-page")))
        return BatchAnswer{manualPage(options), 0};
    if (parser.isSet(QStringLiteral("completion"))) {
        const QString script =
            completionScript(parser.value(QStringLiteral("completion")), options);
        return script.isEmpty() ? BatchAnswer{QStringLiteral("ziravel-batch: --completion: bash, "
                                                             "zsh or fish.\n"),
                                              badInputStatus}
                                : BatchAnswer{script, 0};
    }
    if (parser.isSet(QStringLiteral("preset-names")))
        return BatchAnswer{presetNames(storedValues()).join(QLatin1Char('\n')) + QLatin1Char('\n'),
                           0};
    return std::nullopt;
}

// --merge: the shards of a set joined.
BatchCommand mergeCommand(const QCommandLineParser& parser) {
    const QString prefix = parser.isSet(QStringLiteral("prefix"))
                               ? parser.value(QStringLiteral("prefix"))
                               : optionRow(Option::prefix).defaultValue;
    try {
        refuseOtherOptions(
            parser, {QStringLiteral("merge"), QStringLiteral("prefix"), QStringLiteral("quiet")},
            QStringLiteral("not with --merge: the shards say what the set is."));
        return MergeRequest{parser.value(QStringLiteral("merge")),
                            checkedText(optionRow(Option::prefix), prefix),
                            parser.isSet(QStringLiteral("quiet"))};
    } catch (const Refusal& refusal) {
        return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
    }
}

// --remake: the command line of the manifest's set, read as the user's would be.
BatchCommand remakeCommand(const QStringList& arguments, const QCommandLineParser& parser) {
    QStringList remade;
    try {
        remade = remakeArguments(arguments.first(), parser.value(QStringLiteral("remake")), parser);
    } catch (const Refusal& refusal) {
        return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
    }
    // What the manifest holds is refused as the manifest's, not as words the user wrote.
    BatchCommand command = readBatchRequest(remade);
    if (auto* refused = std::get_if<BatchAnswer>(&command); refused && refused->exitStatus != 0)
        refused->text.replace(QStringLiteral("ziravel-batch: --"),
                              QStringLiteral("ziravel-batch: --remake \"%1\": the manifest's --")
                                  .arg(printable(parser.value(QStringLiteral("remake")))));
    return command;
}

// The make command: the defaults, or the window's stored inputs, with a preset and the options
// given over them.
BatchCommand makeCommand(const QCommandLineParser& parser) {
    Inputs inputs =
        parser.isSet(QStringLiteral("from-settings")) ? storedInputs() : defaultInputs();
    try {
        if (parser.isSet(QStringLiteral("preset")))
            applyPreset(inputs, parser.value(QStringLiteral("preset")));
    } catch (const Refusal& refusal) {
        return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
    }
    for (const OptionRow& option : optionTable())
        if (parser.isSet(option.flag))
            inputs[option.id] = option.kind == OptionRow::Kind::flag ? QStringLiteral("1")
                                                                     : parser.value(option.flag);
    // --sweep alone makes sweeps, upward.
    if (parser.isSet(QStringLiteral("sweep")) && !parser.isSet(QStringLiteral("shape")) &&
        inputs[Option::shape] == optionRow(Option::shape).defaultValue)
        inputs[Option::shape] = QStringLiteral("up");
    try {
        return checkedMakeRequest(inputs, parser);
    } catch (const Refusal& refusal) {
        return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
    }
}

} // namespace

BatchCommand readBatchRequest(const QStringList& arguments) {
    QCommandLineParser parser;
    const QList<BatchOption> options = batchOptions();
    for (const BatchOption& option : options)
        parser.addOption(option.option);
    if (!parser.parse(arguments))
        return BatchAnswer{QStringLiteral("ziravel-batch: %1\n").arg(parser.errorText()),
                           badInputStatus};
    if (!parser.positionalArguments().isEmpty())
        return BatchAnswer{QStringLiteral("ziravel-batch: unexpected argument \"%1\".\n")
                               .arg(parser.positionalArguments().first()),
                           badInputStatus};
    if (const std::optional<BatchAnswer> answer = printedAnswer(parser, options))
        return *answer;
    if (parser.isSet(QStringLiteral("merge")))
        return mergeCommand(parser);
    if (parser.isSet(QStringLiteral("remake")))
        return remakeCommand(arguments, parser);
    if (parser.isSet(QStringLiteral("simulate-listener"))) {
        try {
            return checkedSimulateRequest(parser);
        } catch (const Refusal& refusal) {
            return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
        }
    }
    return makeCommand(parser);
}

BatchCommand readBatchRequest(int argc, char* argv[]) {
#ifdef Q_OS_WIN
    // argv holds the command line in the user's code page, where other letters become "?".
    Q_UNUSED(argc)
    Q_UNUSED(argv)
    return readBatchRequest(QCoreApplication::arguments());
#else
    QStringList arguments;
    for (int at = 0; at < argc; ++at) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString argument = utf8(QByteArrayView(argv[at]));
        // The program's own path is only read.
        if (at > 0 && utf8.hasError())
            return BatchAnswer{QStringLiteral("ziravel-batch: \"%1\": not UTF-8 text; folders, "
                                              "prefixes and names are read as UTF-8.\n")
                                   .arg(argument),
                               badInputStatus};
        arguments << argument;
    }
    return readBatchRequest(arguments);
#endif
}
