// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <QString>

// A stored value's key and the text it reads as when missing.
struct SettingKey {
    QString name;
    QString defaultValue;
};

// The folder the folder dialog showed last.
inline const SettingKey lastFolderDot{QStringLiteral("LastFolderDot"), QString()};

// The window's stored values, read and never written; empty when there are none. Throws
// Failure naming the file when it cannot be read safely (not a regular file, or too large).
// Defined with the user's settings store, where the platforms differ.
QSettings::SettingsMap readStoredInputs();
