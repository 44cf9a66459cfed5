// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output and the tone's picture as a module of their own: the libraries they bring (Qt
// Multimedia and the sound server's here, the system's on Windows, and the spectrum's) load with
// it, when the first tone is played or pictured, not while the window starts.
#include "sound/SoundModule.h"
#include "sound/TonePicture.h"

#ifdef Q_OS_WIN
#include "sound/SystemSound.h"
using PlatformSound = SystemSound;
#else
#include "sound/SoundPlayer.h"
using PlatformSound = AudioPlayer;
#endif

extern "C" Q_DECL_EXPORT SoundOutput* ziravelMakeSoundOutput() {
    return new PlatformSound;
}

extern "C" Q_DECL_EXPORT std::optional<TonePicture> ziravelReadTonePicture(const QString& path) {
    return readTonePicture(path);
}
