// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/ModuleEntries.h"
#include "sound/SoundOutput.h"

#include <QLibrary>
#include <QStringList>
#include <memory>

// The window's sound output and tone pictures, from the sound module, loaded at the first tone
// played or pictured: the window starts without the sound and spectrum libraries. Where the
// module cannot be loaded nothing plays, and a request says so, as without an audio output;
// and no picture is drawn.
class SoundModuleLoader : public SoundOutput, public TonePictures {
public:
    // The folders the module is looked for in, in turn.
    explicit SoundModuleLoader(QStringList folders);
    ~SoundModuleLoader() override;
    bool playSoundFile(const QString& path) override;
    bool playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point when) override;
    void stopSound() override;
    QString outputName() const override;
    ReadTonePicture reader() override;

private:
    // The module's entry of that name, the module loaded at the first call; none without it.
    QFunctionPointer entry(const char* name);
    // The module's output, made at the first request; none without the module.
    SoundOutput* output();

    QStringList m_folders;
    bool m_tried = false;
    // Kept loaded for the program's life: the output's code lives in it.
    QLibrary m_module;
    bool m_outputMade = false;
    std::unique_ptr<SoundOutput> m_output;
};
