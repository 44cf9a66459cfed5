#pragma once

#include <QSettings>
#include <QString>
#include <memory>

class Modals;

// A stored value's key and the text it reads as when missing.
struct SettingKey {
    QString name;
    QString defaultValue;
};

namespace Setting {
inline const SettingKey combo1{QStringLiteral("Combo1"), QStringLiteral("0")};
inline const SettingKey text1{QStringLiteral("Text1"), QStringLiteral("1")};
inline const SettingKey text2{QStringLiteral("Text2"), QStringLiteral("3")};
inline const SettingKey text3{QStringLiteral("Text3"), QStringLiteral("200")};
inline const SettingKey text4{QStringLiteral("Text4"), QStringLiteral("400")};
// Its default, the desktop folder, is worked out at every start.
inline const SettingKey text5{QStringLiteral("Text5"), QString()};
inline const SettingKey lastFolderDot{QStringLiteral("LastFolderDot"), QString()};
} // namespace Setting

// The per-user store of the inputs: application "Korvane", section "Ziravel". Every value
// is plain text. Every change reaches the disk at once, so a killed program loses nothing; a
// value saved unchanged writes nothing. A write that fails is told to the user once per
// session.
class SettingsStore {
public:
    // The largest settings file that is read.
    static constexpr qint64 largestFile = 1 << 20;

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

    QString location() const;

private:
    void setAsideIfUnreadable(const QString& file);

    Modals& m_modals;
    // None when a file that cannot be read safely could not be set aside either.
    std::unique_ptr<QSettings> m_settings;
    bool m_failureTold = false;
};
