// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SystemSound.h"

#include <QDir>
#include <windows.h>

#include <mmsystem.h>

bool SystemSound::playSoundFile(const QString& path) {
    // Without a device the call still accepts the sound, and nothing is heard.
    if (waveOutGetNumDevs() == 0)
        return false;
    const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    return PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_ASYNC) != FALSE;
}

void SystemSound::stopSound() {
    PlaySoundW(nullptr, nullptr, 0);
}

QString SystemSound::outputName() const {
    // PlaySound plays through the wave mapper: the first device.
    WAVEOUTCAPSW caps{};
    if (waveOutGetNumDevs() == 0 || waveOutGetDevCapsW(0, &caps, sizeof caps) != MMSYSERR_NOERROR)
        return {};
    return QString::fromWCharArray(caps.szPname);
}

SoundOutput* newPlatformSoundOutput() {
    return new SystemSound;
}
