// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "set/SetSplits.h"
#include "set/ToneDesign.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"
#include "tone/ToneOptions.h"

#include <QList>
#include <QString>
#include <optional>
#include <random>

// The first number and the count of the tones a slice of a set holds.
struct ToneSlice {
    qint64 first = 1;
    int count = 0;
};

// A set of tones: everything that decides its tones but their numbers. Tone k is drawn from
// (seed, k) alone, the same wherever and whenever it is made. The window's batch, its preview
// and ziravel-batch all build their tones here.
struct SetPlan {
    // As typed: the tone's own check reads it (checkLength()).
    QString lengthText;
    std::optional<Waveform> waveform;
    ExportFormat format = ExportFormat::wav;
    qint16 from = 0;
    qint16 to = 0;
    ToneOptions options;
    // The pitches are drawn from it when it holds any, else between the bounds.
    QList<double> pitchList;
    // The notes the list was given as, as the user wrote them; empty for frequencies.
    QString notesText;
    // Their spellings, which the key keeps (noteSpellings()).
    QMap<double, QString> noteNames;
    // Noise is filtered to it; without one, to the bounds when the options ask.
    std::optional<NoiseBand> band;
    // A band taken out of the noise.
    std::optional<NoiseBand> notch;
    // A balanced design: each tone's pitch, level, channel and direction come from its rounds.
    std::optional<ToneDesign> design;
    // The set parted into splits; in a design, each cell across the rounds.
    std::optional<SetSplits> splits;
    // Each tone's split from the seed and its number alone, so that a grown set moves none.
    bool splitByNumber = false;
    quint64 seed = 0;
    // The set's tones, and the slice of them one run makes: shard K of N contiguous slices
    // (0 of 0: the whole set).
    int count = 0;
    int shard = 0;
    int shards = 0;

    // The highest pitch the tones are drawn at: the higher bound, or the list's top.
    double highestPitch() const;
    ToneSlice slice() const;

    // Tone `number`, its file not yet named.
    Tone tone(qint64 number) const;

    // The two halves of tone(), for the window, which reads its controls between them: the
    // tone's drawn pitch (and level, channel and direction) with the generator its further
    // draws come from, and the tone shaped from it.
    struct Drawn {
        DesignPoint point;
        std::mt19937_64 generator;
    };
    Drawn drawn(qint64 number) const;
    Tone tone(qint64 number, Drawn drawn) const;
    // A pitch drawn from the list, or between the bounds, with the generator; no design.
    double freePitch(std::mt19937_64& generator) const;
    // Whether shaping a tone reads the bounds (a sweep between them, noise filtered to them).
    bool shapeReadsBounds() const;

    // The tone whose file is the set's largest and whose pitch its highest, in the format.
    Tone highestTone() const;
    // The one check of the set's length, before any tone: the run's own check (checkedSeconds())
    // of its largest file. Throws Failure.
    void checkLength() const;
    // What no tone of the set could be made as asked (setRefusal()).
    std::optional<SetRefusal> refusal() const;
};
