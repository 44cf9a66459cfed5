// SPDX-License-Identifier: GPL-3.0-or-later
// The 16-bit conversion and the numeric check of the fields, fed any text.
#include "FuzzText.h"
#include "runner/Failure.h"
#include "tone/NumberText.h"

#include <cmath>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text = fuzzText(data, size);
    double value = 0;
    const bool parsed = parseNumberText(text, value);
    try {
        const qint16 converted = toInt16(text);
        // Only a number converts, and only to the nearest whole number.
        if (!parsed || std::abs(value - converted) > 0.5)
            std::abort();
    } catch (const Failure& failure) {
        const bool expected = failure.description() == QStringLiteral("Type mismatch")
                                  ? !parsed
                                  : parsed && failure.description() == QStringLiteral("Overflow");
        if (!expected)
            std::abort();
    }
    // The field check accepts exactly what converts as a finite number.
    if (isNumericText(text) != (parsed && std::isfinite(value)))
        std::abort();
    return 0;
}
