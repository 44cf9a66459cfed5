// SPDX-License-Identifier: GPL-3.0-or-later
// The tool's arguments for one tone, fed arbitrary length, folder and list texts (the input's
// parts between NUL bytes): always exactly one tone's, and a length let through is the number
// the field holds.
#include "FuzzText.h"
#include "tone/NumberText.h"
#include "tone/ToneCommand.h"

#include <QRegularExpression>
#include <QStringList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList parts = fuzzText(data, size).split(QChar(0));
    const QString length = parts.value(0);
    const QString folder = parts.value(1);
    const QString shown = parts.value(2);

    const QString output = folder + QStringLiteral("Ziravel_1.wav");
    const Tone tone{output, length, waveformOfRow(shown), -7, {}};
    const QStringList arguments = toolArguments(tone);
    // Whatever the texts hold, the tool receives exactly the arguments of one tone, and the
    // output and the type are what they are.
    // An output the tool would read as a pattern is marked as a plain name.
    const QString outputArgument =
        output.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + output : output;
    QStringList head{QStringLiteral("-r"), QStringLiteral("8000"), QStringLiteral("-n")};
    if (output.contains(QRegularExpression(QStringLiteral("[*?[{~\\\\]"))))
        head << QStringLiteral("--no-glob");
    head << outputArgument << QStringLiteral("synth");
    if (arguments.size() != head.size() + 3 || arguments.mid(0, head.size()) != head ||
        arguments[head.size() + 1] != tone.waveformWord() ||
        arguments[head.size() + 2] != QStringLiteral("-7"))
        std::abort();
    // A length the run lets through is the number the field holds.
    double fieldNumber = 0;
    if (const std::optional<double> seconds = toneSeconds(arguments))
        if (!parseNumberText(length, fieldNumber) || fieldNumber != *seconds)
            std::abort();
    return 0;
}
