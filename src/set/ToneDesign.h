// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "tone/ToneOptions.h"

#include <QList>
#include <QMap>
#include <QString>
#include <optional>
#include <random>

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
