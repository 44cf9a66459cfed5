// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/StoredPresets.h"

namespace {

// Percent-encoding with "." in place of "%": a key holds letters, digits, "_", "-", "." and
// "/" only.
QString encodedName(const QString& name) {
    return QString::fromLatin1(name.toUtf8().toPercentEncoding({}, ".~_")).replace('%', '.');
}

QString decodedName(QString encoded) {
    return QString::fromUtf8(QByteArray::fromPercentEncoding(encoded.replace('.', '%').toLatin1()));
}

} // namespace

QString presetKey(const QString& name, const QString& optionKey) {
    return presetGroup + QLatin1Char('/') + encodedName(name) + QLatin1Char('/') + optionKey;
}

QStringList storedPresetNames(const QStringList& settingsKeys) {
    QStringList names;
    for (const QString& key : settingsKeys) {
        const QStringList parts = key.split(QLatin1Char('/'));
        if (parts.size() == 3 && parts[0] == presetGroup) {
            const QString name = decodedName(parts[1]);
            if (!names.contains(name))
                names << name;
        }
    }
    return names;
}
