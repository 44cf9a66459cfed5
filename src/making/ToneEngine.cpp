// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/ToneEngine.h"

#include "making/ToneJudge.h"
#include "runner/Failure.h"
#include "runner/SafeFile.h"
#include "tone/ToneCommand.h"
#include "tone/ToneLimits.h"

#include <QElapsedTimer>
#include <algorithm>
#include <memory>
#include <vector>

ToneOutcome makeTone(ToneSession& session, const CommandLine& command, const Tone& tone,
                     const QString& target, bool nameReserved) {
    const double seconds = checkedSeconds(tone);
    const ToneInFlight flight(tone.outputPath, target.isEmpty() ? tone.outputPath : target,
                              nameReserved);
    const SynthRun run{runChild(command, 0, &session.children()), command.program, seconds,
                       tone.sampleRate(), peakRule(tone)};
    return flight.placed(judgedTone(run, tone.outputPath));
}

namespace {

class StartedRun : public StartedTone {
public:
    StartedRun(const CommandLine& command, ChildrenInFlight& owner, const Tone& tone,
               double seconds)
        : m_child(command, &owner), m_path(tone.outputPath), m_run{{},
                                                                   command.program,
                                                                   seconds,
                                                                   tone.sampleRate(),
                                                                   peakRule(tone)} {}
    int endDescriptor() const override { return m_child.endDescriptor(); }
    bool hasEnded() override { return m_child.hasEnded(); }
    ToneOutcome outcome() const override {
        SynthRun run = m_run;
        run.child = m_child.result();
        return judgedTone(run, m_path);
    }
    void stop() override { m_child.stop(); }

private:
    StartedChild m_child;
    QString m_path;
    SynthRun m_run;
};

} // namespace

std::unique_ptr<StartedTone> ProcessEngine::start(const Tone& tone, double seconds) {
    return std::make_unique<StartedRun>(toneCommand(m_toolPath, tone), m_session.children(), tone,
                                        seconds);
}

namespace {

// A tone being made.
struct ToneRunning {
    qsizetype index;
    std::shared_ptr<ToneInFlight> flight;
    std::unique_ptr<StartedTone> started;
};

} // namespace

void makeTones(qsizetype count, int jobs, ToneEngine& engine, const ToneStaging& staging,
               const ToneCallbacks& callbacks, int wakeDescriptor) {
    std::vector<ToneRunning> running;
    qsizetype next = 0;
    const qsizetype ahead = 4 * qsizetype(jobs) + 256;
    constexpr int quietMs = 10 * 1000;
    QElapsedTimer sinceLastEnd;
    sinceLastEnd.start();
    for (;;) {
        // Tones that ended make room first: the next ones start before these are judged.
        std::vector<ToneRunning> finished;
        for (auto tone = running.begin(); tone != running.end();) {
            if (tone->started->hasEnded()) {
                finished.push_back(std::move(*tone));
                tone = running.erase(tone);
            } else {
                ++tone;
            }
        }
        const bool stop = callbacks.stopRequested();
        if (stop) {
            for (ToneRunning& tone : running) {
                tone.started->stop();
                tone.flight->abandon();
                callbacks.ended(tone.index, {false, QStringLiteral("Stopped.")}, nullptr);
            }
            running.clear();
        }
        const auto earliest = [&] {
            qsizetype index = next;
            for (const ToneRunning& tone : running)
                index = std::min(index, tone.index);
            return index;
        };
        for (;
             !stop && next < count && qsizetype(running.size()) < jobs && next - earliest() < ahead;
             ++next) {
            std::shared_ptr<ToneInFlight> flight;
            try {
                const PlannedTone planned = callbacks.plan(next);
                const QString& target = planned.tone.outputPath;
                if (!planned.refusal.isEmpty()) {
                    // An earlier file of that name must not pass for this tone.
                    removeOwnFile(target);
                    callbacks.ended(next, {false, planned.refusal}, nullptr);
                    continue;
                }
                // Until its file has a place, a tone that cannot start leaves only the name it
                // reserved.
                flight = std::make_shared<ToneInFlight>(target, target, planned.nameReserved);
                Tone made = planned.tone;
                made.outputPath = staging.madePath(target);
                flight =
                    std::make_shared<ToneInFlight>(made.outputPath, target, planned.nameReserved);
                const double seconds = checkedSeconds(made);
                // A name that holds no reservation may hold an earlier set's file: the tool
                // writes over it where it is made.
                if (!planned.nameReserved)
                    recycleOwnFile(target, made.outputPath);
                std::unique_ptr<StartedTone> started = engine.start(made, seconds);
                running.push_back({next, std::move(flight), std::move(started)});
            } catch (const Failure& failure) {
                if (flight)
                    flight->abandon();
                callbacks.ended(next, {false, failure.description()}, nullptr);
            }
        }
        if (!finished.empty())
            sinceLastEnd.start();
        for (ToneRunning& tone : finished)
            callbacks.ended(tone.index, tone.started->outcome(), tone.flight);
        if (running.empty())
            break;
        if (sinceLastEnd.elapsed() >= quietMs) {
            if (callbacks.waiting)
                callbacks.waiting(earliest());
            sinceLastEnd.start();
        }
        // Returns at once when one has ended meanwhile.
        QList<int> ends;
        for (const ToneRunning& tone : running)
            if (const int end = tone.started->endDescriptor(); end < 0 || !ends.contains(end))
                ends.append(end);
        waitForAnyEnd(ends, wakeDescriptor, int(quietMs - sinceLastEnd.elapsed()));
    }
}
