// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/SetManifest.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "synth/OptionTable.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>

QString setManifestName(const QString& prefix, int shard, int shards) {
    return shards > 0 ? QStringLiteral("%1set-%2-of-%3.json").arg(prefix).arg(shard).arg(shards)
                      : prefix + QStringLiteral("set.json");
}

QJsonObject setManifest(const SetPlan& plan, const ManifestRun& run, Tone first) {
    first.outputPath = QFileInfo(first.outputPath).fileName();
    QJsonObject options{{QStringLiteral("length"), plan.lengthText},
                        {QStringLiteral("from"), plan.from},
                        {QStringLiteral("to"), plan.to},
                        {QStringLiteral("type"), waveformWord(waveformRowText(*plan.waveform))},
                        {QStringLiteral("format"), fileExtension(plan.format).mid(1)},
                        {QStringLiteral("digits"), run.digits}};
    for (const OptionRow& option : toneOptionTable())
        options.insert(option.flag, option.get(plan.options));
    if (plan.band)
        options.insert(QStringLiteral("band"), plan.band->text());
    if (!plan.pitchList.isEmpty()) {
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
    }
    const QJsonObject manifest{
        {QStringLiteral("program"), QStringLiteral("ziravel-batch")},
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
    return manifest;
}

QJsonObject withEarlierRuns(QJsonObject manifest, const QString& path) {
    QJsonObject earlier;
    try {
        constexpr qint64 largestManifest = 64 << 20;
        earlier = QJsonDocument::fromJson(readRegularFile(path, largestManifest)).object();
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
