// SPDX-License-Identifier: GPL-3.0-or-later
#include "listening/ForcedChoice.h"

#include "tone/NumberText.h"
#include "tone/ToneDraws.h"

#include <cmath>
#include <random>

SetPlan ForcedChoiceSetup::plan(quint64 seed) const {
    SetPlan plan;
    plan.lengthText = decimalText(intervalSeconds);
    plan.waveform = Waveform::sine;
    plan.from = lowestStandard;
    plan.to = highestStandard;
    plan.options.levelDb = levelDb;
    plan.options.fadeMs = fadeMs;
    // Every interval at one rate, whatever its pitch, so that they join into one sound.
    plan.options.sampleRate = 48000;
    if (task == ForcedChoiceTask::itd || task == ForcedChoiceTask::ild)
        plan.options.channel = ToneOptions::Channel::bothEars;
    plan.seed = seed;
    plan.count = 1;
    return plan;
}

ForcedChoiceSetup classicSetup(ForcedChoiceTask task) {
    ForcedChoiceSetup setup;
    setup.task = task;
    StaircaseRule& rule = setup.rule;
    switch (task) {
    case ForcedChoiceTask::frequency:
        rule = {.down = 2,
                .start = 100,
                .steps = {2, std::sqrt(2.0)},
                .logScale = true,
                .lowest = 0.1,
                .highest = 1200};
        break;
    case ForcedChoiceTask::intensity:
        rule = {.down = 2, .start = 6, .steps = {2, 1, 0.5}, .lowest = 0.1, .highest = 20};
        break;
    case ForcedChoiceTask::itd:
        // Whole samples at 48 kHz: one is some 21 us.
        rule = {.down = 2,
                .start = 400,
                .steps = {2, std::sqrt(2.0)},
                .logScale = true,
                .lowest = 1e6 / 48000,
                .highest = 2000};
        break;
    case ForcedChoiceTask::ild:
        rule = {.down = 2, .start = 8, .steps = {2, 1, 0.5}, .lowest = 0.5, .highest = 40};
        break;
    case ForcedChoiceTask::detection:
        // Noise peaking at -30 dBFS leaves the tone room up to its highest SNR.
        setup.levelDb = -30;
        rule = {.down = 2, .start = 10, .steps = {4, 2, 1}, .lowest = -40, .highest = 20};
        break;
    }
    return setup;
}

quint64 listenerSeed(quint64 seed) {
    // Tone numbers begin at 1: 0 draws for no tone.
    return toneSeed(seed, 0);
}

ForcedChoiceTrial forcedChoiceTrial(const ForcedChoiceSetup& setup, quint64 seed, qint64 number,
                                    double value) {
    const SetPlan plan = setup.plan(seed);
    const Tone standard = plan.tone(number);
    // The target's place is drawn apart from the tone's draws, which stay as a set's.
    std::mt19937_64 places(toneSeed(~seed, number));
    ForcedChoiceTrial trial;
    trial.number = number;
    trial.value = value;
    trial.targetInterval = int(drawIndex(setup.intervals, places)) + 1;
    trial.standardHz = standard.frequency;
    trial.targetHz = standard.frequency;
    trial.standardLevelDb = setup.levelDb;
    trial.targetLevelDb = setup.levelDb;
    Tone target = standard;
    Tone other = standard;
    switch (setup.task) {
    case ForcedChoiceTask::frequency:
        trial.targetHz = standard.frequency * std::exp2(value / 1200);
        target.frequency = trial.targetHz;
        break;
    case ForcedChoiceTask::intensity:
        // The target is the louder, at the level asked: the standard lies below it.
        trial.standardLevelDb = setup.levelDb - value;
        other.options.levelDb = trial.standardLevelDb;
        break;
    case ForcedChoiceTask::itd:
        // The target leads in the right ear, the standard in the left.
        trial.itdUs = value;
        target.options.itdUs = value;
        other.options.itdUs = -value;
        break;
    case ForcedChoiceTask::ild:
        trial.ildDb = value;
        target.options.ildDb = value;
        other.options.ildDb = -value;
        break;
    case ForcedChoiceTask::detection: {
        trial.snrDb = value;
        trial.signal = standard;
        Tone noise = standard;
        noise.waveform = Waveform::whiteNoise;
        for (int interval = 1; interval <= setup.intervals; ++interval) {
            // Each interval's noise a stretch of its own, drawn from the first minute.
            noise.repeatableNoiseFrom = drawIndex(qsizetype(60) * noise.sampleRate(), places);
            trial.intervalTones << noise;
        }
        return trial;
    }
    }
    // The target may climb past the standards' bound: one rate holds both.
    target.setHighestPitch = other.setHighestPitch =
        std::max(trial.targetHz, double(setup.highestStandard));
    for (int interval = 1; interval <= setup.intervals; ++interval)
        trial.intervalTones << (interval == trial.targetInterval ? target : other);
    return trial;
}
