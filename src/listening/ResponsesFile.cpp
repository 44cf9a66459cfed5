// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/ResponsesFile.h"

#include "runner/Failure.h"
#include "set/AnswerKey.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <functional>
#include <utility>

namespace {

QString optionalWhole(std::optional<quint64> value) {
    return value ? QString::number(*value) : QString();
}

using ResponseField = std::pair<const char*, std::function<QString(const ResponseRow&)>>;

const QList<ResponseField>& responseFields() {
    static const QList<ResponseField> fields{
        {"session", [](const ResponseRow& row) { return row.session; }},
        {"trial", [](const ResponseRow& row) { return QString::number(row.trial); }},
        {"seconds", [](const ResponseRow& row) { return optionalNumber(row.seconds); }},
        {"procedure", [](const ResponseRow& row) { return row.procedure; }},
        {"seed", [](const ResponseRow& row) { return optionalWhole(row.seed); }},
        {"tone_seed", [](const ResponseRow& row) { return optionalWhole(row.toneSeed); }},
        {"intervals",
         [](const ResponseRow& row) {
             return row.intervals > 0 ? QString::number(row.intervals) : QString();
         }},
        {"interval_s", [](const ResponseRow& row) { return optionalNumber(row.intervalSeconds); }},
        {"gap_ms",
         [](const ResponseRow& row) {
             return row.gapMs ? QString::number(*row.gapMs) : QString();
         }},
        {"target_interval",
         [](const ResponseRow& row) {
             return row.targetInterval ? QString::number(*row.targetInterval) : QString();
         }},
        {"standard_hz", [](const ResponseRow& row) { return optionalNumber(row.standardHz); }},
        {"target_hz", [](const ResponseRow& row) { return optionalNumber(row.targetHz); }},
        {"standard_level_db",
         [](const ResponseRow& row) { return optionalNumber(row.standardLevelDb); }},
        {"target_level_db",
         [](const ResponseRow& row) { return optionalNumber(row.targetLevelDb); }},
        {"itd_us", [](const ResponseRow& row) { return optionalNumber(row.itdUs); }},
        {"ild_db", [](const ResponseRow& row) { return optionalNumber(row.ildDb); }},
        {"snr_db", [](const ResponseRow& row) { return optionalNumber(row.snrDb); }},
        {"noise_from",
         [](const ResponseRow& row) {
             QStringList places;
             for (const qint64 from : row.noiseFrom)
                 places << QString::number(from);
             return places.join(QLatin1Char(';'));
         }},
        {"file", [](const ResponseRow& row) { return row.file; }},
        {"expected", [](const ResponseRow& row) { return row.expected; }},
        {"answer", [](const ResponseRow& row) { return row.answer; }},
        {"correct", [](const ResponseRow& row) { return yesNo(row.correct); }},
        {"reaction_ms", [](const ResponseRow& row) { return optionalNumber(row.reactionMs); }},
        {"value", [](const ResponseRow& row) { return optionalNumber(row.value); }},
        {"reversal",
         [](const ResponseRow& row) { return row.reversal ? yesNo(*row.reversal) : QString(); }},
    };
    return fields;
}

} // namespace

QStringList responseColumns() {
    QStringList columns;
    for (const ResponseField& field : responseFields())
        columns << QLatin1String(field.first);
    return columns;
}

QByteArray responsesHeader() {
    return responseColumns().join(QLatin1Char(',')).toUtf8() + '\n';
}

QByteArray responseRowText(const ResponseRow& row) {
    QStringList fields;
    for (const ResponseField& field : responseFields())
        fields << csvField(field.second(row));
    return fields.join(QLatin1Char(',')).toUtf8() + '\n';
}

QString responsesName(const QString& prefix) {
    return prefix + QStringLiteral("responses.csv");
}

QString sessionSummaryName(const QString& prefix) {
    return prefix + QStringLiteral("session.json");
}

ResponsesFile::ResponsesFile(const QString& path, bool syncEachRow)
    : m_path(path), m_syncEachRow(syncEachRow) {
    try {
        m_file = std::make_unique<AppendingFile>(path, responsesHeader());
    } catch (const Failure& failure) {
        throw Failure(QStringLiteral("The results file %1 cannot be written: %2")
                          .arg(path, failure.description()));
    }
}

ResponsesFile::~ResponsesFile() {
    if (!m_syncEachRow) {
        try {
            m_file->sync();
        } catch (const Failure&) {
            // The rows are written; only their moment on disk is the system's.
        }
    }
}

void ResponsesFile::add(const ResponseRow& row) {
    try {
        m_file->append(responseRowText(row));
        if (m_syncEachRow)
            m_file->sync();
    } catch (const Failure& failure) {
        throw Failure(QStringLiteral("The results file %1 cannot be written: %2")
                          .arg(m_path, failure.description()));
    }
}

void keepSessionSummary(const QString& path, const QJsonObject& summary) {
    QJsonArray sessions;
    QFile earlier(path);
    if (earlier.open(QIODevice::ReadOnly)) {
        // A file that holds no summaries is not ours to replace.
        const QJsonValue held =
            QJsonDocument::fromJson(earlier.readAll())[QLatin1String("sessions")];
        if (!held.isArray())
            throw Failure(QStringLiteral("The session summary %1 cannot be written: the file there "
                                         "holds no session summaries, and is left as it is.")
                              .arg(path));
        sessions = held.toArray();
    }
    const QJsonValue id = summary[QLatin1String("id")];
    qsizetype at = 0;
    while (at < sessions.size() && sessions[at].toObject()[QLatin1String("id")] != id)
        ++at;
    if (at < sessions.size())
        sessions[at] = summary;
    else
        sessions.append(summary);
    try {
        writeFileSafely(
            path, QJsonDocument(QJsonObject{{QStringLiteral("sessions"), sessions}}).toJson());
    } catch (const Failure& failure) {
        throw Failure(QStringLiteral("The session summary %1 cannot be written: %2")
                          .arg(path, failure.description()));
    }
}

QString newSessionId() {
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss-")) +
           // 64 random bits: two sessions begun in the same second never share an id, under which
           // one's summary would replace the other's.
           QString::number(QRandomGenerator::system()->generate64(), 16)
               .rightJustified(16, QLatin1Char('0'));
}
