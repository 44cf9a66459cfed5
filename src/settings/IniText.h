// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSettings>

// The text of the settings file, in the INI layout that Qt writes, so that files written
// by earlier versions read back the same. Every value is plain text: a value that Qt would
// decode into another type ("@Variant(...)" and the like) reads as the text it is, so a
// hostile file cannot make the decoder run out of stack. Keys other than letters, digits,
// "_", "-", "." and "/" between sections are not ours and are dropped. A value that holds
// a list ("a, b") reads as its items joined by ", ".
QSettings::SettingsMap readIniText(QByteArrayView text);

// The values as text that readIniText() and Qt's own INI reader read back unchanged.
QByteArray writeIniText(const QSettings::SettingsMap& values);

// The largest settings file that is read.
inline constexpr qint64 largestSettingsFile = 1 << 20;
