// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings on systems without a registry: one INI file per user.
#include "runner/FileProbes.h"
#include "settings/IniText.h"
#include "settings/SettingsStore.h"
#include "settings/StoredInputs.h"

#include <QStandardPaths>

namespace {

QString userSettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Korvane/Ziravel.conf");
}

} // namespace

SettingsStore::SettingsStore(Notice notice)
    : SettingsStore(std::move(notice), userSettingsFile()) {}

QSettings::SettingsMap readStoredInputs() {
    const QString file = userSettingsFile();
    if (!fileExists(file))
        return {};
    return readIniText(readRegularFile(file, largestSettingsFile));
}
