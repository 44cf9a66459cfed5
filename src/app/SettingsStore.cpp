#include "app/SettingsStore.h"

#include "app/Modals.h"
#include "runner/FileProbes.h"
#include "runner/IniText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// Somewhere the damaged file does not overwrite an earlier one.
QString setAsideName(const QString& file) {
    QString name = file + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo(name).exists() || QFileInfo(name).isSymLink(); ++n)
        name = file + QStringLiteral(".damaged.%1").arg(n);
    return name;
}

} // namespace

#ifdef Q_OS_WIN
SettingsStore::SettingsStore(Modals& modals)
    : m_modals(modals), m_settings(std::make_unique<QSettings>(QStringLiteral("Korvane"),
                                                               QStringLiteral("Ziravel"))) {}
#else
SettingsStore::SettingsStore(Modals& modals) : SettingsStore(modals, storedInputsFile()) {}
#endif

SettingsStore::SettingsStore(Modals& modals, const QString& file) : m_modals(modals) {
    setAsideIfUnreadable(file);
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::setAsideIfUnreadable(const QString& file) {
    const QFileInfo info(file);
    if ((!info.exists() && !info.isSymLink()) || isSmallRegularFile(file, largestFile)) {
        m_settings = std::make_unique<QSettings>(file, iniTextFormat());
        return;
    }
    const QString aside = setAsideName(file);
    if (QFile::rename(file, aside)) {
        m_settings = std::make_unique<QSettings>(file, iniTextFormat());
        m_modals.showNotice(
            QStringLiteral("The settings file %1 could not be read safely and "
                           "was set aside as %2.\r\nZiravel starts with its "
                           "default values.")
                .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(aside)));
        return;
    }
    m_failureTold = true;
    m_modals.showNotice(QStringLiteral("The settings file %1 cannot be read safely.\r\nZiravel "
                                       "starts with its default values and keeps no changes.")
                            .arg(QDir::toNativeSeparators(file)));
}

QString SettingsStore::location() const {
    return m_settings ? m_settings->fileName() : QString();
}

QString SettingsStore::value(const QString& key, const QString& defaultValue) const {
    if (!m_settings)
        return defaultValue;
    const QVariant stored = m_settings->value(key);
    return stored.isValid() ? stored.toString() : defaultValue;
}

void SettingsStore::save(const QString& key, const QString& text) {
    // Rewriting the file with what it holds already would only cost time, at start above all,
    // where every restored field writes its value back.
    if (!m_settings || (m_settings->contains(key) && m_settings->value(key) == text))
        return;
    m_settings->setValue(key, text);
    m_settings->sync();
    // A format error only says that a damaged file was read; it is written anew all the same.
    if (m_settings->status() != QSettings::AccessError || m_failureTold)
        return;
    m_failureTold = true;
    m_modals.showNotice(QStringLiteral("Settings cannot be saved to %1.\r\nWhat you change now "
                                       "will be lost when Ziravel is closed.")
                            .arg(QDir::toNativeSeparators(location())));
}
