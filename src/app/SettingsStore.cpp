// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/SettingsStore.h"

#include "app/Modals.h"
#include "runner/Failure.h"
#include "runner/SafeFile.h"

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
    : m_modals(modals), m_registry(std::make_unique<QSettings>(QStringLiteral("Korvane"),
                                                               QStringLiteral("Ziravel"))) {
    for (const QString& key : m_registry->allKeys())
        m_values.insert(key, m_registry->value(key).toString());
}
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
        m_file = file;
        readFileIfChanged();
        return;
    }
    const QString aside = setAsideName(file);
    if (QFile::rename(file, aside)) {
        m_file = file;
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

void SettingsStore::readFileIfChanged() const {
    const FileStamp now = fileStamp(m_file);
    if (m_file.isEmpty() || now == m_fileRead)
        return;
    try {
        m_values = readIniText(readRegularFile(m_file, largestFile));
    } catch (const Failure&) {
        // Missing, or no longer safe to read: what we hold stays.
    }
    m_fileRead = now;
}

void SettingsStore::writeFile(const QSettings::SettingsMap& values) {
    // What is written must be read at the next start.
    const QByteArray text = writeIniText(values);
    if (text.size() > largestFile)
        throw Failure(QStringLiteral("they would pass the %1 bytes a settings file may hold")
                          .arg(largestFile));
    QDir().mkpath(QFileInfo(m_file).path());
    writeFileSafely(m_file, text);
    m_values = values;
    m_fileRead = fileStamp(m_file);
}

QString SettingsStore::location() const {
#ifdef Q_OS_WIN
    if (m_registry)
        return m_registry->fileName();
#endif
    return m_file;
}

QString SettingsStore::value(const QString& key, const QString& defaultValue) const {
    readFileIfChanged();
    const auto stored = m_values.constFind(key);
    return stored != m_values.cend() ? stored->toString() : defaultValue;
}

QSettings::SettingsMap SettingsStore::values() const {
    readFileIfChanged();
    return m_values;
}

void SettingsStore::removeAll(const QString& keyPrefix) {
    try {
#ifdef Q_OS_WIN
        if (m_registry) {
            for (const QString& key : m_values.keys())
                if (key.startsWith(keyPrefix)) {
                    m_values.remove(key);
                    m_registry->remove(key);
                }
            m_registry->sync();
            return;
        }
#endif
        if (m_file.isEmpty())
            return;
        readFileIfChanged();
        QSettings::SettingsMap kept = m_values;
        for (auto value = kept.begin(); value != kept.end();)
            value = value.key().startsWith(keyPrefix) ? kept.erase(value) : std::next(value);
        if (kept.size() != m_values.size())
            writeFile(kept);
    } catch (const Failure& failure) {
        tellFailure(failure);
    }
}

void SettingsStore::save(const QString& key, const QString& text) {
    saveAll({{key, text}});
}

void SettingsStore::saveAll(const QSettings::SettingsMap& values) {
    // Rewriting the file with what it holds already would only cost time, at start above all,
    // where every restored field writes its value back.
    QSettings::SettingsMap changed;
    for (auto value = values.begin(); value != values.end(); ++value)
        if (!m_values.contains(value.key()) ||
            m_values.value(value.key()).toString() != value->toString())
            changed.insert(value.key(), value->toString());
    if (changed.isEmpty())
        return;
    try {
#ifdef Q_OS_WIN
        if (m_registry) {
            for (auto value = changed.begin(); value != changed.end(); ++value) {
                m_values.insert(value.key(), *value);
                m_registry->setValue(value.key(), *value);
            }
            m_registry->sync();
            if (m_registry->status() == QSettings::AccessError)
                throw Failure(QStringLiteral("the registry refused it"));
            return;
        }
#endif
        if (m_file.isEmpty())
            return;
        readFileIfChanged();
        QSettings::SettingsMap next = m_values;
        next.insert(changed);
        writeFile(next);
    } catch (const Failure& failure) {
        tellFailure(failure);
    }
}

void SettingsStore::tellFailure(const Failure& failure) {
    if (m_failureTold)
        return;
    m_failureTold = true;
    m_modals.showNotice(QStringLiteral("Settings cannot be saved to %1: %2.\r\nWhat you "
                                       "change now will be lost when Ziravel is closed.")
                            .arg(QDir::toNativeSeparators(location()), failure.description()));
}
