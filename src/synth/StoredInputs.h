// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>

// A stored value's key and the text it reads as when missing.
struct SettingKey {
    QString name;
    QString defaultValue;
};

// The folder the folder dialog showed last.
inline const SettingKey lastFolderDot{QStringLiteral("LastFolderDot"), QString()};

// The settings file of the window on systems without a registry.
QString storedInputsFile();

// The window's stored values, read and never written; empty when there are none. Throws
// Failure naming the file when it cannot be read safely (not a regular file, or too large).
QSettings::SettingsMap readStoredInputs();
