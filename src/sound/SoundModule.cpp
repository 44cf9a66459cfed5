// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output as a module of its own: the sound libraries it brings (Qt Multimedia and the
// sound server's here, the system's on Windows) load with it, when the first tone is played, not
// while the window starts.
#include "sound/SoundModule.h"

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
