// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/SetManifest.h"

#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "tone/NumberText.h"
#include "tone/ToneCommand.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <algorithm>

QString setManifestName(const QString& prefix, int shard, int shards) {
    return shards > 0 ? QStringLiteral("%1set-%2-of-%3.json").arg(prefix).arg(shard).arg(shards)
                      : prefix + QStringLiteral("set.json");
}

namespace {

// An option's value as the manifest types it: a flag as a boolean, a number (or one of a list
// of numbers) as a number, anything else as its text.
QJsonValue typedValue(const OptionRow& option, const QString& text) {
    if (option.kind == OptionRow::Kind::flag)
        return text == QLatin1String("1");
    double number = 0;
    const bool numeric =
        option.kind == OptionRow::Kind::number ||
        (option.kind == OptionRow::Kind::words &&
         std::all_of(option.words.begin(), option.words.end(),
                     [](const QString& word) { return word.toDouble() != 0 || word == "0"; }));
    if (numeric && parseNumberText(text, number))
        return number;
    return text;
}

// The design's list of an ear difference or an SNR; empty when not listed.
const QList<double>& designList(Option option, const ToneDesign& design) {
    return option == Option::ildDb   ? design.stimuli().ildDbs
           : option == Option::itdUs ? design.stimuli().itdUs
                                     : design.stimuli().snrDbs;
}

// Whether the option could change the set's files: an option that could not is left out, so
// that two manifests of the same files are the same.
bool decidesFiles(Option option, const SetPlan& plan, bool noise) {
    switch (option) {
    case Option::pitchList:
        // The list is written whole, as "frequencies" or "notes".
        return false;
    case Option::balanced:
        // Written with the design's lists.
        return false;
    case Option::pitchDraw:
        return !noise && plan.pitchList.isEmpty();
    case Option::shape:
    case Option::intervalCents:
        return !noise && idleReason(option, plan.options, noise).isEmpty();
    case Option::level:
    case Option::channel:
        return !plan.design;
    case Option::ildDb:
    case Option::itdUs:
    case Option::snr:
        // A design's list is written whole, as a list.
        if (plan.design && !designList(option, *plan.design).isEmpty())
            return false;
        if (option == Option::ildDb)
            return idleReason(option, plan.options, noise).isEmpty();
        [[fallthrough]];
    case Option::fadeShape:
    case Option::harmonics:
    case Option::harmonicSlope:
    case Option::harmonicPhase:
    case Option::am:
    case Option::fm:
    case Option::masker:
    case Option::binaural:
    case Option::noiseAlone:
    case Option::fineItd:
        // Left out at the default, as in the manifests made before the program had them.
        return optionRow(option).get(plan.options) != optionRow(option).defaultValue &&
               idleReason(option, plan.options, noise).isEmpty();
    default:
        return idleReason(option, plan.options, noise).isEmpty();
    }
}

} // namespace

QJsonObject setManifest(const SetPlan& plan, const ManifestRun& run, Tone first) {
    first.outputPath = QFileInfo(first.outputPath).fileName();
    const bool noise = Tone{{}, {}, plan.waveform}.isNoise();
    QJsonObject options{{QStringLiteral("length"), plan.lengthText},
                        {QStringLiteral("type"), waveformWord(waveformRowText(*plan.waveform))},
                        {QStringLiteral("format"), fileExtension(plan.format).mid(1)},
                        {QStringLiteral("digits"), run.digits}};
    // The bounds decide a pitch drawn between them or a sweep between them; a noise's pitch,
    // drawn between them too, goes to the tool, which ignores it.
    if (noise || plan.pitchList.isEmpty() || plan.shapeReadsBounds()) {
        options.insert(QStringLiteral("from"), plan.from);
        options.insert(QStringLiteral("to"), plan.to);
    }
    for (const OptionRow& option : toneOptionTable())
        if (decidesFiles(option.id, plan, noise))
            options.insert(option.flag, typedValue(option, option.get(plan.options)));
    if (plan.band)
        options.insert(QStringLiteral("band"), plan.band->text());
    if (plan.notch)
        options.insert(QStringLiteral("notch"), plan.notch->text());
    if (plan.splits)
        options.insert(QStringLiteral("split"), plan.splits->text());
    if (plan.splits && plan.splitByNumber)
        options.insert(QStringLiteral("split-by"), QStringLiteral("number"));
    if (!plan.notesText.isEmpty()) {
        options.insert(QStringLiteral("notes"), plan.notesText);
    } else if (!plan.pitchList.isEmpty()) {
        QJsonArray pitches;
        for (const double hertz : plan.pitchList)
            pitches.append(hertz);
        options.insert(QStringLiteral("frequencies"), pitches);
    }
    if (plan.design) {
        QJsonArray levels;
        QJsonArray channels;
        for (const double level : plan.design->levels())
            levels.append(level);
        ToneOptions words;
        for (const ToneOptions::Channel channel : plan.design->channels()) {
            words.channel = channel;
            channels.append(optionWord(Option::channel, words));
        }
        options.insert(QStringLiteral("balanced"), true);
        options.insert(QStringLiteral("levels"), levels);
        options.insert(QStringLiteral("channels"), channels);
        // Lists of numbers, as the levels are.
        for (const Option listed : {Option::ildDb, Option::itdUs, Option::snr}) {
            QJsonArray values;
            for (const double value : designList(listed, *plan.design))
                values.append(value);
            if (!values.isEmpty())
                options.insert(optionRow(listed).flag, values);
        }
    }
    QJsonObject manifest{
        {QStringLiteral("program"), QStringLiteral("ziravel-batch")},
        {QStringLiteral("manifest_format"), setManifestFormat},
        {QStringLiteral("version"), QCoreApplication::applicationVersion()},
        {QStringLiteral("engine"), run.engine},
        {QStringLiteral("seed"), QString::number(plan.seed)},
        {QStringLiteral("count"), plan.count},
        {QStringLiteral("shard"),
         plan.shards > 0 ? QStringLiteral("%1/%2").arg(plan.shard).arg(plan.shards) : QString()},
        {QStringLiteral("first_number"), run.firstNumber},
        {QStringLiteral("tones"), plan.slice().count},
        {QStringLiteral("options"), options},
        {QStringLiteral("first_tone_arguments"), QJsonArray::fromStringList(toolArguments(first))}};
    if (!run.libsoxVersion.isEmpty())
        manifest.insert(QStringLiteral("libsox"), run.libsoxVersion);
    if (run.checksums)
        manifest.insert(QStringLiteral("checksums"), true);
    return manifest;
}

QJsonObject readSetManifest(const QString& path, Links links) {
    constexpr qint64 largestManifest = 64 << 20;
    return QJsonDocument::fromJson(readRegularFile(path, largestManifest, links)).object();
}

QJsonObject withEarlierRuns(QJsonObject manifest, const QString& path) {
    QJsonObject earlier;
    try {
        earlier = readSetManifest(path);
    } catch (const Failure&) {
        // None yet, or none of ours.
    }
    if (earlier.isEmpty())
        return manifest;
    QJsonArray runs = earlier.take(QStringLiteral("earlier_runs")).toArray();
    runs.append(earlier);
    manifest.insert(QStringLiteral("earlier_runs"), runs);
    return manifest;
}
