// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundOutput.h"

#include <QTimer>

// Windows: a made tone played with the system's own call for a sound file (PlaySound),
// asynchronously; a file that is missing or no sound gives the system's default sound. A
// sound at a set time is started then by a timer.
class SystemSound : public SoundOutput {
public:
    SystemSound();
    bool playSoundFile(const QString& path) override;
    bool playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point when) override;
    void stopSound() override;
    QString outputName() const override;

private:
    QTimer m_due;
    QString m_duePath;
};
