// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/RemakeCommand.h"

#include "cli/BatchEngines.h"
#include "cli/CommandBase.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "set/SetManifest.h"
#include "tone/NumberText.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

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

} // namespace

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
        {QStringLiteral("notch"), QStringLiteral("notch")},
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
