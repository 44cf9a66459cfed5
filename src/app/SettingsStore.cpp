#include "app/SettingsStore.h"

#include "app/Modals.h"

#include <QDir>

SettingsStore::SettingsStore(Modals& modals)
    : m_modals(modals), m_settings(QStringLiteral("Korvane"), QStringLiteral("Ziravel")) {}

QString SettingsStore::value(const QString& key, const QString& defaultValue) const {
    const QVariant stored = m_settings.value(key);
    if (!stored.isValid())
        return defaultValue;
    // A hand-edited file may hold "a, b", which reads back as a list.
    if (stored.userType() == QMetaType::QStringList)
        return stored.toStringList().join(QStringLiteral(", "));
    return stored.toString();
}

void SettingsStore::save(const QString& key, const QString& text) {
    m_settings.setValue(key, text);
    m_settings.sync();
    // A format error only says that a damaged file was read; it is written anew all the same.
    if (m_settings.status() != QSettings::AccessError || m_failureTold)
        return;
    m_failureTold = true;
    m_modals.showNotice(QStringLiteral("Settings cannot be saved to %1.\r\nWhat you change now "
                                       "will be lost when Ziravel is closed.")
                            .arg(QDir::toNativeSeparators(location())));
}
