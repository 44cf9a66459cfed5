// SPDX-License-Identifier: GPL-3.0-or-later
#include "synth/ToneOptions.h"

#include "synth/NumberText.h"

#include <algorithm>
#include <cmath>

OptionArguments optionArguments(const ToneOptions& options, double length,
                                std::optional<double> gainDb) {
    OptionArguments arguments;
    if (options.floatSamples)
        arguments.beforeOutput << QStringLiteral("-e") << QStringLiteral("floating-point");
    if (options.sampleBits > 0)
        arguments.beforeOutput << QStringLiteral("-b") << QString::number(options.sampleBits);
    // Dither would put noise into the silent ear of a 16-bit file: it stays digital silence.
    const bool oneEar = options.channel == ToneOptions::Channel::leftOnly ||
                        options.channel == ToneOptions::Channel::rightOnly;
    if (oneEar && options.sampleBits == 16)
        arguments.beforeOutput << QStringLiteral("-D");
    switch (options.channel) {
    case ToneOptions::Channel::mono:
        break;
    case ToneOptions::Channel::leftOnly:
        arguments.effects << QStringLiteral("remix") << QStringLiteral("1") << QStringLiteral("0");
        break;
    case ToneOptions::Channel::rightOnly:
        arguments.effects << QStringLiteral("remix") << QStringLiteral("0") << QStringLiteral("1");
        break;
    case ToneOptions::Channel::bothEars: {
        // The louder ear keeps the level; the other is this much quieter.
        const QString quieter =
            QStringLiteral("1v") + decimalText(std::pow(10.0, -std::abs(options.ildDb) / 20));
        arguments.effects << QStringLiteral("remix")
                          << (options.ildDb > 0 ? quieter : QStringLiteral("1"))
                          << (options.ildDb < 0 ? quieter : QStringLiteral("1"));
        break;
    }
    }
    if (gainDb)
        arguments.effects << QStringLiteral("gain") << QString::number(*gainDb);
    if (options.fadeMs > 0) {
        // "h" is half a sine wave: the raised-cosine ramp. The stop position keeps the length.
        const QString ramp = decimalText(options.fadeMs / 1000.0);
        arguments.effects << QStringLiteral("fade") << QStringLiteral("h") << ramp
                          << decimalText(length) << ramp;
    }
    return arguments;
}

QString safePrefix(const QString& typed) {
    // The longest name it begins: ".<prefix>tones-K-of-N.csv.lock".
    constexpr qsizetype longestPrefixBytes = 200;
    const bool unsafe = typed == QLatin1String(".") || typed == QLatin1String("..") ||
                        typed.toUtf8().size() > longestPrefixBytes ||
                        typed.contains(QLatin1Char('/')) || typed.contains(QLatin1Char('\\')) ||
                        std::any_of(typed.begin(), typed.end(),
                                    [](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7F); });
    return unsafe ? ToneOptions().prefix : typed;
}
