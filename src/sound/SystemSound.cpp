// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/SystemSound.h"

#include <QDir>
#include <algorithm>
#include <windows.h>

#include <mmsystem.h>

SystemSound::SystemSound() {
    m_due.setSingleShot(true);
    m_due.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_due, &QTimer::timeout, [this] { playSoundFile(m_duePath); });
}

bool SystemSound::playSoundFileAt(const QString& path, std::chrono::steady_clock::time_point when) {
    if (waveOutGetNumDevs() == 0)
        return false;
    m_duePath = path;
    m_due.start(std::chrono::ceil<std::chrono::milliseconds>(
        std::max(when - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration())));
    return true;
}

bool SystemSound::playSoundFile(const QString& path) {
    m_due.stop();
    // Without a device the call still accepts the sound, and nothing is heard.
    if (waveOutGetNumDevs() == 0)
        return false;
    const std::wstring file = QDir::toNativeSeparators(path).toStdWString();
    return PlaySoundW(file.c_str(), nullptr, SND_FILENAME | SND_ASYNC) != FALSE;
}

void SystemSound::stopSound() {
    m_due.stop();
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
