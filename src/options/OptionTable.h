// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/StoredInputs.h"
#include "tone/ToneOptions.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The inputs of a set, in the order the panel and --help show them within their sections: the
// window's main fields first, then the tone's options.
enum class Option {
    length,
    count,
    type,
    from,
    to,
    folder,
    format,
    sampleRate,
    sampleSize,
    level,
    levelReference,
    fade,
    fadeShape,
    channel,
    ildDb,
    itdUs,
    pitchDraw,
    prefix,
    neverOverwrite,
    pitchList,
    balanced,
    noiseBand,
    shape,
    sweep,
    sweepEnds,
    tonesPerFile,
    gap,
    intervalCents,
    harmonics,
    harmonicSlope,
    harmonicPhase,
    am,
    fm,
    masker,
    snr,
    binaural,
    noiseAlone,
    fineItd,
};

// Where an option stands in --help and the manual page.
enum class OptionSection { make, pitch, sound, files, running, listening };

// The group of the "More options" panel an option's row stands in.
enum class PanelGroup { sound, pitch, shape, noise, files };

// The most tones one batch makes: its memory does not grow with the count.
inline constexpr int maximumBatchCount = 10000000;

// One input, in one place: where it is stored and its default, what it may hold, its section,
// ziravel-batch flag and help, and its row in the window's "More options" panel. The settings,
// the window, the command line, --help, the manual page and the completions all read it.
struct OptionRow {
    enum class Kind {
        words,   // one of `words`, shown as the `rows` of a list
        number,  // a number from `lowest` to `highest`, kept to `decimals` places
        text,    // a file-name prefix
        flag,    // on ("1") or off ("0"); a switch on the command line
        pitches, // frequencies or notes (pitchesOf()), or nothing
        seconds, // a tone length, checked with the set (SetPlan::checkLength())
        row,     // a row of the waveform list, stored as its number; typed as its `words`
        folder,  // a folder, made when it is not there
        form,    // a text of the option's own form, which `accepts` tells; empty for none
    };
    // Where the window shows it: one of its own fields, a row of the "More options" panel, or
    // nowhere (the command line alone offers it; the window makes it at its default).
    enum class Place { field, panel, commandLine };

    Option id{};
    QString key{};          // the settings key; empty for one never stored
    QString defaultValue{}; // as stored
    Kind kind{};
    OptionSection section{};
    Place place = Place::panel;
    PanelGroup group{};
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
    std::function<bool(const QString&)> accepts{}; // a form's check of a text not empty
    // A tone option's value in ToneOptions as stored text, and set from a text that readOption()
    // accepted; none for the main fields, which are not the tone's options.
    std::function<QString(const ToneOptions&)> get{};
    std::function<void(ToneOptions&, const QString&)> set{};

    // Its default as --help shows it: a row by its word.
    QString shownDefault() const;
};

// Every input, in the order of Option.
const QList<OptionRow>& optionTable();
// The tone's options alone, in the order of Option.
const QList<OptionRow>& toneOptionTable();

const OptionRow& optionRow(Option option);

// Where the option is stored and what it reads as when missing.
SettingKey storedSetting(Option option);

// The option's value in the options, as the command line and the settings write it.
QString optionWord(Option option, const ToneOptions& options);

// The option read from a text as typed, given or stored: the canonical text when it is one of
// the option's own (a word in any case, a whole number within the limits read as the window
// reads its fields, a safe prefix, "0" or "1"); nothing otherwise.
std::optional<QString> readOption(const OptionRow& option, const QString& text);

// Why a text is not one of the option's own, for a refusal on the command line.
QString optionRefusal(const OptionRow& option);

// The options from stored texts: a text that is not one of its option's own gives way to the
// default.
ToneOptions toneOptionsFrom(const std::function<QString(const OptionRow&)>& texts);

// Why the option cannot change what is made with these options and a waveform of that kind,
// or empty text when it can: its row in the window is then disabled and tells why.
QString idleReason(Option option, const ToneOptions& options, bool noiseType);
