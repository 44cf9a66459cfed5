// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "synth/ToneOptions.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <random>

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

// One tone of a designed set: its pitch, level and channel.
struct DesignPoint {
    double frequency;
    double levelDb;
    ToneOptions::Channel channel;
    int intervalSign; // the direction of the file's intervals: 1 up, -1 down
    // The differences between the ears and the SNR, where the design lists them.
    std::optional<double> ildDb;
    std::optional<double> itdUs;
    std::optional<double> snrDb;
};

// The lists of a design beside its pitches, levels and channels: empty for one not listed.
struct DesignStimuli {
    QList<double> ildDbs;
    QList<double> itdUs;
    QList<double> snrDbs;
};

// A balanced design: every combination of the listed frequencies, levels, channels, ear
// differences, SNRs and interval directions comes once in each round, in an order the seed shuffles
// anew for each round. Tone k of the set is a function of the seed and k alone.
class ToneDesign {
public:
    ToneDesign(QList<double> frequencies, QList<double> levels,
               QList<ToneOptions::Channel> channels, QList<int> intervalSigns = {1},
               DesignStimuli stimuli = {});

    // How many tones one round holds.
    qsizetype roundSize() const;
    // The point of tone number `toneNumber` (from 1) of the set drawn with `setSeed`.
    DesignPoint point(quint64 setSeed, qint64 toneNumber) const;
    // Its cell: which of the round's combinations it is.
    qsizetype cellOf(quint64 setSeed, qint64 toneNumber) const;

    const QList<double>& frequencies() const { return m_frequencies; }
    const QList<double>& levels() const { return m_levels; }
    const QList<ToneOptions::Channel>& channels() const { return m_channels; }
    const DesignStimuli& stimuli() const { return m_stimuli; }

private:
    QList<double> m_frequencies;
    QList<double> m_levels;
    QList<ToneOptions::Channel> m_channels;
    QList<int> m_intervalSigns;
    DesignStimuli m_stimuli;
    // The last round's order, kept: tones come round by round.
    mutable qint64 m_round = -1;
    mutable QList<qsizetype> m_order;
};
