// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/ToneOptions.h"

#include "tone/NumberText.h"

#include <QRegularExpression>
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
        // SoX's ramps: "h" half a sine wave, the raised cosine; "t" a straight line; "q" a
        // quarter of a sine wave. Its fades start from silence, so the Hamming ramp's step of
        // 0.08 cannot be made: the line over nine tenths of the fade lies closest to it (within
        // 0.08, 0.036 RMS); a Gaussian ramp (sigma a third of the fade) is the product of the
        // half and the quarter sine (within 0.044). The stop position keeps the length.
        const auto fade = [&](const char* kind, double rampMs) {
            const QString ramp = decimalText(rampMs / 1000.0);
            arguments.effects << QStringLiteral("fade") << QLatin1String(kind) << ramp
                              << decimalText(length) << ramp;
        };
        switch (options.fadeShape) {
        case ToneOptions::FadeShape::raisedCosine:
            fade("h", options.fadeMs);
            break;
        case ToneOptions::FadeShape::linear:
            fade("t", options.fadeMs);
            break;
        case ToneOptions::FadeShape::gaussian:
            fade("h", options.fadeMs);
            fade("q", options.fadeMs);
            break;
        case ToneOptions::FadeShape::hamming:
            fade("t", options.fadeMs * 9 / 10.0);
            break;
        }
    }
    return arguments;
}

bool hasOwnNoisePerEar(ToneOptions::Binaural condition) {
    return condition == ToneOptions::Binaural::nus0 || condition == ToneOptions::Binaural::nuspi;
}

bool invertsNoise(ToneOptions::Binaural condition) {
    return condition == ToneOptions::Binaural::npis0 || condition == ToneOptions::Binaural::npispi;
}

bool invertsTone(ToneOptions::Binaural condition) {
    return condition == ToneOptions::Binaural::n0spi ||
           condition == ToneOptions::Binaural::npispi || condition == ToneOptions::Binaural::nuspi;
}

bool beginsAsFormula(const QString& text) {
    return !text.isEmpty() && QStringLiteral("=+-@").contains(text.front());
}

namespace {

// Whether Windows would take a name made with the prefix for something else than a file in the
// folder: a character it keeps for paths and streams, or a device. A name whose part before its
// first dot (trailing blanks aside) is CON, PRN, AUX, NUL, COM1..COM9 or LPT1..LPT9 opens the
// device, whatever follows; a tone's number follows the prefix straight, so COM and LPT give
// COM1 and LPT1.
bool windowsReservesPrefix([[maybe_unused]] const QString& typed) {
#ifdef Q_OS_WIN
    static const QRegularExpression reservedCharacter(QStringLiteral("[<>:\"|?*]"));
    static const QRegularExpression device(
        QStringLiteral("^((CON|PRN|AUX|NUL|(COM|LPT)[1-9\u00B9\u00B2\u00B3]) *\\..*|(COM|LPT))$"),
        QRegularExpression::CaseInsensitiveOption);
    return typed.contains(reservedCharacter) || device.match(typed).hasMatch();
#else
    return false;
#endif
}

} // namespace

QString safePrefix(const QString& typed) {
    // The longest name it begins: ".<prefix>tones-K-of-N.csv.lock".
    constexpr qsizetype longestPrefixBytes = 200;
    const bool unsafe = typed == QLatin1String(".") || typed == QLatin1String("..") ||
                        typed.toUtf8().size() > longestPrefixBytes ||
                        typed.contains(QLatin1Char('/')) || typed.contains(QLatin1Char('\\')) ||
                        beginsAsFormula(typed) || windowsReservesPrefix(typed) ||
                        std::any_of(typed.begin(), typed.end(),
                                    [](QChar c) { return c.unicode() < 0x20 || c == QChar(0x7F); });
    return unsafe ? ToneOptions().prefix : typed;
}
