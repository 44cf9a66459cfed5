// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/ToneOptions.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>

// A stored value's key and the text it reads as when missing.
struct SettingKey {
    QString name;
    QString defaultValue;
};

// The inputs the window remembers, with their defaults; ziravel-batch reads them too.
namespace Setting {
inline const SettingKey combo1{QStringLiteral("Combo1"), QStringLiteral("0")};
inline const SettingKey text1{QStringLiteral("Text1"), QStringLiteral("1")};
inline const SettingKey text2{QStringLiteral("Text2"), QStringLiteral("3")};
inline const SettingKey text3{QStringLiteral("Text3"), QStringLiteral("200")};
inline const SettingKey text4{QStringLiteral("Text4"), QStringLiteral("400")};
// Its default, the desktop folder, is worked out at every start.
inline const SettingKey text5{QStringLiteral("Text5"), QString()};
inline const SettingKey lastFolderDot{QStringLiteral("LastFolderDot"), QString()};

} // namespace Setting

// The rows of the waveform list, in their order.
inline const QStringList waveformRows = {
    QStringLiteral("Sine (Default)"), QStringLiteral("Square"),     QStringLiteral("Triangle"),
    QStringLiteral("Sawtooth"),       QStringLiteral("Trapezium"),  QStringLiteral("Exp"),
    QStringLiteral("White Noise"),    QStringLiteral("Pink Noise"), QStringLiteral("Brown Noise")};

// The settings file of the window on systems without a registry.
QString storedInputsFile();

// The window's stored values, read and never written; empty when there are none. Throws
// Failure naming the file when it cannot be read safely (not a regular file, or too large).
QSettings::SettingsMap readStoredInputs();
