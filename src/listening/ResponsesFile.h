// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/SafeFile.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

// One trial as the results file keeps it: who and when, what was played (enough to make it
// again), what was answered, and where the procedure stood.
struct ResponseRow {
    QString session;
    qint64 trial = 0;
    std::optional<double> seconds; // from the session's start; none for a simulated listener
    QString procedure;             // a forced-choice task's name, or "identification"
    std::optional<quint64> seed;   // the session's; a trial is made from it, its number and value
    std::optional<quint64> toneSeed;
    int intervals = 0;
    std::optional<double> intervalSeconds;
    std::optional<int> gapMs;
    std::optional<int> targetInterval;
    std::optional<double> standardHz;
    std::optional<double> targetHz;
    std::optional<double> standardLevelDb;
    std::optional<double> targetLevelDb;
    std::optional<double> itdUs;
    std::optional<double> ildDb;
    std::optional<double> snrDb;
    // Detection: where each interval's noise was cut from the tool's repeatable noise, in samples.
    QList<qint64> noiseFrom;
    QString file;     // identification: the set's file played
    QString expected; // identification: its value in the key's column
    QString answer;   // the interval's number, or the value chosen
    bool correct = false;
    std::optional<double> reactionMs; // from the end of the last interval
    std::optional<double> value;      // the staircase's
    std::optional<bool> reversal;
};

// The results file's columns, in their order, and its header line.
QStringList responseColumns();
QByteArray responsesHeader();
// The row as UTF-8 comma-separated text, its line end included.
QByteArray responseRowText(const ResponseRow& row);

// "<prefix>responses.csv" and "<prefix>session.json".
QString responsesName(const QString& prefix);
QString sessionSummaryName(const QString& prefix);

// The results of the sessions in a folder: each row added at the end and on disk before
// add() returns, so that a session killed at any moment leaves rows that are all true.
// Earlier sessions' rows stay; a session's rows are told by its id.
class ResponsesFile {
public:
    // Opens or makes the file (never through a link). Throws Failure naming the file.
    // `syncEachRow` false: rows a simulation makes again at will reach the disk at the end.
    explicit ResponsesFile(const QString& path, bool syncEachRow = true);
    ~ResponsesFile();
    void add(const ResponseRow& row);
    QString path() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<AppendingFile> m_file;
    bool m_syncEachRow;
};

// Puts the session's summary into the summaries file at the path, under its "id": the other
// sessions' stay as they were. Written safely; throws Failure naming the file.
void keepSessionSummary(const QString& path, const QJsonObject& summary);

// A session's id: its start in UTC and a random number that sets it apart from others begun then.
QString newSessionId();
