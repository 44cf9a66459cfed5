// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "sound/SoundOutput.h"

// The sound module's one entry: a new sound output, owned by the caller.
inline constexpr char soundModuleEntry[] = "ziravelMakeSoundOutput";
using MakeSoundOutput = SoundOutput* (*)();
