// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/MergeCommand.h"

#include "making/ToneEngine.h"
#include "making/ToneNumbering.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/RunLock.h"
#include "runner/SafeFile.h"
#include "set/AnswerKey.h"
#include "set/SetManifest.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>
#include <memory>

namespace {

// Raised when the shards cannot be merged: the line the user sees.
struct MergeFailure {
    QString text;
};

QByteArray readShardKey(const QString& path) {
    try {
        // A key grows with its set: a shard of millions of tones holds some hundreds of MB.
        constexpr qint64 largestKey = qint64(4) << 30;
        return readRegularFile(path, largestKey, Links::refused);
    } catch (const Failure& failure) {
        throw MergeFailure{failure.description()};
    }
}

QJsonObject readShardManifest(const QString& path) {
    try {
        return readSetManifest(path, Links::refused);
    } catch (const Failure& failure) {
        throw MergeFailure{failure.description()};
    }
}

// What every shard's manifest shares with the set's: all but what tells the shard.
QJsonObject setPart(QJsonObject manifest) {
    for (const char* key : {"shard", "tones", "first_number", "first_tone_arguments"})
        manifest.remove(QLatin1String(key));
    return manifest;
}

// The tones a shard's run makes, as its manifest must tell them: slice `shard` of `shards` of
// the set's numbers, each tone's file and seed as the set's seed and its number give them.
struct ShardSlice {
    QString manifestName;
    qint64 first = 1;
    qint64 tones = 0;
    quint64 seed = 0;
    QString prefix;
    int digits = 0;
    QString extension;
};

ShardSlice checkedSlice(const QJsonObject& manifest, const QString& prefix, int shard, int shards) {
    ShardSlice slice;
    slice.manifestName = setManifestName(prefix, shard, shards);
    const qint64 count = manifest.value(QStringLiteral("count")).toInteger();
    slice.first = qint64(shard - 1) * count / shards + 1;
    slice.tones = qint64(shard) * count / shards - slice.first + 1;
    bool seedRead = false;
    slice.seed = manifest.value(QStringLiteral("seed")).toString().toULongLong(&seedRead);
    if (count < shards || !seedRead ||
        manifest.value(QStringLiteral("tones")).toInteger() != slice.tones ||
        manifest.value(QStringLiteral("first_number")).toInteger() != slice.first ||
        manifest.value(QStringLiteral("shard")).toString() !=
            QStringLiteral("%1/%2").arg(shard).arg(shards))
        throw MergeFailure{QStringLiteral("%1 does not tell slice %2 of %3 of a set of %4 tones: "
                                          "its count, seed, first number or tones are not a "
                                          "shard's.")
                               .arg(slice.manifestName)
                               .arg(shard)
                               .arg(shards)
                               .arg(count)};
    const QJsonObject options = manifest.value(QStringLiteral("options")).toObject();
    slice.prefix = prefix;
    slice.digits = options.value(QStringLiteral("digits")).toInt();
    slice.extension = QLatin1Char('.') + options.value(QStringLiteral("format")).toString();
    return slice;
}

// The key's lines after its header, which must be the given one (the first shard's gives it
// when empty), each the row of the tone its place in the slice gives: on one line, naming that
// tone's file and seed.
QList<QByteArray> keyRows(const QString& path, QByteArray& header, const ShardSlice& slice) {
    QList<QByteArray> lines = readShardKey(path).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    if (header.isEmpty() && !lines.isEmpty() &&
        isAnswerKeyHeader(QString::fromUtf8(lines.first()).split(QLatin1Char(','))))
        header = lines.first();
    if (lines.isEmpty() || lines.first() != header)
        throw MergeFailure{QStringLiteral("%1 is no answer key of this program.").arg(path)};
    const qsizetype columns = header.count(',') + 1;
    lines.removeFirst();
    if (lines.size() != slice.tones)
        throw MergeFailure{QStringLiteral("%1 holds %2 rows where its manifest says %3 tones: its "
                                          "run did not end.")
                               .arg(path)
                               .arg(lines.size())
                               .arg(slice.tones)};
    const qsizetype seedColumn = answerKeyColumns().indexOf(QStringLiteral("tone_seed"));
    for (qsizetype at = 0; at < lines.size(); ++at) {
        const qint64 number = slice.first + at;
        const std::optional<QStringList> fields = answerKeyFields(lines[at]);
        if (!fields || fields->size() != columns ||
            fields->first() != toneFileName(slice.prefix, number, slice.digits, slice.extension) ||
            fields->value(seedColumn) != QString::number(toneSeed(slice.seed, number)))
            throw MergeFailure{QStringLiteral("%1: row %2 is not the row of tone %3 of the set "
                                              "%4 tells.")
                                   .arg(path)
                                   .arg(at + 1)
                                   .arg(number)
                                   .arg(slice.manifestName)};
    }
    return lines;
}

void merge(const MergeRequest& request) {
    const QDir folder(expandedFolder(request.folder));
    const QRegularExpression shardName(QStringLiteral("^%1set-(\\d+)-of-(\\d+)\\.json$")
                                           .arg(QRegularExpression::escape(request.prefix)));
    QMap<int, QString> manifests;
    int shards = 0;
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden)) {
        const QRegularExpressionMatch match = shardName.match(name);
        if (!match.hasMatch())
            continue;
        const int of = match.captured(2).toInt();
        if (shards != 0 && of != shards)
            throw MergeFailure{QStringLiteral("%1 is a shard of %2, the others of %3: the folder "
                                              "holds shards of two runs.")
                                   .arg(name)
                                   .arg(of)
                                   .arg(shards)};
        shards = of;
        manifests.insert(match.captured(1).toInt(), folder.filePath(name));
    }
    if (shards == 0)
        throw MergeFailure{QStringLiteral("%1 holds no shard of a set named %2...")
                               .arg(QDir::toNativeSeparators(folder.path()), request.prefix)};
    for (int shard = 1; shard <= shards; ++shard)
        if (!manifests.contains(shard))
            throw MergeFailure{QStringLiteral("shard %1 of %2 is missing: %3.")
                                   .arg(shard)
                                   .arg(shards)
                                   .arg(setManifestName(request.prefix, shard, shards))};
    // The set's own run and this merge write the same key: one at a time.
    std::unique_ptr<RunLock> lock;
    try {
        lock = std::make_unique<RunLock>(
            folder.filePath(QLatin1Char('.') + answerKeyName(request.prefix) +
                            QStringLiteral(".lock")),
            false, thisRunText(QStringLiteral("ziravel-batch --merge")));
    } catch (const Failure& failure) {
        throw MergeFailure{failure.description()};
    }
    QJsonObject whole;
    QByteArray header;
    QByteArray rows;
    for (int shard = 1; shard <= shards; ++shard) {
        const QJsonObject manifest = readShardManifest(manifests[shard]);
        if (shard == 1) {
            whole = manifest;
        } else if (setPart(manifest) != setPart(whole)) {
            throw MergeFailure{QStringLiteral("%1 is of another set: its seed, count or options "
                                              "differ from shard 1's.")
                                   .arg(setManifestName(request.prefix, shard, shards))};
        }
        for (const QByteArray& row :
             keyRows(folder.filePath(answerKeyName(request.prefix, shard, shards)), header,
                     checkedSlice(manifest, request.prefix, shard, shards)))
            rows += row + '\n';
    }
    const QByteArray key = header + '\n' + rows;
    // What one run of the whole set writes: shard 1 begins with the set's first tone.
    whole.insert(QStringLiteral("shard"), QString());
    whole.insert(QStringLiteral("tones"), whole.value(QStringLiteral("count")));
    try {
        writeFileSafely(folder.filePath(answerKeyName(request.prefix)), key);
        writeFileSafely(folder.filePath(setManifestName(request.prefix, 0, 0)),
                        QJsonDocument(whole).toJson());
    } catch (const Failure& failure) {
        throw MergeFailure{failure.description()};
    }
    if (!request.quiet)
        std::fprintf(
            stderr, "Merged %d shards of %lld tones. Key: %s\n", shards,
            whole.value(QStringLiteral("count")).toInteger(),
            qPrintable(QDir::toNativeSeparators(folder.filePath(answerKeyName(request.prefix)))));
}

} // namespace

int mergeShards(const MergeRequest& request) {
    try {
        merge(request);
        return 0;
    } catch (const MergeFailure& failure) {
        std::fprintf(stderr, "ziravel-batch: --merge \"%s\": %s\n", qPrintable(request.folder),
                     qPrintable(failure.text));
        return 1;
    }
}
