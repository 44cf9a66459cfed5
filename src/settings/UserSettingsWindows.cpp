// SPDX-License-Identifier: GPL-3.0-or-later
// The user's settings on Windows: the registry, under HKEY_CURRENT_USER\Software\Korvane\Ziravel.
#include "runner/Failure.h"
#include "settings/SettingsStore.h"
#include "settings/StoredInputs.h"

namespace {

QSettings::SettingsMap registryValues(const QSettings& registry) {
    QSettings::SettingsMap values;
    for (const QString& key : registry.allKeys())
        values.insert(key, registry.value(key).toString());
    return values;
}

// The registry is ours alone to write while the window runs: it is read once.
class Registry : public SettingsPlace {
public:
    std::optional<QSettings::SettingsMap> readIfChanged() override {
        if (m_read)
            return std::nullopt;
        m_read = true;
        return registryValues(m_registry);
    }

    void keep(const QSettings::SettingsMap&, const QSettings::SettingsMap& changed,
              const QStringList& removed) override {
        for (auto value = changed.begin(); value != changed.end(); ++value)
            m_registry.setValue(value.key(), *value);
        for (const QString& key : removed)
            m_registry.remove(key);
        m_registry.sync();
        if (m_registry.status() == QSettings::AccessError)
            throw Failure(QStringLiteral("the registry refused it"));
    }

    QString location() const override { return m_registry.fileName(); }

private:
    QSettings m_registry{QStringLiteral("Korvane"), QStringLiteral("Ziravel")};
    bool m_read = false;
};

} // namespace

SettingsStore::SettingsStore(Notice notice)
    : m_notice(std::move(notice)), m_place(std::make_unique<Registry>()),
      m_location(m_place->location()) {
    readIfChanged();
}

QSettings::SettingsMap readStoredInputs() {
    return registryValues(QSettings(QStringLiteral("Korvane"), QStringLiteral("Ziravel")));
}
