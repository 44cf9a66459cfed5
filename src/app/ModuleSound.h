// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundOutput.h"

#include <QStringList>
#include <memory>

// The window's sound output, from the sound module, loaded at the first tone played: the
// window starts without the sound libraries. Where the module cannot be loaded nothing plays,
// and a request says so, as without an audio output.
class ModuleSound : public SoundOutput {
public:
    // The folders the module is looked for in, in turn.
    explicit ModuleSound(QStringList folders);
    ~ModuleSound() override;
    bool playSoundFile(const QString& path) override;
    void stopSound() override;

private:
    QStringList m_folders;
    bool m_tried = false;
    std::unique_ptr<SoundOutput> m_output;
};
