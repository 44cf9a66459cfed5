// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/BatchEngines.h"
#include "options/OptionTable.h"

#include <QCommandLineParser>
#include <QMap>
#include <QString>
#include <QStringList>

// What every command of ziravel-batch reads its options with: a refusal names the option and
// the value, and says why, in one line.

// Raised by a check: the line the user sees.
struct Refusal {
    QString text;
};

// The text with each control character shown as an escape: a refused value or a manifest's text
// never reaches the terminal raw.
QString printable(const QString& text);

[[noreturn]] void refuse(const QString& option, const QString& value, const QString& why);

// Refuses every option given but `allowed`, saying why.
void refuseOtherOptions(const QCommandLineParser& parser, const QStringList& allowed,
                        const QString& why);

// A whole number between the limits, read as the window reads its fields: rounded to the
// nearest, halfway to the even neighbour.
int wholeNumber(const QString& option, const QString& text, int lowest, int highest,
                const QString& what);

// A decimal number between the limits, as the window reads its fields.
double decimalNumber(const QString& option, const QString& text, double lowest, double highest,
                     const QString& what);

// The folder as typed, made with its parents when it is not there; refused when it cannot be
// made or written.
QString checkedFolder(const QString& text);

// A seed: a whole number from 0 to 2^64 - 1.
quint64 checkedSeed(const QString& option, const QString& text);

// One of the words; its place among them.
int checkedWord(const QString& option, const QString& text, const QStringList& words);

// The input's text as the table reads it, which must pass the option's check.
QString checkedText(const OptionRow& option, const QString& text);

// One run for each core.
int defaultJobs();

// The names of the engines this build offers, the default first.
QStringList engineNames();

// The inputs as texts, before they are checked: the defaults, the window's stored values, or
// what the command line says.
using Inputs = QMap<Option, QString>;
