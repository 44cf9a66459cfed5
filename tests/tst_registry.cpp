// SPDX-License-Identifier: GPL-3.0-or-later
// Windows: the user's settings store keeps the inputs in the registry.
#include "settings/SettingsStore.h"
#include "settings/StoredInputs.h"
#include "settings/StoredPresets.h"

#include <QSettings>
#include <QTest>

class TestRegistry : public QObject {
    Q_OBJECT

private slots:
    void init() { QSettings(QStringLiteral("Korvane"), QStringLiteral("Ziravel")).clear(); }
    void keptUnderTheProgramsKey();
    void removedByPrefix();
    void presetsKeptByName();

private:
    QStringList m_notices;
    SettingsStore::Notice notice() {
        return [this](const QString& text) { m_notices << text; };
    }
};

// A value saved by one window is read by the next and by ziravel-batch, from
// HKEY_CURRENT_USER\Software\Korvane\Ziravel.
void TestRegistry::keptUnderTheProgramsKey() {
    SettingsStore(notice()).save(QStringLiteral("Text3"), QStringLiteral("310"));
    QCOMPARE(SettingsStore(notice()).value(QStringLiteral("Text3"), QString()),
             QStringLiteral("310"));
    QCOMPARE(readStoredInputs().value(QStringLiteral("Text3")).toString(), QStringLiteral("310"));
    const QSettings registry(QStringLiteral("HKEY_CURRENT_USER\\Software\\Korvane\\Ziravel"),
                             QSettings::NativeFormat);
    QCOMPARE(registry.value(QStringLiteral("Text3")).toString(), QStringLiteral("310"));
    QVERIFY(m_notices.isEmpty());
}

void TestRegistry::removedByPrefix() {
    SettingsStore store(notice());
    store.saveAll({{QStringLiteral("Presets/a/OptionFade"), QStringLiteral("20")},
                   {QStringLiteral("Text1"), QStringLiteral("2")}});
    store.removeAll(QStringLiteral("Presets/"));
    QCOMPARE(SettingsStore(notice()).values().keys(), QStringList{QStringLiteral("Text1")});
}

// The window keeps the user's presets in the registry: each name, with blanks, dots and letters
// outside ASCII, is read back by the next window, and deleting one leaves the others.
void TestRegistry::presetsKeptByName() {
    const QStringList names{QStringLiteral("Right, quiet/ear"), QStringLiteral("v1.2 ."),
                            QStringLiteral("T\u00f6ne \u97f3")};
    {
        SettingsStore store(notice());
        for (const QString& name : names)
            store.saveAll({{presetKey(name, QStringLiteral("OptionChannel")), name}});
    }
    SettingsStore reopened(notice());
    QStringList kept = storedPresetNames(reopened.values().keys());
    kept.sort();
    QStringList expected = names;
    expected.sort();
    QCOMPARE(kept, expected);
    for (const QString& name : names)
        QCOMPARE(reopened.value(presetKey(name, QStringLiteral("OptionChannel")), QString()), name);
    reopened.removeAll(presetKey(names[1], QString()));
    kept = storedPresetNames(SettingsStore(notice()).values().keys());
    QCOMPARE(kept.size(), 2);
    QVERIFY(!kept.contains(names[1]));
    QVERIFY(m_notices.isEmpty());
}

QTEST_GUILESS_MAIN(TestRegistry)
#include "tst_registry.moc"
