// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MakeRequest.h"

#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "set/ToneDesign.h"
#include "tone/NumberText.h"
#include "tone/PitchLists.h"
#include "tone/ToneDraws.h"
#include "tone/ToneLimits.h"

#include <QDir>
#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <random>

namespace {

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

// What the make command has read so far, and the lists of a balanced design, which later
// checks weigh.
struct MakeReading {
    const Inputs& inputs;
    const QCommandLineParser& parser;
    BatchRequest request;
    bool balanced = false;
    // Levels, channels, ear differences and SNRs, each a list in a balanced design.
    QMap<Option, QStringList> listTexts;
    QList<double> levels;
    QList<ToneOptions::Channel> channels;
    QList<int> intervalSigns{1};
    DesignStimuli stimuli;

    bool isSet(const char* flag) const { return parser.isSet(QLatin1String(flag)); }
    QString value(const char* flag) const { return parser.value(QLatin1String(flag)); }
};

// The window's own fields: length, count, bounds, type, folder and format.
void readFields(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    const Inputs& inputs = read.inputs;
    plan.lengthText = inputs.value(Option::length);
    // Read first at the lowest rate, before any other input: at least one sample, as SoX
    // writes without end for a length of none.
    checkLength(plan);
    plan.count = int(numberInText(checkedText(Option::count, inputs)));
    plan.from = qint16(numberInText(checkedText(Option::from, inputs)));
    plan.to = qint16(numberInText(checkedText(Option::to, inputs)));
    plan.waveform = Waveform(checkedText(Option::type, inputs).toInt());
    read.request.folder = checkedFolder(inputs.value(Option::folder));
    plan.format =
        ExportFormat(optionRow(Option::format).words.indexOf(checkedText(Option::format, inputs)));
}

// The tone's options, each listed value of a balanced design checked as the option's one value.
void readToneOptions(MakeReading& read) {
    const Inputs& inputs = read.inputs;
    read.balanced = read.isSet("balanced");
    const QList<Option> listed{Option::level, Option::channel, Option::ildDb, Option::itdUs,
                               Option::snr};
    const QMap<Option, QString> listedNames{
        {Option::level, QStringLiteral("levels")},
        {Option::channel, QStringLiteral("channels")},
        {Option::ildDb, QStringLiteral("ear level differences")},
        {Option::itdUs, QStringLiteral("ear time differences")},
        {Option::snr, QStringLiteral("SNRs")}};
    for (const Option option : listed) {
        const QString text = inputs.value(option);
        read.listTexts[option] = read.balanced ? text.split(QLatin1Char(',')) : QStringList{text};
        if (!read.balanced && text.contains(QLatin1Char(',')))
            refuse(optionRow(option).flag, text,
                   QStringLiteral("a list of %1 is for a balanced design: add --balanced.")
                       .arg(listedNames.value(option)));
    }
    Inputs first = inputs;
    for (const Option option : listed)
        first[option] = read.listTexts[option].first();
    ToneOptions& options = read.request.plan.options;
    options = checkedOptions(first);
    if (options.floatSamples && read.request.plan.format != ExportFormat::wav)
        refuse(QStringLiteral("sample-size"), inputs.value(Option::sampleSize),
               QStringLiteral("floating point samples are for WAV files; FLAC holds 16 or 24 "
                              "bits."));
    const auto listedValues = [&](Option option) {
        QList<ToneOptions> values;
        for (const QString& text : read.listTexts[option])
            values.append(withOption(options, optionRow(option), text));
        return values;
    };
    for (const ToneOptions& value : listedValues(Option::level))
        read.levels.append(value.levelDb);
    for (const ToneOptions& value : listedValues(Option::channel))
        read.channels.append(value.channel);
    // A difference or an SNR listed once is the option's own value, not a design's list.
    const auto designList = [&](Option option, double ToneOptions::*member) {
        QList<double> values;
        if (read.listTexts[option].size() > 1)
            for (const ToneOptions& value : listedValues(option))
                values.append(value.*member);
        return values;
    };
    read.stimuli = {designList(Option::ildDb, &ToneOptions::ildDb),
                    designList(Option::itdUs, &ToneOptions::itdUs),
                    designList(Option::snr, &ToneOptions::snrDb)};
    const bool oneEarListed =
        std::any_of(read.channels.begin(), read.channels.end(),
                    [](ToneOptions::Channel ear) { return ear != ToneOptions::Channel::bothEars; });
    for (const Option difference : {Option::ildDb, Option::itdUs})
        if (oneEarListed && inputs.value(difference) != optionRow(difference).defaultValue)
            refuse(optionRow(difference).flag, inputs.value(difference),
                   QStringLiteral("a difference between the ears is for files of both ears: "
                                  "--channel both."));
}

// The pitches drawn from: --frequencies or --notes, else the list draw's own list.
void readPitchList(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    for (const char* list : {"frequencies", "notes"})
        if (read.isSet(list)) {
            const bool notes = QLatin1String(list) == QLatin1String("notes");
            if (!plan.pitchList.isEmpty())
                refuse(QLatin1String(list), read.value(list),
                       QStringLiteral("not with --frequencies: one list of pitches."));
            const QString text = read.value(list);
            const std::optional<QList<double>> pitches =
                notes ? noteList(text) : frequencyList(text);
            if (!pitches)
                refuse(QLatin1String(list), text,
                       notes ? QStringLiteral("not notes of octaves -1 to 10 like A3..A5 or "
                                              "C4,Eb4,G4, at most %1 of them.")
                                   .arg(longestPitchList)
                             : QStringLiteral("not frequencies from 1 to 32767 Hz like "
                                              "250,500,1000, at most %1 of them.")
                                   .arg(longestPitchList));
            plan.pitchList = *pitches;
            if (notes)
                plan.notesText = text;
        }
    if (plan.pitchList.isEmpty() && plan.options.pitchDraw == ToneOptions::PitchDraw::list) {
        const std::optional<QList<double>> pitches = pitchesOf(plan.options.pitchList);
        if (!pitches)
            refuse(QStringLiteral("pitch-list"), plan.options.pitchList,
                   QStringLiteral("the list draw needs frequencies or notes."));
        plan.pitchList = *pitches;
        if (noteList(plan.options.pitchList))
            plan.notesText = plan.options.pitchList;
    }
    plan.noteNames = noteSpellings(plan.notesText);
}

// The count of a balanced design: whole rounds, --repeats of them when no count is given.
void readRounds(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    // Counted in floating point first: lists long enough could pass 64 bits together.
    double roundSize = double(plan.pitchList.size()) * double(read.levels.size()) *
                       double(read.channels.size()) * double(read.intervalSigns.size());
    for (const QList<double>* list :
         {&read.stimuli.ildDbs, &read.stimuli.itdUs, &read.stimuli.snrDbs})
        roundSize *= double(std::max<qsizetype>(1, list->size()));
    const int repeats = read.isSet("repeats")
                            ? wholeNumber(QStringLiteral("repeats"), read.value("repeats"), 1,
                                          maximumBatchCount, QStringLiteral("a number of rounds"))
                            : defaultRepeats;
    if (roundSize * repeats > maximumBatchCount)
        refuse(QStringLiteral("repeats"), QString::number(repeats),
               QStringLiteral("more than %1 tones.").arg(maximumBatchCount));
    const qsizetype round = qsizetype(roundSize);
    const qsizetype fewer = std::max<qsizetype>(round, plan.count / round * round);
    const qsizetype more = (plan.count / round + 1) * round;
    QString nearest = QString::number(fewer);
    if (more != fewer)
        nearest += QStringLiteral(" or ") + QString::number(more);
    if (!read.isSet("count"))
        plan.count = int(round * repeats);
    else if (plan.count % round != 0)
        refuse(QStringLiteral("count"), read.inputs.value(Option::count),
               QStringLiteral("not a whole number of rounds of %1 tones; %2 would be.")
                   .arg(round)
                   .arg(nearest));
}

// A balanced design: what it lists, in whole rounds.
void readDesign(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    if (!read.balanced && read.isSet("repeats"))
        refuse(QStringLiteral("repeats"), read.value("repeats"),
               QStringLiteral("rounds are for a balanced design: add --balanced."));
    if (read.balanced && plan.pitchList.isEmpty())
        refuse(QStringLiteral("balanced"), QString(),
               QStringLiteral("needs the pitches listed with --frequencies, --notes or "
                              "--pitch-list."));
    // A design balances what it lists; a modulation's rates would only be drawn.
    for (const Option modulation : {Option::am, Option::fm})
        if (read.balanced && read.inputs.value(modulation)
                                 .section(QLatin1Char(','), 0, 0)
                                 .contains(QRegularExpression(QStringLiteral("[-/]"))))
            refuse(optionRow(modulation).flag, read.inputs.value(modulation),
                   QStringLiteral("a balanced design balances only what it lists: give one rate, "
                                  "or leave out --balanced to draw the rate per tone."));
    if (!read.balanced)
        return;
    if (plan.options.intervalCents != 0)
        read.intervalSigns = {1, -1};
    readRounds(read);
    plan.design.emplace(plan.pitchList, read.levels, read.channels, read.intervalSigns,
                        read.stimuli);
}

// The level an RMS reference leaves room for, the length at the set's highest rate, and bounds
// the pitch draw can draw from.
void checkLevelAndBounds(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    const Inputs& inputs = read.inputs;
    if (plan.options.levelReference == ToneOptions::LevelReference::rms) {
        const QString word = waveformWord(waveformRowText(*plan.waveform));
        const double highest = *std::max_element(read.levels.begin(), read.levels.end());
        const double room = plan.highestTone().peakOverRmsDb();
        if (highest + room > 0)
            refuse(QStringLiteral("level"), inputs.value(Option::level),
                   QStringLiteral("at an RMS level of %1 dBFS the %2's peak would pass 0 dBFS; the "
                                  "level may be at most %3.")
                       .arg(highest)
                       .arg(word)
                       .arg(std::floor(-room * 10) / 10));
    }
    // The set's highest pitch needs the highest rate, and so the largest files.
    checkLength(plan);
    // The bounds must allow the pitch draw: one trial draw tells.
    try {
        std::mt19937_64 trial;
        if (plan.pitchList.isEmpty())
            drawPitch(plan.from, plan.to, plan.options.pitchDraw, trial);
    } catch (const Failure& failure) {
        // The window's error report names the overflow alone; here the bounds are known.
        const QString why = failure.description() == FailureText::overflow
                                ? QStringLiteral("the bounds may lie at most 32766 Hz apart.")
                                : failure.description();
        refuse(QStringLiteral("from"), inputs.value(Option::from),
               QStringLiteral("with --to \"%1\": %2").arg(inputs.value(Option::to), why));
    }
}

// --shard K/N: a slice of the set's fixed numbers.
void readShard(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    const QString text = read.value("shard");
    const QStringList parts = text.split(QLatin1Char('/'));
    bool shardNumber = false;
    bool shardsNumber = false;
    plan.shard = parts.value(0).toInt(&shardNumber);
    plan.shards = parts.value(1).toInt(&shardsNumber);
    if (parts.size() != 2 || !shardNumber || !shardsNumber || plan.shards < 1 || plan.shard < 1 ||
        plan.shard > plan.shards || plan.shards > plan.count)
        refuse(QStringLiteral("shard"), text,
               QStringLiteral("not K/N with 1 <= K <= N <= the count (%1).").arg(plan.count));
    if (plan.options.neverOverwrite)
        refuse(QStringLiteral("shard"), text,
               QStringLiteral("not with --never-overwrite: a shard's numbers are fixed by the "
                              "set."));
}

// --split and --split-by: the set parted into named shares.
void readSplits(MakeReading& read) {
    SetPlan& plan = read.request.plan;
    if (read.isSet("split-by") && !read.isSet("split"))
        refuse(QStringLiteral("split-by"), read.value("split-by"),
               QStringLiteral("the splits are asked for with --split."));
    if (!read.isSet("split"))
        return;
    const QString text = read.value("split");
    plan.splits = SetSplits::read(text);
    if (!plan.splits)
        refuse(QStringLiteral("split"), text,
               QStringLiteral("not NAME=SHARE,... with shares above 0 that add up to 1, "
                              "like train=0.8,validation=0.1,test=0.1; a name is letters, "
                              "digits, _ and -, not beginning with -, which a spreadsheet "
                              "would run as a formula in the answer key."));
    if (read.isSet("split-by")) {
        const QString by = read.value("split-by");
        if (!splitWays.contains(by))
            refuse(QStringLiteral("split-by"), by,
                   QStringLiteral("not one of %1.").arg(splitWays.join(QStringLiteral(", "))));
        plan.splitByNumber = by == splitWays[1];
    }
    if (plan.options.neverOverwrite)
        refuse(QStringLiteral("split"), text,
               QStringLiteral("not with --never-overwrite: the splits part the set's own "
                              "numbers."));
}

// How the set is run and named: seed, shard, splits, digits, jobs and engine.
void readRunFlags(MakeReading& read) {
    BatchRequest& request = read.request;
    if (read.isSet("seed"))
        request.seed = checkedSeed(QStringLiteral("seed"), read.value("seed"));
    if (read.isSet("shard"))
        readShard(read);
    readSplits(read);
    if (read.isSet("digits")) {
        request.digits = wholeNumber(QStringLiteral("digits"), read.value("digits"), 0, 19,
                                     QStringLiteral("a number of digits"));
        // Names padded to fewer digits than the largest number would not sort.
        const int needed = int(QString::number(request.plan.count).size());
        if (request.digits > 0 && request.digits < needed)
            refuse(QStringLiteral("digits"), read.value("digits"),
                   QStringLiteral("fewer than the %1 digits of the largest number, %2: the names "
                                  "would not sort.")
                       .arg(needed)
                       .arg(request.plan.count));
    }
    request.jobs = defaultJobs();
    if (read.isSet("jobs"))
        request.jobs = wholeNumber(QStringLiteral("jobs"), read.value("jobs"), 1, 256,
                                   QStringLiteral("a number of runs at once"));
    request.engine = batchEngines().first();
    if (read.isSet("engine"))
        request.engine = batchEngines()[checkedWord(QStringLiteral("engine"), read.value("engine"),
                                                    engineNames())];
    request.quiet = read.isSet("quiet");
    request.checksums = read.isSet("checksums");
}

// What the set's waveform allows of its shape and of what is made of sines or lies under it.
void checkWhatTheTypeAllows(const MakeReading& read, const Tone& setTone) {
    const Inputs& inputs = read.inputs;
    const SetPlan& plan = read.request.plan;
    const bool noise = setTone.isNoise();
    const ToneOptions& shaped = plan.options;
    if (!noise && shaped.tonesPerFile > 1 && shaped.shape != ToneOptions::Shape::steady)
        refuse(QStringLiteral("tones-per-file"), inputs.value(Option::tonesPerFile),
               sweepInSequenceText);
    if (!noise && shaped.shape != ToneOptions::Shape::steady &&
        shaped.sweep == ToneOptions::Sweep::log &&
        shaped.sweepEnds == ToneOptions::SweepEnds::bounds && plan.from * plan.to == 0)
        refuse(QStringLiteral("from"), inputs.value(Option::from),
               QStringLiteral("with --to \"%1\": a logarithmic sweep cannot start or end at 0 Hz.")
                   .arg(inputs.value(Option::to)));
    const bool sines = plan.waveform == Waveform::sine;
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
    if (shaped.binaural != ToneOptions::Binaural::none) {
        if (shaped.masker == ToneOptions::Masker::none)
            refuse(QStringLiteral("binaural"), inputs.value(Option::binaural),
                   QStringLiteral("a binaural condition is of a tone in noise: give --noise."));
        if (read.channels != QList<ToneOptions::Channel>{ToneOptions::Channel::bothEars})
            refuse(QStringLiteral("binaural"), inputs.value(Option::binaural),
                   QStringLiteral("a binaural condition is made for both ears: --channel both."));
        for (const Option difference : {Option::ildDb, Option::itdUs})
            if (inputs.value(difference) != optionRow(difference).defaultValue)
                refuse(optionRow(difference).flag, inputs.value(difference),
                       QStringLiteral("the binaural condition decides the ears: leave the "
                                      "differences between them out."));
    }
    if (shaped.masker != ToneOptions::Masker::none && read.request.engine != BatchEngine::library)
        refuse(QStringLiteral("noise"), inputs.value(Option::masker),
               QStringLiteral("the noise is set against the tone by making it again from its "
                              "seed, which %1")
                   .arg(libraryEngineOnly()));
}

// The band noise is filtered to, --band or the bounds, and the one --notch takes out of it.
void readBand(MakeReading& read, bool noise) {
    SetPlan& plan = read.request.plan;
    const bool masked = plan.options.masker != ToneOptions::Masker::none;
    for (const char* option : {"band", "notch"}) {
        if (!read.isSet(option))
            continue;
        const bool band = option == QLatin1String("band");
        const QString text = read.value(option);
        (band ? plan.band : plan.notch) = noiseBandOf(text);
        if (!noise && !masked)
            refuse(QLatin1String(option), text,
                   band ? QStringLiteral("only noise is filtered to a band: a noise type, or "
                                         "--noise under the tone.")
                        : QStringLiteral("only noise is notched: a noise type, or --noise under "
                                         "the tone."));
        if (!noiseBandOf(text))
            refuse(QLatin1String(option), text,
                   QStringLiteral("not a band LOW-HIGH in Hz with LOW below HIGH."));
    }
    if (!read.isSet("band") && plan.options.noiseBandFromBounds) {
        if (plan.from == plan.to)
            refuse(QStringLiteral("from"), read.inputs.value(Option::from),
                   QStringLiteral("with --to \"%1\": a noise band needs two different bounds.")
                       .arg(read.inputs.value(Option::to)));
        plan.band = bandBetween(plan.from, plan.to);
    }
    if (!noise && !masked)
        plan.band.reset();
    if (plan.band && plan.notch &&
        (plan.notch->low <= plan.band->low || plan.notch->high >= plan.band->high))
        refuse(QStringLiteral("notch"), plan.notch->text(),
               QStringLiteral("the notch must lie inside the --band %1.").arg(plan.band->text()));
}

// What no tone of the set could be made as asked is refused before the first one, told by the
// option that asks for it.
void checkSetCanBeMade(const MakeReading& read, const Tone& setTone) {
    const SetPlan& plan = read.request.plan;
    if (const std::optional<SetRefusal> refusal = plan.refusal()) {
        const QMap<QString, QString> refused{
            {QStringLiteral("fade"), QString::number(plan.options.fadeMs)},
            {QStringLiteral("rate"), QString::number(plan.options.sampleRate)},
            {QStringLiteral("band"), plan.band ? plan.band->text() : QString()},
            {QStringLiteral("fm"), plan.options.fm}};
        const bool climbs = plan.options.tonesPerFile > 1 && plan.options.intervalCents != 0;
        if (refused.contains(refusal->option))
            refuse(refusal->option, refused.value(refusal->option), refusal->reason);
        refuse(climbs ? QStringLiteral("interval-cents") : QStringLiteral("to"),
               climbs ? QString::number(plan.options.intervalCents)
                      : decimalText(plan.highestPitch()),
               refusal->reason);
    }
    // The loudest tone at the lowest SNR, with the loudest noise its kind and length may give.
    if (setTone.isInNoise()) {
        const QList<double>& snrs = read.stimuli.snrDbs;
        const double lowestSnr =
            std::min(plan.options.snrDb,
                     snrs.isEmpty() ? HUGE_VAL : *std::min_element(snrs.begin(), snrs.end()));
        const double highest = *std::max_element(read.levels.begin(), read.levels.end());
        const double fits = highestLevelInNoise(plan.highestTone(), lowestSnr);
        if (highest > fits)
            refuse(QStringLiteral("level"), read.inputs.value(Option::level),
                   QStringLiteral("in its noise at an SNR of %1 dB a tone at %2 dBFS could pass "
                                  "0 dBFS; the level may be at most %3.")
                       .arg(decimalText(lowestSnr), decimalText(highest), decimalText(fits)));
    }
    if (setTone.isNoiseAtRmsLevel() && read.request.engine != BatchEngine::library)
        refuse(QStringLiteral("level-reference"), QStringLiteral("rms"),
               QStringLiteral("noise is set to its RMS by making it again from its seed, which %1")
                   .arg(libraryEngineOnly()));
}

} // namespace

BatchRequest checkedMakeRequest(const Inputs& inputs, const QCommandLineParser& parser) {
    MakeReading read{inputs, parser, {}};
    readFields(read);
    readToneOptions(read);
    readPitchList(read);
    readDesign(read);
    checkLevelAndBounds(read);
    readRunFlags(read);
    // The set's waveform and options, as each of its tones has them.
    const Tone setTone{{}, {}, read.request.plan.waveform, 0, read.request.plan.options};
    checkWhatTheTypeAllows(read, setTone);
    readBand(read, setTone.isNoise());
    checkSetCanBeMade(read, setTone);
    return read.request;
}
