// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/FileProbes.h"
#include "runner/IniText.h"
#include "synth/StoredInputs.h"

#include <QSettings>
#include <QString>
#include <memory>

class Failure;
class Modals;

// The per-user store of the inputs: application "Korvane", section "Ziravel". Every value
// is plain text. Every change reaches the disk at once, so a killed program loses nothing; a
// value saved unchanged writes nothing. The file is written through the safe writer: a full
// disk leaves the last good file whole. A write that fails is told to the user once per
// session.
class SettingsStore {
public:
    // The largest settings file that is read.
    static constexpr qint64 largestFile = largestSettingsFile;

    // The user's store: the registry on Windows, $XDG_CONFIG_HOME/Korvane/Ziravel.conf
    // elsewhere.
    explicit SettingsStore(Modals& modals);
    // The store in the given file. A file that cannot be read safely (a pipe, a device, more
    // than largestFile bytes) is set aside under the name with ".damaged" added, never
    // deleted, and the user is told; the store then starts empty.
    SettingsStore(Modals& modals, const QString& file);
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
    void setAsideIfUnreadable(const QString& file);
    // Takes in what another window wrote to the file since it was last read or written.
    void readFileIfChanged() const;
    // Writes the values and holds them. Throws Failure, holding what it held.
    void writeFile(const QSettings::SettingsMap& values);
    // A write that failed, told once per session.
    void tellFailure(const Failure& failure);

    Modals& m_modals;
    // Empty when a file that cannot be read safely could not be set aside either: nothing is
    // kept then.
    QString m_file;
    mutable QSettings::SettingsMap m_values;
    mutable FileStamp m_fileRead;
#ifdef Q_OS_WIN
    std::unique_ptr<QSettings> m_registry;
#endif
    bool m_failureTold = false;
};
