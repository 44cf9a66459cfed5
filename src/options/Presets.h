// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "settings/StoredPresets.h"

#include <QList>
#include <QMap>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <optional>

// Named sets of option values, by the options' settings keys. The built-in ones are part of
// the program; the user's are kept in the settings (settings/StoredPresets.h).
struct Preset {
    QString name;
    QMap<QString, QString> values; // by option key; an option left out keeps its value
    // The waveform row it asks for (a built-in preset may), or none.
    std::optional<int> waveformRow;
};

// "Compatible WAV", "Hearing check" and "Ear training": they cannot be deleted or replaced.
const QList<Preset>& builtInPresets();
const Preset* builtInPreset(const QString& name);

// The presets' names: the built-in ones, then the user's among the stored settings, sorted.
QStringList presetNames(const QSettings::SettingsMap& stored);

// A name a preset may have: not empty, no line break, at most 60 characters, and none of
// the built-in names.
bool isFreePresetName(const QString& name);

// What applying the preset sets, as the panel names its rows: "Sample size: 16-bit; Sample
// rate: 44100 Hz; every other option at its default."
QString presetSummary(const Preset& preset);

// The preset of that name, built in or among the stored settings; nothing when there is none.
// A stored value that is not one of its option's own gives way to the default, as a stored
// option does.
std::optional<Preset> findPreset(const QString& name, const QSettings::SettingsMap& stored);
