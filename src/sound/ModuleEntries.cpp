// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output and the tone's picture as a module of their own: the libraries they bring (Qt
// Multimedia and the sound server's here, the system's on Windows, and the spectrum's) load with
// it, when the first tone is played or pictured, not while the window starts.
#include "sound/ModuleEntries.h"

extern "C" Q_DECL_EXPORT SoundOutput* ziravelMakeSoundOutput() {
    return newPlatformSoundOutput();
}

extern "C" Q_DECL_EXPORT bool ziravelReadTonePicture(const char* utf8Path, TonePicture* picture) {
    return readTonePictureInto(utf8Path, picture);
}
