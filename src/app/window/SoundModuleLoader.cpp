// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/SoundModuleLoader.h"

#include "sound/ModuleEntries.h"

#include <QDir>

SoundModuleLoader::SoundModuleLoader(QStringList folders) : m_folders(std::move(folders)) {}

SoundModuleLoader::~SoundModuleLoader() = default;

QFunctionPointer SoundModuleLoader::entry(const char* name) {
    if (!m_tried) {
        m_tried = true;
        for (const QString& folder : m_folders) {
            m_module.setFileName(QDir(folder).filePath(QStringLiteral("ziravel-sound")));
            if (m_module.load())
                break;
        }
    }
    return m_module.isLoaded() ? m_module.resolve(name) : nullptr;
}

SoundOutput* SoundModuleLoader::output() {
    if (!m_outputMade) {
        m_outputMade = true;
        if (const auto make = reinterpret_cast<MakeSoundOutput>(entry(soundModuleEntry)))
            m_output.reset(make());
    }
    return m_output.get();
}

bool SoundModuleLoader::playSoundFile(const QString& path) {
    return output() && m_output->playSoundFile(path);
}

bool SoundModuleLoader::playSoundFileAt(const QString& path,
                                        std::chrono::steady_clock::time_point when) {
    return output() && m_output->playSoundFileAt(path, when);
}

void SoundModuleLoader::stopSound() {
    if (m_output)
        m_output->stopSound();
}

QString SoundModuleLoader::outputName() const {
    return m_output ? m_output->outputName() : QString();
}

ReadTonePicture SoundModuleLoader::reader() {
    return reinterpret_cast<ReadTonePicture>(entry(pictureModuleEntry));
}
