// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ModuleSound.h"

#include "sound/SoundModule.h"

#include <QDir>
#include <QLibrary>

ModuleSound::ModuleSound(QStringList folders) : m_folders(std::move(folders)) {}

ModuleSound::~ModuleSound() = default;

bool ModuleSound::playSoundFile(const QString& path) {
    if (!m_tried) {
        m_tried = true;
        for (const QString& folder : m_folders) {
            // Kept loaded for the program's life: the output's code lives in it.
            QLibrary module(QDir(folder).filePath(QStringLiteral("ziravel-sound")));
            if (const auto make =
                    reinterpret_cast<MakeSoundOutput>(module.resolve(soundModuleEntry))) {
                m_output.reset(make());
                break;
            }
        }
    }
    return m_output && m_output->playSoundFile(path);
}

void ModuleSound::stopSound() {
    if (m_output)
        m_output->stopSound();
}
