// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// How the user's presets are kept: under a group of their own, each value under presetKey().

// The settings group of the user's presets.
inline const QString presetGroup = QStringLiteral("Presets");

// The settings key of the option's value in the user's preset of that name. Any name is
// kept, written in the characters a key may hold.
QString presetKey(const QString& name, const QString& optionKey);

// The names of the presets whose values are among the settings keys, each once.
QStringList storedPresetNames(const QStringList& settingsKeys);
