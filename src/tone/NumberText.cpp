// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/NumberText.h"

#include <QLocale>

#include "runner/Failure.h"

#include <QRegularExpression>
#include <charconv>
#include <cmath>
#include <limits>

bool parseNumberText(const QString& text, double& value) {
    static const QRegularExpression number(
        QStringLiteral(R"(^\s*([+-]?)(\d+(?:[.,]\d*)?|[.,]\d+)([eE][+-]?\d+)?\s*$)"));
    const QRegularExpressionMatch match = number.match(text);
    if (!match.hasMatch())
        return false;
    QByteArray plain = (match.captured(1) + match.captured(2) + match.captured(3)).toLatin1();
    plain.replace(',', '.');
    if (plain.startsWith('+'))
        plain.remove(0, 1);
    const auto [end, error] = std::from_chars(plain.data(), plain.data() + plain.size(), value);
    if (error == std::errc::result_out_of_range) {
        // Too small to hold is zero; too large is an infinity of the number's sign.
        if (match.captured(3).contains(QLatin1Char('-')))
            value = 0;
        else
            value = match.captured(1) == QLatin1String("-")
                        ? -std::numeric_limits<double>::infinity()
                        : std::numeric_limits<double>::infinity();
    }
    return error == std::errc() || error == std::errc::result_out_of_range;
}

qint16 toInt16(const QString& text) {
    double value = 0;
    if (!parseNumberText(text, value))
        throw Failure(FailureText::typeMismatch);
    const double rounded = std::nearbyint(value); // the default rounding mode: halfway to even
    if (!(rounded >= -32768.0 && rounded <= 32767.0))
        throw Failure(FailureText::overflow);
    return static_cast<qint16>(rounded);
}

bool isNumericText(const QString& text) {
    double value = 0;
    return parseNumberText(text, value) && std::isfinite(value);
}

QString decimalText(double value) {
    // Adding 0 turns a -0 into 0.
    return QString::number(value + 0.0, 'f', QLocale::FloatingPointShortest);
}

double numberInText(const QString& text) {
    double value = 0;
    return parseNumberText(text, value) ? value : 0;
}
