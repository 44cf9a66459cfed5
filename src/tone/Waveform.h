// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>
#include <optional>

// The type word SoX receives for a row of the waveform list: lower case, without
// "(default)", trimmed. The noise rows give one word ("pinknoise"): two words would
// make SoX write two channels and ignore the frequency.
QString waveformWord(const QString& shownText);
// The type word is one of the noises, which have no pitch.
bool isNoiseWord(const QString& waveformWord);

// The waveforms of the list, in the order of its rows.
enum class Waveform {
    sine,
    square,
    triangle,
    sawtooth,
    trapezium,
    exp,
    whiteNoise,
    pinkNoise,
    brownNoise
};
// The rows of the waveform list, in their order.
inline const QStringList waveformRows = {
    QStringLiteral("Sine (Default)"), QStringLiteral("Square"),     QStringLiteral("Triangle"),
    QStringLiteral("Sawtooth"),       QStringLiteral("Trapezium"),  QStringLiteral("Exp"),
    QStringLiteral("White Noise"),    QStringLiteral("Pink Noise"), QStringLiteral("Brown Noise")};

// The waveform of a row of the list, its shown text or its type word in any case; nothing
// for no row.
std::optional<Waveform> waveformOfRow(const QString& shownText);
// Its row of the list, as the answer key names it.
QString waveformRowText(Waveform waveform);

// How far the waveform's peak lies above its RMS, in dB, for the tool's waveforms with their
// shapes at the tool's defaults (a sine's 3.01 dB); 0 for noise, which is measured instead.
double peakOverRmsDb(const QString& waveformWord);

// The type words of the noises that may lie under a tone, in the order of ToneOptions::Masker.
// The binaural conditions' words, in the order of ToneOptions::Binaural.
inline const QStringList binauralWords{QStringLiteral("none"),   QStringLiteral("n0s0"),
                                       QStringLiteral("n0spi"),  QStringLiteral("npis0"),
                                       QStringLiteral("npispi"), QStringLiteral("nus0"),
                                       QStringLiteral("nuspi")};
inline const QStringList maskerWords{QStringLiteral("none"), QStringLiteral("whitenoise"),
                                     QStringLiteral("pinknoise"), QStringLiteral("brownnoise")};
