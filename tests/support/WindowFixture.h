// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "RecordingModals.h"
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "settings/IniText.h"
#include "settings/SettingsStore.h"
#include "sound/ModuleEntries.h"
#include "sound/SoundOutput.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <memory>
#include <thread>

// A window with its settings in a folder of the test's own and a recorder for its boxes.
class WindowFixture {
public:
    explicit WindowFixture(const QString& programFolder = QString()) {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        settings = std::make_unique<SettingsStore>(noticesTo(modals), settingsFile());
        window = std::make_unique<Form1>(
            WindowServices{modals, *settings, sound,
                           programFolder.isEmpty() ? m_settingsDir.path() : programFolder,
                           [this] { ++programEnds; }, &pictures});
    }

    // Runs the start-up sequence and shows the window; false when it never appears.
    bool loadAndShow() {
        window->formLoad();
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }

    // Writes a value into the store's file as an earlier run would have left it.
    void store(const QString& key, const QString& value) {
        QSettings(settingsFile(), QSettings::IniFormat).setValue(key, value);
    }
    // What the store holds now, read from the file as another program would (Qt's own
    // reader keeps the file it read, and takes a rewrite within the same millisecond and of
    // the same size for no change).
    QString stored(const QString& key) const {
        QFile file(settingsFile());
        if (!file.open(QIODevice::ReadOnly))
            return QStringLiteral("<missing>");
        return readIniText(file.readAll()).value(key, QStringLiteral("<missing>")).toString();
    }
    QString settingsFile() const { return m_settingsDir.filePath("Korvane/Ziravel.conf"); }
    QString folder() const { return m_settingsDir.path(); }

    // Remembers what was to be played.
    class RecordingSound : public SoundOutput {
    public:
        bool playSoundFile(const QString& path) override {
            played.append(path);
            return outputAvailable;
        }
        bool playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point) override {
            std::this_thread::sleep_for(opening);
            return playSoundFile(path);
        }
        void stopSound() override { ++stops; }
        int stops = 0;
        QStringList played;
        bool outputAvailable = true;
        std::chrono::milliseconds opening{0}; // the time an output takes to open
    };

    // Pictures read in the test's own process, as the sound module reads them.
    class DirectPictures : public TonePictures {
    public:
        ReadTonePicture reader() override { return &readTonePictureInto; }
    };

    RecordingModals modals;
    RecordingSound sound;
    DirectPictures pictures;
    std::unique_ptr<SettingsStore> settings;
    std::unique_ptr<Form1> window;
    int programEnds = 0;

private:
    QTemporaryDir m_settingsDir;
};
