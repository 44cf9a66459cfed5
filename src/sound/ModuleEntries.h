// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "analysis/TonePicture.h"
#include "sound/SoundOutput.h"

#include <QString>
#include <optional>

// The sound module's entries, found by name once it is loaded, each with C linkage and a
// C-compatible signature: pointers and plain values only.

// A new sound output, owned by the caller.
inline constexpr char soundModuleEntry[] = "ziravelMakeSoundOutput";
using MakeSoundOutput = SoundOutput* (*)();

// The picture of the file at the UTF-8 path, read into `picture`; false when none can be read
// (readTonePictureInto()).
inline constexpr char pictureModuleEntry[] = "ziravelReadTonePicture";
using ReadTonePicture = bool (*)(const char* utf8Path, TonePicture* picture);

// The picture a reader gives of the file; nothing when it gives none.
inline std::optional<TonePicture> pictureOf(ReadTonePicture read, const QString& path) {
    TonePicture picture;
    if (!read(path.toUtf8().constData(), &picture))
        return std::nullopt;
    return picture;
}

// Where the window gets pictures from: the sound module, loaded when the first is asked for.
class TonePictures {
public:
    virtual ~TonePictures() = default;
    // What reads a picture, away from the window's thread; none when there is none.
    virtual ReadTonePicture reader() = 0;
};
