// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BatchOptions.h"

#include "cli/BatchHelp.h"
#include "options/OptionTable.h"
#include "options/Presets.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "set/SetManifest.h"
#include "set/ToneDesign.h"
#include "settings/StoredInputs.h"
#include "tone/NumberText.h"
#include "tone/PitchLists.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"
#include "tone/ToneLimits.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QThread>
#include <cmath>
#include <cstdio>

namespace {

// Raised by a check: the line the user sees.
struct Refusal {
    QString text;
};

// The text with each control character shown as an escape: a refused value or a manifest's text
// never reaches the terminal raw.
QString printable(const QString& text) {
    QString shown;
    for (const QChar c : text)
        shown += c.category() == QChar::Other_Control
                     ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                     : QString(c);
    return shown;
}

[[noreturn]] void refuse(const QString& option, const QString& value, const QString& why) {
    throw Refusal{QStringLiteral("ziravel-batch: --%1 \"%2\": %3")
                      .arg(printable(option), printable(value), printable(why))};
}

// One run for each core.
int defaultJobs() {
    return std::max(1, QThread::idealThreadCount());
}

QString wordList(const QStringList& words) {
    return words.join(QStringLiteral(", "));
}

// The names of the engines this build offers, the default first.
QStringList engineNames() {
    QStringList names;
    for (const BatchEngine engine : batchEngines())
        names << batchEngineName(engine);
    return names;
}

// The inputs as texts, before they are checked: the defaults, the window's stored values, or
// what the command line says.
using Inputs = QMap<Option, QString>;

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

// A whole number between the limits, read as the window reads its fields: rounded to the
// nearest, halfway to the even neighbour.
int wholeNumber(const QString& option, const QString& text, int lowest, int highest,
                const QString& what) {
    double value = 0;
    if (parseNumberText(text, value)) {
        const double rounded = std::nearbyint(value);
        if (rounded >= lowest && rounded <= highest)
            return int(rounded);
    }
    refuse(option, text,
           QStringLiteral("not %1 from %2 to %3.").arg(what).arg(lowest).arg(highest));
}

// The length passes the run's own check for the plan's largest file; a length that is none
// at all is told in the command line's words.
void checkLength(const SetPlan& plan) {
    try {
        plan.checkLength();
    } catch (const Failure& failure) {
        refuse(QStringLiteral("length"), plan.lengthText,
               failure.description() == FailureText::noLength
                   ? QStringLiteral("not a positive number of seconds (one sample at least).")
                   : failure.description());
    }
}

// The folder, made with its parents when it is not there.
QString checkedFolder(const QString& text) {
    const QString path = expandedFolder(text);
    if (!folderExists(path) && !QDir().mkpath(path))
        refuse(QStringLiteral("folder"), text, QStringLiteral("the folder cannot be made."));
    if (!QFileInfo(path).isWritable())
        refuse(QStringLiteral("folder"), text, QStringLiteral("the folder cannot be written."));
    return text;
}

// One of the words; its place among them.
int checkedWord(const QString& option, const QString& text, const QStringList& words) {
    const qsizetype at = words.indexOf(text.toLower());
    if (at < 0)
        refuse(option, text, QStringLiteral("not one of %1.").arg(wordList(words)));
    return int(at);
}

// The input's text as the table reads it, which must pass the option's check.
QString checkedText(const OptionRow& option, const QString& text) {
    const std::optional<QString> read = readOption(option, text);
    if (!read)
        refuse(option.flag, text, optionRefusal(option));
    return *read;
}

QString checkedText(Option input, const Inputs& inputs) {
    return checkedText(optionRow(input), inputs.value(input));
}

// The options with one of them set from its text, which must pass the option's check.
ToneOptions withOption(ToneOptions options, const OptionRow& option, const QString& text) {
    option.set(options, checkedText(option, text));
    return options;
}

ToneOptions checkedOptions(const Inputs& inputs) {
    ToneOptions options;
    for (const OptionRow& option : toneOptionTable())
        options = withOption(options, option, inputs.value(option.id));
    return options;
}

BatchRequest checkedRequest(const Inputs& inputs, const QCommandLineParser& parser) {
    BatchRequest request;
    request.plan.lengthText = inputs.value(Option::length);
    // Read first at the lowest rate, before any other input: at least one sample, as SoX
    // writes without end for a length of none.
    checkLength(request.plan);
    request.plan.count = int(numberInText(checkedText(Option::count, inputs)));
    request.plan.from = qint16(numberInText(checkedText(Option::from, inputs)));
    request.plan.to = qint16(numberInText(checkedText(Option::to, inputs)));
    request.plan.waveform = Waveform(checkedText(Option::type, inputs).toInt());
    request.folder = checkedFolder(inputs.value(Option::folder));
    request.plan.format =
        ExportFormat(optionRow(Option::format).words.indexOf(checkedText(Option::format, inputs)));
    const bool designBalanced = parser.isSet(QStringLiteral("balanced"));
    QList<double> designLevels;
    QList<ToneOptions::Channel> designChannels;
    QList<int> designIntervalSigns{1};
    // Levels, channels, ear differences and SNRs may be listed for a balanced design.
    const QList<Option> listed{Option::level, Option::channel, Option::ildDb, Option::itdUs,
                               Option::snr};
    const QMap<Option, QString> listedNames{
        {Option::level, QStringLiteral("levels")},
        {Option::channel, QStringLiteral("channels")},
        {Option::ildDb, QStringLiteral("ear level differences")},
        {Option::itdUs, QStringLiteral("ear time differences")},
        {Option::snr, QStringLiteral("SNRs")}};
    QMap<Option, QStringList> listTexts;
    for (const Option option : listed) {
        const QString text = inputs.value(option);
        listTexts[option] = designBalanced ? text.split(QLatin1Char(',')) : QStringList{text};
        if (!designBalanced && text.contains(QLatin1Char(',')))
            refuse(optionRow(option).flag, text,
                   QStringLiteral("a list of %1 is for a balanced design: add --balanced.")
                       .arg(listedNames.value(option)));
    }
    Inputs first = inputs;
    for (const Option option : listed)
        first[option] = listTexts[option].first();
    request.plan.options = checkedOptions(first);
    if (request.plan.options.floatSamples && request.plan.format != ExportFormat::wav)
        refuse(QStringLiteral("sample-size"), inputs.value(Option::sampleSize),
               QStringLiteral("floating point samples are for WAV files; FLAC holds 16 or 24 "
                              "bits."));
    // Each listed value is checked as the option's one value is.
    const auto listedValues = [&](Option option) {
        QList<ToneOptions> values;
        for (const QString& text : listTexts[option])
            values.append(withOption(request.plan.options, optionRow(option), text));
        return values;
    };
    for (const ToneOptions& value : listedValues(Option::level))
        designLevels.append(value.levelDb);
    for (const ToneOptions& value : listedValues(Option::channel))
        designChannels.append(value.channel);
    // A difference or an SNR listed once is the option's own value, not a design's list.
    const auto designList = [&](Option option, double ToneOptions::*member) {
        QList<double> values;
        if (listTexts[option].size() > 1)
            for (const ToneOptions& value : listedValues(option))
                values.append(value.*member);
        return values;
    };
    const DesignStimuli designStimuli{designList(Option::ildDb, &ToneOptions::ildDb),
                                      designList(Option::itdUs, &ToneOptions::itdUs),
                                      designList(Option::snr, &ToneOptions::snrDb)};
    const bool oneEarListed =
        std::any_of(designChannels.begin(), designChannels.end(),
                    [](ToneOptions::Channel ear) { return ear != ToneOptions::Channel::bothEars; });
    for (const Option difference : {Option::ildDb, Option::itdUs})
        if (oneEarListed && inputs.value(difference) != optionRow(difference).defaultValue)
            refuse(optionRow(difference).flag, inputs.value(difference),
                   QStringLiteral("a difference between the ears is for files of both ears: "
                                  "--channel both."));
    for (const char* list : {"frequencies", "notes"})
        if (parser.isSet(QLatin1String(list))) {
            if (!request.plan.pitchList.isEmpty())
                refuse(QLatin1String(list), parser.value(QLatin1String(list)),
                       QStringLiteral("not with --frequencies: one list of pitches."));
            const QString text = parser.value(QLatin1String(list));
            const std::optional<QList<double>> pitches =
                QLatin1String(list) == QLatin1String("notes") ? noteList(text)
                                                              : frequencyList(text);
            if (!pitches)
                refuse(QLatin1String(list), text,
                       QLatin1String(list) == QLatin1String("notes")
                           ? QStringLiteral("not notes of octaves -1 to 10 like A3..A5 or "
                                            "C4,Eb4,G4, at most %1 of them.")
                                 .arg(longestPitchList)
                           : QStringLiteral("not frequencies from 1 to 32767 Hz like "
                                            "250,500,1000, at most %1 of them.")
                                 .arg(longestPitchList));
            request.plan.pitchList = *pitches;
            if (QLatin1String(list) == QLatin1String("notes"))
                request.plan.notesText = text;
        }
    if (request.plan.pitchList.isEmpty() &&
        request.plan.options.pitchDraw == ToneOptions::PitchDraw::list) {
        const std::optional<QList<double>> pitches = pitchesOf(request.plan.options.pitchList);
        if (!pitches)
            refuse(QStringLiteral("pitch-list"), request.plan.options.pitchList,
                   QStringLiteral("the list draw needs frequencies or notes."));
        request.plan.pitchList = *pitches;
        if (noteList(request.plan.options.pitchList))
            request.plan.notesText = request.plan.options.pitchList;
    }
    request.plan.noteNames = noteSpellings(request.plan.notesText);
    if (!designBalanced && parser.isSet(QStringLiteral("repeats")))
        refuse(QStringLiteral("repeats"), parser.value(QStringLiteral("repeats")),
               QStringLiteral("rounds are for a balanced design: add --balanced."));
    if (designBalanced && request.plan.pitchList.isEmpty())
        refuse(QStringLiteral("balanced"), QString(),
               QStringLiteral("needs the pitches listed with --frequencies, --notes or "
                              "--pitch-list."));
    // A design balances what it lists; a modulation's rates would only be drawn.
    for (const Option modulation : {Option::am, Option::fm})
        if (designBalanced && inputs.value(modulation)
                                  .section(QLatin1Char(','), 0, 0)
                                  .contains(QRegularExpression(QStringLiteral("[-/]"))))
            refuse(optionRow(modulation).flag, inputs.value(modulation),
                   QStringLiteral("a balanced design balances only what it lists: give one rate, "
                                  "or leave out --balanced to draw the rate per tone."));
    if (designBalanced && request.plan.options.intervalCents != 0)
        designIntervalSigns = {1, -1};
    if (designBalanced) {
        // Counted in floating point first: lists long enough could pass 64 bits together.
        double roundSize = double(request.plan.pitchList.size()) * double(designLevels.size()) *
                           double(designChannels.size()) * double(designIntervalSigns.size());
        for (const QList<double>* list :
             {&designStimuli.ildDbs, &designStimuli.itdUs, &designStimuli.snrDbs})
            roundSize *= double(std::max<qsizetype>(1, list->size()));
        const int repeats =
            parser.isSet(QStringLiteral("repeats"))
                ? wholeNumber(QStringLiteral("repeats"), parser.value(QStringLiteral("repeats")), 1,
                              maximumBatchCount, QStringLiteral("a number of rounds"))
                : 1;
        if (roundSize * repeats > maximumBatchCount)
            refuse(QStringLiteral("repeats"), QString::number(repeats),
                   QStringLiteral("more than %1 tones.").arg(maximumBatchCount));
        const qsizetype round = qsizetype(roundSize);
        const qsizetype fewer = std::max<qsizetype>(round, request.plan.count / round * round);
        const qsizetype more = (request.plan.count / round + 1) * round;
        QString nearest = QString::number(fewer);
        if (more != fewer)
            nearest += QStringLiteral(" or ") + QString::number(more);
        if (!parser.isSet(QStringLiteral("count")))
            request.plan.count = int(round * repeats);
        else if (request.plan.count % round != 0)
            refuse(QStringLiteral("count"), inputs.value(Option::count),
                   QStringLiteral("not a whole number of rounds of %1 tones; %2 would be.")
                       .arg(round)
                       .arg(nearest));
    }
    if (designBalanced)
        request.plan.design.emplace(request.plan.pitchList, designLevels, designChannels,
                                    designIntervalSigns, designStimuli);
    if (request.plan.options.levelReference == ToneOptions::LevelReference::rms) {
        const QString word = waveformWord(waveformRowText(*request.plan.waveform));
        const double highest = *std::max_element(designLevels.begin(), designLevels.end());
        const double room = request.plan.highestTone().peakOverRmsDb();
        if (highest + room > 0)
            refuse(QStringLiteral("level"), inputs.value(Option::level),
                   QStringLiteral("at an RMS level of %1 dBFS the %2's peak would pass 0 dBFS; the "
                                  "level may be at most %3.")
                       .arg(highest)
                       .arg(word)
                       .arg(std::floor(-room * 10) / 10));
    }
    // The set's highest pitch needs the highest rate, and so the largest files.
    checkLength(request.plan);
    // The bounds must allow the pitch draw: one trial draw tells.
    try {
        std::mt19937_64 trial;
        if (request.plan.pitchList.isEmpty())
            drawPitch(request.plan.from, request.plan.to, request.plan.options.pitchDraw, trial);
    } catch (const Failure& failure) {
        // The window's error report names the overflow alone; here the bounds are known.
        const QString why = failure.description() == FailureText::overflow
                                ? QStringLiteral("the bounds may lie at most 32766 Hz apart.")
                                : failure.description();
        refuse(QStringLiteral("from"), inputs.value(Option::from),
               QStringLiteral("with --to \"%1\": %2").arg(inputs.value(Option::to), why));
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool number = false;
        const QString text = parser.value(QStringLiteral("seed"));
        request.seed = text.toULongLong(&number);
        if (!number)
            refuse(QStringLiteral("seed"), text,
                   QStringLiteral("not a whole number from 0 to 18446744073709551615."));
    }
    if (parser.isSet(QStringLiteral("shard"))) {
        const QString text = parser.value(QStringLiteral("shard"));
        const QStringList parts = text.split(QLatin1Char('/'));
        bool shardNumber = false;
        bool shardsNumber = false;
        request.plan.shard = parts.value(0).toInt(&shardNumber);
        request.plan.shards = parts.value(1).toInt(&shardsNumber);
        if (parts.size() != 2 || !shardNumber || !shardsNumber || request.plan.shards < 1 ||
            request.plan.shard < 1 || request.plan.shard > request.plan.shards ||
            request.plan.shards > request.plan.count)
            refuse(QStringLiteral("shard"), text,
                   QStringLiteral("not K/N with 1 <= K <= N <= the count (%1).")
                       .arg(request.plan.count));
        if (request.plan.options.neverOverwrite)
            refuse(QStringLiteral("shard"), text,
                   QStringLiteral("not with --never-overwrite: a shard's numbers are fixed by the "
                                  "set."));
    }
    if (parser.isSet(QStringLiteral("split-by")) && !parser.isSet(QStringLiteral("split")))
        refuse(QStringLiteral("split-by"), parser.value(QStringLiteral("split-by")),
               QStringLiteral("the splits are asked for with --split."));
    if (parser.isSet(QStringLiteral("split"))) {
        const QString text = parser.value(QStringLiteral("split"));
        request.plan.splits = SetSplits::read(text);
        if (!request.plan.splits)
            refuse(QStringLiteral("split"), text,
                   QStringLiteral("not NAME=SHARE,... with shares above 0 that add up to 1, "
                                  "like train=0.8,validation=0.1,test=0.1; a name is letters, "
                                  "digits, _ and -, not beginning with -, which a spreadsheet "
                                  "would run as a formula in the answer key."));
        if (parser.isSet(QStringLiteral("split-by"))) {
            const QString by = parser.value(QStringLiteral("split-by"));
            if (by != QLatin1String("set") && by != QLatin1String("number"))
                refuse(QStringLiteral("split-by"), by, QStringLiteral("not one of set, number."));
            request.plan.splitByNumber = by == QLatin1String("number");
        }
        if (request.plan.options.neverOverwrite)
            refuse(QStringLiteral("split"), text,
                   QStringLiteral("not with --never-overwrite: the splits part the set's own "
                                  "numbers."));
    }
    if (parser.isSet(QStringLiteral("digits"))) {
        request.digits =
            wholeNumber(QStringLiteral("digits"), parser.value(QStringLiteral("digits")), 0, 19,
                        QStringLiteral("a number of digits"));
        // Names padded to fewer digits than the largest number would not sort.
        const int needed = int(QString::number(request.plan.count).size());
        if (request.digits > 0 && request.digits < needed)
            refuse(QStringLiteral("digits"), parser.value(QStringLiteral("digits")),
                   QStringLiteral("fewer than the %1 digits of the largest number, %2: the names "
                                  "would not sort.")
                       .arg(needed)
                       .arg(request.plan.count));
    }
    request.jobs = defaultJobs();
    if (parser.isSet(QStringLiteral("jobs")))
        request.jobs = wholeNumber(QStringLiteral("jobs"), parser.value(QStringLiteral("jobs")), 1,
                                   256, QStringLiteral("a number of runs at once"));
    request.engine = batchEngines().first();
    if (parser.isSet(QStringLiteral("engine")))
        request.engine = batchEngines()[checkedWord(
            QStringLiteral("engine"), parser.value(QStringLiteral("engine")), engineNames())];
    // The set's waveform and options, as each of its tones has them.
    const Tone setTone{{}, {}, request.plan.waveform, 0, request.plan.options};
    const bool noise = setTone.isNoise();
    const ToneOptions& shaped = request.plan.options;
    if (!noise && shaped.tonesPerFile > 1 && shaped.shape != ToneOptions::Shape::steady)
        refuse(QStringLiteral("tones-per-file"), inputs.value(Option::tonesPerFile),
               sweepInSequenceText);
    if (!noise && shaped.shape != ToneOptions::Shape::steady &&
        shaped.sweep == ToneOptions::Sweep::log &&
        shaped.sweepEnds == ToneOptions::SweepEnds::bounds &&
        request.plan.from * request.plan.to == 0)
        refuse(QStringLiteral("from"), inputs.value(Option::from),
               QStringLiteral("with --to \"%1\": a logarithmic sweep cannot start or end at 0 Hz.")
                   .arg(inputs.value(Option::to)));
    const bool sines = request.plan.waveform == Waveform::sine;
    for (const Option made : {Option::harmonics, Option::am, Option::fm})
        if (!inputs.value(made).trimmed().isEmpty() && !sines)
            refuse(optionRow(made).flag, inputs.value(made),
                   QStringLiteral("made of sines: --type sine."));
    for (const Option made : {Option::am, Option::fm})
        if (!inputs.value(made).trimmed().isEmpty() && shaped.shape != ToneOptions::Shape::steady &&
            shaped.sweep == ToneOptions::Sweep::log)
            refuse(optionRow(made).flag, inputs.value(made),
                   QStringLiteral("a modulated sweep keeps its side bands beside it only when it "
                                  "sweeps evenly in hertz: --sweep linear."));
    if (shaped.masker != ToneOptions::Masker::none && noise)
        refuse(QStringLiteral("noise"), inputs.value(Option::masker),
               QStringLiteral("a noise goes under a pitched type, not under a noise."));
    if (shaped.masker != ToneOptions::Masker::none && request.engine != BatchEngine::library)
        refuse(QStringLiteral("noise"), inputs.value(Option::masker),
               QStringLiteral("the noise is set against the tone by making it again from its "
                              "seed, which only the library engine can."));
    if (parser.isSet(QStringLiteral("band"))) {
        const QString text = parser.value(QStringLiteral("band"));
        request.plan.band = noiseBandOf(text);
        if (!noise && shaped.masker == ToneOptions::Masker::none)
            refuse(QStringLiteral("band"), text,
                   QStringLiteral("only noise is filtered to a band: a noise type, or --noise "
                                  "under the tone."));
        if (!request.plan.band)
            refuse(QStringLiteral("band"), text,
                   QStringLiteral("not a band LOW-HIGH in Hz with LOW below HIGH."));
    } else if (request.plan.options.noiseBandFromBounds) {
        if (request.plan.from == request.plan.to)
            refuse(QStringLiteral("from"), inputs.value(Option::from),
                   QStringLiteral("with --to \"%1\": a noise band needs two different bounds.")
                       .arg(inputs.value(Option::to)));
        request.plan.band = bandBetween(request.plan.from, request.plan.to);
    }
    if (!noise && shaped.masker == ToneOptions::Masker::none)
        request.plan.band.reset();
    // What no tone of the set could be made as asked is refused before the first one.
    if (const std::optional<SetRefusal> refusal = request.plan.refusal()) {
        const QMap<QString, QString> refused{
            {QStringLiteral("fade"), QString::number(request.plan.options.fadeMs)},
            {QStringLiteral("rate"), QString::number(request.plan.options.sampleRate)},
            {QStringLiteral("band"), request.plan.band ? request.plan.band->text() : QString()},
            {QStringLiteral("fm"), request.plan.options.fm}};
        const bool climbs =
            request.plan.options.tonesPerFile > 1 && request.plan.options.intervalCents != 0;
        if (refused.contains(refusal->option))
            refuse(refusal->option, refused.value(refusal->option), refusal->reason);
        refuse(climbs ? QStringLiteral("interval-cents") : QStringLiteral("to"),
               climbs ? QString::number(request.plan.options.intervalCents)
                      : decimalText(request.plan.highestPitch()),
               refusal->reason);
    }
    // The loudest tone at the lowest SNR, with the loudest noise its kind and length may give.
    if (setTone.isInNoise()) {
        const double lowestSnr = std::min(
            request.plan.options.snrDb,
            designStimuli.snrDbs.isEmpty()
                ? HUGE_VAL
                : *std::min_element(designStimuli.snrDbs.begin(), designStimuli.snrDbs.end()));
        const double highest = *std::max_element(designLevels.begin(), designLevels.end());
        const double fits = highestLevelInNoise(request.plan.highestTone(), lowestSnr);
        if (highest > fits)
            refuse(QStringLiteral("level"), inputs.value(Option::level),
                   QStringLiteral("in its noise at an SNR of %1 dB a tone at %2 dBFS could pass "
                                  "0 dBFS; the level may be at most %3.")
                       .arg(decimalText(lowestSnr), decimalText(highest), decimalText(fits)));
    }
    if (setTone.isNoiseAtRmsLevel() && request.engine != BatchEngine::library)
        refuse(QStringLiteral("level-reference"), QStringLiteral("rms"),
               QStringLiteral("noise is set to its RMS by making it again from its seed, which "
                              "only the library engine can."));
    request.quiet = parser.isSet(QStringLiteral("quiet"));
    request.checksums = parser.isSet(QStringLiteral("checksums"));
    return request;
}

// Refuses every option given but `allowed`, saying why.
void refuseOtherOptions(const QCommandLineParser& parser, const QStringList& allowed,
                        const QString& why) {
    for (const QString& name : parser.optionNames())
        if (!allowed.contains(name))
            refuse(name, parser.value(name), why);
}

// The options a remake takes beside the manifest: where and how it runs, not what it makes.
const QStringList remakeRunFlags{QStringLiteral("folder"), QStringLiteral("jobs"),
                                 QStringLiteral("engine"), QStringLiteral("quiet"),
                                 QStringLiteral("checksums")};

// A manifest's value as the command line writes it.
QString argumentText(const QJsonValue& value) {
    if (value.isDouble())
        return decimalText(value.toDouble());
    if (value.isArray()) {
        QStringList items;
        for (const QJsonValue& item : value.toArray())
            items << argumentText(item);
        return items.join(QLatin1Char(','));
    }
    return value.toString();
}

// The command line that makes the set of the manifest at `path` again, with the run flags the
// user gave. Refuses a manifest that is not one, or of a newer format; warns when the set was
// made with another libsox, whose files may differ.
QStringList remakeArguments(const QString& program, const QString& path,
                            const QCommandLineParser& parser) {
    refuseOtherOptions(parser, remakeRunFlags + QStringList{QStringLiteral("remake")},
                       QStringLiteral("not with --remake: the manifest says what the set is made "
                                      "with."));
    QJsonObject manifest;
    try {
        manifest = readSetManifest(path);
    } catch (const Failure& failure) {
        refuse(QStringLiteral("remake"), path, failure.description());
    }
    if (manifest.value(QStringLiteral("program")).toString() != QLatin1String("ziravel-batch"))
        refuse(QStringLiteral("remake"), path, QStringLiteral("not a set's manifest."));
    // A format is a whole number this program wrote; the first manifests wrote none.
    const QJsonValue formatValue = manifest.value(QStringLiteral("manifest_format"));
    const double format = formatValue.isUndefined() ? 1 : formatValue.toDouble(-1);
    if (!formatValue.isUndefined() &&
        (!formatValue.isDouble() || format < 1 || format != std::floor(format)))
        refuse(QStringLiteral("remake"), path,
               QStringLiteral("its manifest_format is not a format this program wrote."));
    if (!manifest.value(QStringLiteral("options")).isObject() ||
        !manifest.value(QStringLiteral("seed")).isString() ||
        !manifest.value(QStringLiteral("count")).isDouble())
        refuse(QStringLiteral("remake"), path,
               QStringLiteral("the manifest does not hold what decides the set: its options, "
                              "seed and count."));
    if (format > setManifestFormat)
        refuse(QStringLiteral("remake"), path,
               QStringLiteral("a manifest of format %1, newer than this program reads (%2).")
                   .arg(decimalText(format))
                   .arg(setManifestFormat));
    const QString madeWith = manifest.value(QStringLiteral("libsox")).toString();
    if (!madeWith.isEmpty() && madeWith != libsoxVersionText())
        std::fprintf(stderr,
                     "ziravel-batch: the set was made with libsox %s and this is %s: its files "
                     "may differ.\n",
                     qPrintable(printable(madeWith)),
                     qPrintable(libsoxVersionText().isEmpty() ? QStringLiteral("none")
                                                              : libsoxVersionText()));
    QStringList arguments{program};
    const QJsonObject options = manifest.value(QStringLiteral("options")).toObject();
    const QMap<QString, QString> lists{
        {QStringLiteral("levels"), QStringLiteral("level")},
        {QStringLiteral("channels"), QStringLiteral("channel")},
        {QStringLiteral("frequencies"), QStringLiteral("frequencies")},
        {QStringLiteral("notes"), QStringLiteral("notes")},
        {QStringLiteral("band"), QStringLiteral("band")},
        {QStringLiteral("split"), QStringLiteral("split")},
        {QStringLiteral("split-by"), QStringLiteral("split-by")},
        {QStringLiteral("digits"), QStringLiteral("digits")}};
    for (auto option = options.begin(); option != options.end(); ++option) {
        const QString& name = option.key();
        const auto row =
            std::find_if(optionTable().begin(), optionTable().end(),
                         [&name](const OptionRow& known) { return known.flag == name; });
        if (name == QLatin1String("balanced") ||
            (row != optionTable().end() && row->kind == OptionRow::Kind::flag)) {
            // A flag as a boolean, or as the "0" or "1" of older manifests.
            if (option.value().toBool() || option.value().toString() == QLatin1String("1"))
                arguments << QStringLiteral("--") + name;
        } else if (row != optionTable().end() || lists.contains(name)) {
            arguments << QStringLiteral("--") + lists.value(name, name)
                      << argumentText(option.value());
        } else {
            refuse(QStringLiteral("remake"), path,
                   QStringLiteral("the manifest names an option this program does not know: "
                                  "%1.")
                       .arg(name));
        }
    }
    arguments << QStringLiteral("--seed") << manifest.value(QStringLiteral("seed")).toString()
              << QStringLiteral("--count")
              << QString::number(manifest.value(QStringLiteral("count")).toInt());
    if (const QString shard = manifest.value(QStringLiteral("shard")).toString(); !shard.isEmpty())
        arguments << QStringLiteral("--shard") << shard;
    if (manifest.value(QStringLiteral("checksums")).toBool() &&
        !parser.isSet(QStringLiteral("checksums")))
        arguments << QStringLiteral("--checksums");
    if (!parser.isSet(QStringLiteral("engine")))
        arguments << QStringLiteral("--engine")
                  << manifest.value(QStringLiteral("engine")).toString();
    if (!parser.isSet(QStringLiteral("folder")))
        arguments << QStringLiteral("--folder") << QFileInfo(path).absolutePath();
    for (const QString& flag : remakeRunFlags)
        if (parser.isSet(flag)) {
            arguments << QStringLiteral("--") + flag;
            if (flag != QLatin1String("quiet") && flag != QLatin1String("checksums"))
                arguments << parser.value(flag);
        }
    return arguments;
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
                    QStringLiteral("1")),
        "n");
    add(sound, {"band"},
        QStringLiteral("Filter the noise types, or the --noise under a tone, to this band in Hz, "
                       "e.g. 500-2000"),
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
                    QStringLiteral("set")),
        "set|number", {QStringLiteral("set"), QStringLiteral("number")});
    add(files, {"checksums"},
        QStringLiteral("Add each made file's SHA-256 to the answer key (column sha256)"));
    add(files, {"digits"},
        withDefault(QStringLiteral("Pad the numbers with zeros to this many digits"),
                    QStringLiteral("0, no padding")),
        "n");
    addInputs(Option::sampleRate, Option::snr);
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
        withDefault(QStringLiteral("What makes the tones: %1. The library makes the tool's files "
                                   "in-process, with noise and dither from --seed")
                        .arg(engineNames().join(QStringLiteral(" or "))),
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

    if (parser.isSet(QStringLiteral("merge"))) {
        const QString prefix = parser.isSet(QStringLiteral("prefix"))
                                   ? parser.value(QStringLiteral("prefix"))
                                   : optionRow(Option::prefix).defaultValue;
        try {
            refuseOtherOptions(
                parser,
                {QStringLiteral("merge"), QStringLiteral("prefix"), QStringLiteral("quiet")},
                QStringLiteral("not with --merge: the shards say what the set is."));
            return MergeRequest{parser.value(QStringLiteral("merge")),
                                checkedText(optionRow(Option::prefix), prefix),
                                parser.isSet(QStringLiteral("quiet"))};
        } catch (const Refusal& refusal) {
            return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
        }
    }
    if (parser.isSet(QStringLiteral("remake"))) {
        QStringList remade;
        try {
            remade =
                remakeArguments(arguments.first(), parser.value(QStringLiteral("remake")), parser);
        } catch (const Refusal& refusal) {
            return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
        }
        // What the manifest holds is refused as the manifest's, not as words the user wrote.
        BatchCommand command = readBatchRequest(remade);
        if (auto* refused = std::get_if<BatchAnswer>(&command); refused && refused->exitStatus != 0)
            refused->text.replace(
                QStringLiteral("ziravel-batch: --"),
                QStringLiteral("ziravel-batch: --remake \"%1\": the manifest's --")
                    .arg(printable(parser.value(QStringLiteral("remake")))));
        return command;
    }
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
        return checkedRequest(inputs, parser);
    } catch (const Refusal& refusal) {
        return BatchAnswer{refusal.text + QLatin1Char('\n'), badInputStatus};
    }
}

BatchCommand readBatchRequest(int argc, char* argv[]) {
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
}
