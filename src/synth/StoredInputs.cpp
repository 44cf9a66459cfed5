// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/StoredInputs.h"

#include "runner/FileProbes.h"
#include "runner/IniText.h"

#include <QStandardPaths>

QString storedInputsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Korvane/Ziravel.conf");
}

QSettings::SettingsMap readStoredInputs() {
#ifdef Q_OS_WIN
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Ziravel"));
    QSettings::SettingsMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
#else
    const QString file = storedInputsFile();
    if (!fileExists(file))
        return {};
    return readIniText(readRegularFile(file, largestSettingsFile));
#endif
}
