// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CommandBase.h"

#include "runner/FileProbes.h"
#include "tone/NumberText.h"

#include <QDir>
#include <QFileInfo>

#include <QThread>
#include <algorithm>
#include <cmath>

namespace {

QString wordList(const QStringList& words) {
    return words.join(QStringLiteral(", "));
}

} // namespace

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

void refuseOtherOptions(const QCommandLineParser& parser, const QStringList& allowed,
                        const QString& why) {
    for (const QString& name : parser.optionNames())
        if (!allowed.contains(name))
            refuse(name, parser.value(name), why);
}

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

double decimalNumber(const QString& option, const QString& text, double lowest, double highest,
                     const QString& what) {
    double value = 0;
    if (!parseNumberText(text, value) || !std::isfinite(value) || value < lowest || value > highest)
        refuse(option, text,
               QStringLiteral("not %1 from %2 to %3.")
                   .arg(what, decimalText(lowest), decimalText(highest)));
    return value;
}

QString checkedFolder(const QString& text) {
    const QString path = expandedFolder(text);
    if (!folderExists(path) && !QDir().mkpath(path))
        refuse(QStringLiteral("folder"), text, QStringLiteral("the folder cannot be made."));
    if (!QFileInfo(path).isWritable())
        refuse(QStringLiteral("folder"), text, QStringLiteral("the folder cannot be written."));
    return text;
}

quint64 checkedSeed(const QString& option, const QString& text) {
    bool number = false;
    const quint64 seed = text.toULongLong(&number);
    if (!number)
        refuse(option, text, QStringLiteral("not a whole number from 0 to 18446744073709551615."));
    return seed;
}

int checkedWord(const QString& option, const QString& text, const QStringList& words) {
    const qsizetype at = words.indexOf(text.toLower());
    if (at < 0)
        refuse(option, text, QStringLiteral("not one of %1.").arg(wordList(words)));
    return int(at);
}

QString checkedText(const OptionRow& option, const QString& text) {
    const std::optional<QString> read = readOption(option, text);
    if (!read)
        refuse(option.flag, text, optionRefusal(option));
    return *read;
}

int defaultJobs() {
    return std::max(1, QThread::idealThreadCount());
}

QStringList engineNames() {
    QStringList names;
    for (const BatchEngine engine : batchEngines())
        names << batchEngineName(engine);
    return names;
}
