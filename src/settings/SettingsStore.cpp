// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/SettingsStore.h"

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

// A settings file in the INI layout, read again whenever another window wrote it.
class SettingsFile : public SettingsPlace {
public:
    explicit SettingsFile(const QString& file) : m_file(file) {}

    std::optional<QSettings::SettingsMap> readIfChanged() override {
        const FileStamp now = fileStamp(m_file);
        if (now == m_read)
            return std::nullopt;
        m_read = now;
        try {
            return readIniText(readRegularFile(m_file, SettingsStore::largestFile));
        } catch (const Failure&) {
            // Missing, or no longer safe to read: what the store holds stays.
        }
        return std::nullopt;
    }

    void keep(const QSettings::SettingsMap& values, const QSettings::SettingsMap&,
              const QStringList&) override {
        // What is written must be read at the next start.
        const QByteArray text = writeIniText(values);
        if (text.size() > SettingsStore::largestFile)
            throw Failure(QStringLiteral("they would pass the %1 bytes a settings file may hold")
                              .arg(SettingsStore::largestFile));
        QDir().mkpath(QFileInfo(m_file).path());
        writeFileSafely(m_file, text);
        m_read = fileStamp(m_file);
    }

    QString location() const override { return m_file; }

private:
    QString m_file;
    FileStamp m_read;
};

} // namespace

SettingsStore::SettingsStore(Notice notice, const QString& file)
    : m_notice(std::move(notice)), m_location(file) {
    const QFileInfo info(file);
    if ((!info.exists() && !info.isSymLink()) || isSmallRegularFile(file, largestFile)) {
        m_place = std::make_unique<SettingsFile>(file);
        readIfChanged();
        return;
    }
    const QString aside = setAsideName(file);
    if (QFile::rename(file, aside)) {
        m_place = std::make_unique<SettingsFile>(file);
        m_notice(QStringLiteral("The settings file %1 could not be read safely and "
                                "was set aside as %2.\r\nZiravel starts with its "
                                "default values.")
                     .arg(QDir::toNativeSeparators(file), QDir::toNativeSeparators(aside)));
        return;
    }
    m_failureTold = true;
    m_notice(QStringLiteral("The settings file %1 cannot be read safely.\r\nZiravel "
                            "starts with its default values and keeps no changes.")
                 .arg(QDir::toNativeSeparators(file)));
}

SettingsStore::~SettingsStore() = default;

void SettingsStore::readIfChanged() const {
    if (!m_place)
        return;
    if (std::optional<QSettings::SettingsMap> values = m_place->readIfChanged())
        m_values = std::move(*values);
}

QString SettingsStore::location() const {
    return m_location;
}

QString SettingsStore::value(const QString& key, const QString& defaultValue) const {
    readIfChanged();
    const auto stored = m_values.constFind(key);
    return stored != m_values.cend() ? stored->toString() : defaultValue;
}

QSettings::SettingsMap SettingsStore::values() const {
    readIfChanged();
    return m_values;
}

void SettingsStore::removeAll(const QString& keyPrefix) {
    if (!m_place)
        return;
    try {
        readIfChanged();
        QSettings::SettingsMap kept = m_values;
        QStringList removed;
        for (auto value = kept.begin(); value != kept.end();) {
            if (value.key().startsWith(keyPrefix)) {
                removed << value.key();
                value = kept.erase(value);
            } else {
                ++value;
            }
        }
        if (removed.isEmpty())
            return;
        m_place->keep(kept, {}, removed);
        m_values = kept;
    } catch (const Failure& failure) {
        tellFailure(failure);
    }
}

void SettingsStore::save(const QString& key, const QString& text) {
    saveAll({{key, text}});
}

void SettingsStore::saveAll(const QSettings::SettingsMap& values) {
    // Rewriting the file with what it holds already would only cost time, at start above all,
    // where every restored field writes its value back. What it holds is read first: another
    // window may have changed or removed what this one last read.
    readIfChanged();
    QSettings::SettingsMap changed;
    for (auto value = values.begin(); value != values.end(); ++value)
        if (!m_values.contains(value.key()) ||
            m_values.value(value.key()).toString() != value->toString())
            changed.insert(value.key(), value->toString());
    if (changed.isEmpty() || !m_place)
        return;
    try {
        QSettings::SettingsMap next = m_values;
        next.insert(changed);
        m_place->keep(next, changed, {});
        m_values = next;
    } catch (const Failure& failure) {
        tellFailure(failure);
    }
}

void SettingsStore::tellFailure(const Failure& failure) {
    if (m_failureTold)
        return;
    m_failureTold = true;
    m_notice(QStringLiteral("Settings cannot be saved to %1: %2.\r\nWhat you "
                            "change now will be lost when Ziravel is closed.")
                 .arg(QDir::toNativeSeparators(location()), failure.description()));
}
