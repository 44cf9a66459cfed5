// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/FileProbes.h"
#include "settings/IniText.h"
#include "settings/StoredInputs.h"

#include <QSettings>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

class Failure;

// Where a store keeps its values: a settings file, or the system's registry.
class SettingsPlace {
public:
    virtual ~SettingsPlace() = default;
    // What is kept there, when it changed since it was last read or kept; nothing otherwise.
    virtual std::optional<QSettings::SettingsMap> readIfChanged() = 0;
    // Keeps `values`, of which `changed` are new or changed and `removed` are gone. Throws
    // Failure, keeping what it kept.
    virtual void keep(const QSettings::SettingsMap& values, const QSettings::SettingsMap& changed,
                      const QStringList& removed) = 0;
    virtual QString location() const = 0;
};

// The per-user store of the inputs: application "Korvane", section "Ziravel". Every value
// is plain text. Every change reaches the disk at once, so a killed program loses nothing; a
// value saved unchanged writes nothing. The file is written through the safe writer: a full
// disk leaves the last good file whole. A write that fails is told to the user once per
// session.
class SettingsStore {
public:
    // What the user is told: a settings file set aside, a change that cannot be kept.
    using Notice = std::function<void(const QString& text)>;

    // The largest settings file that is read.
    static constexpr qint64 largestFile = largestSettingsFile;

    // The user's store: the registry on Windows, $XDG_CONFIG_HOME/Korvane/Ziravel.conf
    // elsewhere.
    explicit SettingsStore(Notice notice);
    // The store in the given file. A file that cannot be read safely (a pipe, a device, more
    // than largestFile bytes) is set aside under the name with ".damaged" added, never
    // deleted, and the user is told; the store then starts empty.
    SettingsStore(Notice notice, const QString& file);
    ~SettingsStore();

    QString value(const QString& key, const QString& defaultValue) const;
    QString value(const SettingKey& key) const { return value(key.name, key.defaultValue); }
    void save(const QString& key, const QString& text);
    // Saves several values in one write.
    void saveAll(const QSettings::SettingsMap& values);
    // Removes the values whose keys begin with the prefix, in one write.
    void removeAll(const QString& keyPrefix);
    // Every stored value, by key.
    QSettings::SettingsMap values() const;

    QString location() const;

private:
    // Takes in what another window kept since the values were last read or kept.
    void readIfChanged() const;
    // A write that failed, told once per session.
    void tellFailure(const Failure& failure);

    Notice m_notice;
    // None when a file that cannot be read safely could not be set aside either: nothing is
    // kept then.
    std::unique_ptr<SettingsPlace> m_place;
    QString m_location;
    mutable QSettings::SettingsMap m_values;
    bool m_failureTold = false;
};
