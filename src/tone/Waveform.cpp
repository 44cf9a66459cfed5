// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/Waveform.h"

#include <QMap>
#include <cmath>

QString waveformWord(const QString& shownText) {
    QString word = shownText.toLower();
    word.remove(QStringLiteral("(default)"));
    word = word.trimmed();
    if (word.endsWith(QStringLiteral(" noise")))
        word.remove(QLatin1Char(' '));
    return word;
}

std::optional<Waveform> waveformOfRow(const QString& shownText) {
    const QString word = waveformWord(shownText);
    for (qsizetype row = 0; row < waveformRows.size(); ++row)
        if (!word.isEmpty() && waveformWord(waveformRows[row]) == word)
            return static_cast<Waveform>(row);
    return std::nullopt;
}

bool isNoiseWord(const QString& waveformWord) {
    return waveformWord.endsWith(QLatin1String("noise"));
}

QString waveformRowText(Waveform waveform) {
    return waveformRows[int(waveform)];
}

double peakOverRmsDb(const QString& waveformWord) {
    // The mean square of one period of each shape, whose peak is 1: the trapezium rises over
    // 0.1 of it, stays high to 0.5, falls to 0.6 and stays low; the exp shape climbs from
    // -100 dB to its peak and back, each half exponential in the period.
    const double expFloor = 1e-5;
    const double expMean = (1 - expFloor) / std::log(1 / expFloor);
    const double expMeanSquare = (1 - expFloor * expFloor) / (2 * std::log(1 / expFloor));
    const QMap<QString, double> meanSquares{
        {QStringLiteral("sine"), 0.5},
        {QStringLiteral("square"), 1.0},
        {QStringLiteral("triangle"), 1.0 / 3},
        {QStringLiteral("sawtooth"), 1.0 / 3},
        {QStringLiteral("trapezium"), 0.8 + 0.2 / 3},
        {QStringLiteral("exp"), 4 * expMeanSquare - 4 * expMean + 1},
    };
    return -10 * std::log10(meanSquares.value(waveformWord, 1.0));
}
