// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundOutput.h"

// Windows: a made tone played with the system's own call for a sound file (PlaySound),
// asynchronously; a file that is missing or no sound gives the system's default sound.
class SystemSound : public SoundOutput {
public:
    bool playSoundFile(const QString& path) override;
    void stopSound() override;
    QString outputName() const override;
};
