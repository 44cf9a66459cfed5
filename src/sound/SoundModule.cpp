// SPDX-License-Identifier: GPL-3.0-or-later
// The sound output as a module of its own: Qt Multimedia and the sound server's libraries it
// brings load with it, when the first tone is played, not while the window starts.
#include "sound/SoundModule.h"
#include "sound/SoundPlayer.h"

extern "C" Q_DECL_EXPORT SoundOutput* ziravelMakeSoundOutput() {
    return new AudioPlayer;
}
