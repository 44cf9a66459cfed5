// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/FlacFile.h"

std::optional<qint64> flacSampleCount(const QByteArray& fileStart) {
    // "fLaC", then the first metadata block: a header of 4 bytes, its type 0 (the stream
    // information), and 34 bytes whose bits 80 to 143 end with the 36-bit sample count.
    constexpr int streamInfo = 8;
    if (fileStart.size() < streamInfo + 34 || !fileStart.startsWith("fLaC") ||
        (fileStart[4] & 0x7F) != 0)
        return std::nullopt;
    quint64 packed = 0;
    for (int at = streamInfo + 10; at < streamInfo + 18; ++at)
        packed = packed << 8 | quint8(fileStart[at]);
    return qint64(packed & ((quint64(1) << 36) - 1));
}
