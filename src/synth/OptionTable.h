// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/ToneOptions.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// One option of a tone, in one place: where it is stored and its default, what it may hold,
// its ziravel-batch flag and help, and its row in the window's "More options" panel. The
// settings, the command line and the panel all read it.
struct OptionSpec {
    enum class Kind {
        words,   // one of `words`, shown as the `rows` of a list
        number,  // a number from `lowest` to `highest`, kept to `decimals` places
        text,    // a file-name prefix
        flag,    // on ("1") or off ("0"); a switch on the command line
        pitches, // frequencies or notes (pitchesOf()), or nothing
    };

    QString key{};          // the settings key
    QString defaultValue{}; // as stored
    Kind kind{};
    QStringList words{};
    QStringList rows{};
    int lowest = 0;
    int highest = 0;
    int decimals = 0;
    QString what{};      // a number's kind, for its refusal: "a level in dBFS"
    QString unit{};      // after a number in the panel: " dBFS"
    QString flag{};      // ziravel-batch's option
    QString valueName{}; // its value in --help
    QString help{};      // its line in --help
    QString label{};     // the panel's row label; empty beside a check box
    QString name{};      // the control's accessible name, or the check box's text
    QString description{};
    bool inWindow = true; // whether the panel shows it; the window makes it at its default
    // The option in ToneOptions as stored text, and set from a text that readOption() accepted.
    std::function<QString(const ToneOptions&)> get{};
    std::function<void(ToneOptions&, const QString&)> set{};
};

// The options' settings keys, which name them.
namespace OptionKey {
inline const QString sampleRate = QStringLiteral("OptionSampleRate");
inline const QString sampleSize = QStringLiteral("OptionSampleSize");
inline const QString level = QStringLiteral("OptionLevel");
inline const QString levelReference = QStringLiteral("OptionLevelReference");
inline const QString fade = QStringLiteral("OptionFade");
inline const QString channel = QStringLiteral("OptionChannel");
inline const QString pitchDraw = QStringLiteral("OptionPitchDraw");
inline const QString prefix = QStringLiteral("OptionPrefix");
inline const QString neverOverwrite = QStringLiteral("OptionNeverOverwrite");
inline const QString pitchList = QStringLiteral("OptionPitchList");
inline const QString balanced = QStringLiteral("OptionBalanced");
inline const QString noiseBand = QStringLiteral("OptionNoiseBand");
inline const QString shape = QStringLiteral("OptionShape");
inline const QString sweep = QStringLiteral("OptionSweep");
inline const QString sweepEnds = QStringLiteral("OptionSweepEnds");
inline const QString tonesPerFile = QStringLiteral("OptionTonesPerFile");
inline const QString gap = QStringLiteral("OptionGap");
inline const QString intervalCents = QStringLiteral("OptionIntervalCents");
} // namespace OptionKey

// The options in the order the panel and --help show them.
const QList<OptionSpec>& toneOptionTable();

// The option of the table with that settings key (one of OptionKey's).
const OptionSpec& optionSpec(const QString& key);

// The option's value in the options, as the command line and the settings write it.
QString optionWord(const QString& key, const ToneOptions& options);

// The option read from a text as typed, given or stored: the canonical text when it is one of
// the option's own (a word in any case, a whole number within the limits read as the window
// reads its fields, a safe prefix, "0" or "1"); nothing otherwise.
std::optional<QString> readOption(const OptionSpec& option, const QString& text);

// Why a text is not one of the option's own, for a refusal on the command line.
QString optionRefusal(const OptionSpec& option);

// The options from stored texts: a text that is not one of its option's own gives way to the
// default.
ToneOptions toneOptionsFrom(const std::function<QString(const OptionSpec&)>& texts);
