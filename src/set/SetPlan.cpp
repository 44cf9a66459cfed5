// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/SetPlan.h"
#include "tone/ToneDraws.h"
#include "tone/ToneLimits.h"

#include <algorithm>

double SetPlan::highestPitch() const {
    return pitchList.isEmpty() ? double(std::max(from, to))
                               : *std::max_element(pitchList.begin(), pitchList.end());
}

ToneSlice SetPlan::slice() const {
    if (shards == 0)
        return {1, count};
    const qint64 first = qint64(shard - 1) * count / shards + 1;
    const qint64 last = qint64(shard) * count / shards;
    return {first, int(last - first + 1)};
}

SetPlan::Drawn SetPlan::drawn(qint64 number) const {
    Drawn drawn{{0, options.levelDb, options.channel, 1}, std::mt19937_64(toneSeed(seed, number))};
    if (design)
        drawn.point = design->point(seed, number);
    else
        drawn.point.frequency = freePitch(drawn.generator);
    return drawn;
}

double SetPlan::freePitch(std::mt19937_64& generator) const {
    return pitchList.isEmpty() ? drawPitch(from, to, options.pitchDraw, generator)
                               : pitchList[drawIndex(pitchList.size(), generator)];
}

bool SetPlan::shapeReadsBounds() const {
    const bool noise = Tone{{}, {}, waveform}.isNoise();
    return noise ? !band && options.noiseBandFromBounds
                 : options.shape != ToneOptions::Shape::steady;
}

Tone SetPlan::tone(qint64 number, Drawn drawn) const {
    Tone tone{{},
              lengthText,
              waveform,
              drawn.point.frequency,
              options,
              highestPitch(),
              toneSeed(seed, number)};
    tone.noteNames = noteNames;
    tone.options.levelDb = drawn.point.levelDb;
    tone.options.channel = drawn.point.channel;
    tone.options.ildDb = drawn.point.ildDb.value_or(options.ildDb);
    tone.options.itdUs = drawn.point.itdUs.value_or(options.itdUs);
    tone.options.snrDb = drawn.point.snrDb.value_or(options.snrDb);
    if (design)
        tone.designRound = (number - 1) / design->roundSize() + 1;
    // Keys apart from the tones' and the rounds' seeds: toneSeed(~seed, n) with n < 0.
    if (splits && splitByNumber)
        tone.split = splits->splitOfNumber(number, toneSeed(~seed, -1));
    else if (splits && design)
        tone.split = splits->splitInCell(*tone.designRound - 1, count / design->roundSize(),
                                         design->cellOf(seed, number), design->roundSize(),
                                         toneSeed(~seed, -2 - design->cellOf(seed, number)),
                                         toneSeed(~seed, -1));
    else if (splits)
        tone.split = splits->splitOf(number - 1, count, toneSeed(~seed, -1));
    if (tone.isNoise())
        tone.band = band ? band
                         : (options.noiseBandFromBounds ? std::optional(bandBetween(from, to))
                                                        : std::nullopt);
    else if (tone.isInNoise())
        tone.band = band;
    if (tone.isNoise() || tone.isInNoise())
        tone.notch = notch;
    // A second pitch is drawn as the first, from a balanced list freely.
    const auto drawAgain = [&] { return freePitch(drawn.generator); };
    shapePitches(tone, from, to, drawAgain, drawn.point.intervalSign);
    // The stimuli's draws come after the pitches', which stay as they were without them.
    if (tone.isMadeOfSines()) {
        if (const std::optional<Modulation> am = amOf(options.am))
            tone.amRate = am->drawRate(drawn.generator);
        if (const std::optional<Modulation> fm = fmOf(options.fm))
            tone.fmRate = fm->drawRate(drawn.generator);
        if (options.harmonicPhase == ToneOptions::HarmonicPhase::random)
            for (qsizetype at = harmonicNumbers(options.harmonics).value_or(QList<int>{}).size();
                 at > 0; --at)
                tone.harmonicPhases.append(unitDraw(drawn.generator));
    }
    return tone;
}

Tone SetPlan::tone(qint64 number) const {
    return tone(number, drawn(number));
}

Tone SetPlan::highestTone() const {
    Tone highest{QStringLiteral("highest") + fileExtension(format),
                 lengthText,
                 waveform,
                 highestPitch(),
                 options,
                 highestPitch()};
    if (highest.isNoise() || highest.isInNoise()) {
        highest.band = band;
        highest.notch = notch;
    }
    return highest;
}

void SetPlan::checkLength() const {
    checkedSeconds(highestTone());
}

std::optional<SetRefusal> SetPlan::refusal() const {
    return setRefusal(highestTone());
}
