// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file reader, fed any bytes: it never crashes or hangs, and what it reads is
// written and read back unchanged.
#include "settings/IniText.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QSettings::SettingsMap values =
        readIniText(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (readIniText(writeIniText(values)) != values)
        std::abort();
    return 0;
}
