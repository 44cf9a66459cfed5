// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMap>
#include <QString>
#include <optional>

// The most pitches a list may hold.
inline constexpr qsizetype longestPitchList = 10000;

// The frequencies of a list as typed: numbers in hertz with "." for a decimal point, between
// commas ("250,500,1000"). Nothing when a value is no number or lies outside 1..32767 Hz, or for
// more than longestPitchList of them.
std::optional<QList<double>> frequencyList(const QString& text);

// Equal-tempered notes (A4 = 440 Hz) of octaves -1 to 10, sharps ("#") and flats ("b") both
// read: a list ("C4,Eb4,G4") or every semitone of a range, both ends included ("A3..A5").
// Nothing for a text that names no such note, a range that runs down, a note above 32767 Hz
// or a list longer than longestPitchList.
std::optional<QList<double>> noteList(const QString& text);

// The notes of such a text as the user spelled them ("Eb4", not "D#4"), by their frequency: each
// of a list, the two ends of a range. Empty for a text that names no notes.
QMap<double, QString> noteSpellings(const QString& text);

// The pitches of a list as the window's field holds it: notes when it names notes, else
// frequencies in hertz. Nothing for a text that is neither.
std::optional<QList<double>> pitchesOf(const QString& text);
