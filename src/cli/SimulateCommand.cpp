// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/SimulateCommand.h"

#include "cli/CommandBase.h"
#include "listening/ForcedChoiceSession.h"
#include "listening/ResponsesFile.h"
#include "options/OptionTable.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "tone/NumberText.h"

#include <QDir>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

const QString simulateFlag = QStringLiteral("simulate-listener");

// "SHAPE,THRESHOLD,SLOPE[,LAPSE]"; the guess rate is one over the intervals.
PsychometricFunction checkedFunction(const QString& text, int intervals) {
    const QStringList parts = text.split(QLatin1Char(','));
    const QString form = QStringLiteral("SHAPE,THRESHOLD,SLOPE[,LAPSE], e.g. weibull,20,3,0.02; "
                                        "SHAPE is logistic or weibull.");
    if (parts.size() < 3 || parts.size() > 4)
        refuse(simulateFlag, text, QStringLiteral("not ") + form);
    PsychometricFunction function;
    const qsizetype shape =
        QStringList{QStringLiteral("logistic"), QStringLiteral("weibull")}.indexOf(
            parts[0].trimmed().toLower());
    double threshold = 0;
    double slope = 0;
    double lapse = 0;
    if (shape < 0 || !parseNumberText(parts[1], threshold) || !parseNumberText(parts[2], slope) ||
        (parts.size() == 4 && !parseNumberText(parts[3], lapse)))
        refuse(simulateFlag, text, QStringLiteral("not ") + form);
    function.shape = PsychometricFunction::Shape(shape);
    if (!std::isfinite(threshold) ||
        (function.shape == PsychometricFunction::Shape::weibull && threshold <= 0))
        refuse(simulateFlag, text, QStringLiteral("a Weibull function's threshold is above 0."));
    if (!std::isfinite(slope) || slope <= 0)
        refuse(simulateFlag, text, QStringLiteral("the slope is above 0."));
    if (!(lapse >= 0 && lapse < 0.5))
        refuse(simulateFlag, text, QStringLiteral("the lapse rate is from 0 to below 0.5."));
    function.threshold = threshold;
    function.slope = slope;
    function.lapse = lapse;
    function.guess = 1.0 / intervals;
    return function;
}

QList<double> checkedSteps(const QString& text, bool logScale) {
    QList<double> steps;
    for (const QString& part : text.split(QLatin1Char(','))) {
        double step = 0;
        if (!parseNumberText(part, step) || !std::isfinite(step) || step <= (logScale ? 1 : 0))
            refuse(QStringLiteral("steps"), text,
                   logScale ? QStringLiteral("not a list of factors above 1, e.g. 2,1.414: the "
                                             "value is divided or multiplied by them.")
                            : QStringLiteral("not a list of steps above 0, e.g. 2,1,0.5."));
        steps << step;
    }
    return steps;
}

void readRule(const QCommandLineParser& parser, StaircaseRule& rule) {
    const auto given = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    if (given("down"))
        rule.down = wholeNumber(QStringLiteral("down"), value("down"), 1, 4,
                                QStringLiteral("a number of correct answers"));
    if (given("steps"))
        rule.steps = checkedSteps(value("steps"), rule.logScale);
    if (given("start"))
        rule.start = decimalNumber(QStringLiteral("start"), value("start"), rule.lowest,
                                   rule.highest, QStringLiteral("a value"));
    if (given("stop-reversals"))
        rule.reversalsToStop =
            wholeNumber(QStringLiteral("stop-reversals"), value("stop-reversals"), 1, 100,
                        QStringLiteral("a number of reversals"));
    if (given("trial-limit"))
        rule.trialLimit = wholeNumber(QStringLiteral("trial-limit"), value("trial-limit"), 1, 10000,
                                      QStringLiteral("a number of trials"));
    if (given("average-reversals"))
        rule.reversalsAveraged =
            wholeNumber(QStringLiteral("average-reversals"), value("average-reversals"), 1,
                        rule.reversalsToStop, QStringLiteral("a number of reversals"));
    else
        rule.reversalsAveraged = std::min(rule.reversalsAveraged, rule.reversalsToStop);
}

// The tones of the procedure: the standard's bounds, level, lengths.
void readTones(const QCommandLineParser& parser, ForcedChoiceSetup& setup) {
    const auto given = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    if (given("from") || given("to")) {
        setup.lowestStandard = qint16(wholeNumber(QStringLiteral("from"), value("from"), 1, 20000,
                                                  QStringLiteral("a frequency in Hz")));
        setup.highestStandard =
            given("to") ? qint16(wholeNumber(QStringLiteral("to"), value("to"), 1, 20000,
                                             QStringLiteral("a frequency in Hz")))
                        : setup.lowestStandard;
        if (!given("from"))
            setup.lowestStandard = setup.highestStandard;
        if (setup.lowestStandard > setup.highestStandard)
            std::swap(setup.lowestStandard, setup.highestStandard);
    }
    if (given("level"))
        setup.levelDb = decimalNumber(QStringLiteral("level"), value("level"), lowestLevelDb, 0,
                                      QStringLiteral("a level in dBFS"));
    if (given("length"))
        setup.intervalSeconds = decimalNumber(QStringLiteral("length"), value("length"), 0.01, 10,
                                              QStringLiteral("an interval in seconds"));
    if (given("gap"))
        setup.gapMs = wholeNumber(QStringLiteral("gap"), value("gap"), 0, 10000,
                                  QStringLiteral("a gap in ms"));
}

// The value the staircase tracks: where the chance of a correct answer is 0.5^(1 / down).
double trackedValue(const SimulateRequest& request) {
    return request.function.valueAt(std::pow(0.5, 1.0 / request.setup.rule.down));
}

double percentile(QList<double> values, double share) {
    std::sort(values.begin(), values.end());
    const double place = share * double(values.size() - 1);
    const qsizetype below = qsizetype(std::floor(place));
    const qsizetype above = std::min(below + 1, values.size() - 1);
    return values[below] + (place - double(below)) * (values[above] - values[below]);
}

QString spreadText(const SimulateRequest& request, const SimulatedRuns& runs) {
    const ForcedChoiceSetup& setup = request.setup;
    QString text = QStringLiteral("%1 runs of %2, %3 intervals, 1-up/%4-down, seed %5\n")
                       .arg(request.runs)
                       .arg(forcedChoiceTaskNames[int(setup.task)])
                       .arg(setup.intervals)
                       .arg(setup.rule.down)
                       .arg(request.seed);
    const double tracked = trackedValue(request);
    text +=
        std::isfinite(tracked)
            ? QStringLiteral("tracked point (%1 % correct): %2\n")
                  .arg(decimalText(std::round(1000 * std::pow(0.5, 1.0 / setup.rule.down)) / 10),
                       decimalText(std::round(tracked * 1000) / 1000))
            : QStringLiteral("tracked point: not reached by this listener\n");
    const QList<double>& thresholds = runs.thresholds;
    if (thresholds.isEmpty()) {
        text += QStringLiteral("thresholds: none reached\n");
    } else {
        double sum = 0;
        for (const double value : thresholds)
            sum += value;
        const double mean = sum / double(thresholds.size());
        double squares = 0;
        for (const double value : thresholds)
            squares += (value - mean) * (value - mean);
        const double sd =
            thresholds.size() > 1 ? std::sqrt(squares / double(thresholds.size() - 1)) : 0;
        const auto shown = [](double value) {
            return decimalText(std::round(value * 1000) / 1000);
        };
        text += QStringLiteral("thresholds: mean %1, SD %2, 5th %3, median %4, 95th %5\n")
                    .arg(shown(mean), shown(sd), shown(percentile(thresholds, 0.05)),
                         shown(percentile(thresholds, 0.5)), shown(percentile(thresholds, 0.95)));
    }
    if (runs.withoutThreshold > 0)
        text += QStringLiteral("runs without a threshold (trial limit reached): %1\n")
                    .arg(runs.withoutThreshold);
    QList<double> trials;
    for (const int count : runs.trials)
        trials << count;
    const auto whole = [&](double share) {
        return decimalText(std::round(percentile(trials, share)));
    };
    text += QStringLiteral("trials: median %1, 5th %2, 95th %3, most %4\n")
                .arg(whole(0.5), whole(0.05), whole(0.95), whole(1));
    return text;
}

} // namespace

SimulateRequest checkedSimulateRequest(const QCommandLineParser& parser) {
    const auto given = [&](const char* name) { return parser.isSet(QLatin1String(name)); };
    const auto value = [&](const char* name) { return parser.value(QLatin1String(name)); };
    refuseOtherOptions(parser,
                       {simulateFlag, QStringLiteral("procedure"), QStringLiteral("intervals"),
                        QStringLiteral("down"), QStringLiteral("start"), QStringLiteral("steps"),
                        QStringLiteral("stop-reversals"), QStringLiteral("average-reversals"),
                        QStringLiteral("trial-limit"), QStringLiteral("runs"),
                        QStringLiteral("seed"), QStringLiteral("from"), QStringLiteral("to"),
                        QStringLiteral("level"), QStringLiteral("length"), QStringLiteral("gap"),
                        QStringLiteral("folder"), QStringLiteral("prefix"),
                        QStringLiteral("quiet")},
                       QStringLiteral("not with --simulate-listener."));
    const ForcedChoiceTask task =
        given("procedure")
            ? ForcedChoiceTask(checkedWord(QStringLiteral("procedure"), value("procedure"),
                                           forcedChoiceTaskNames))
            : ForcedChoiceTask::frequency;
    SimulateRequest request{classicSetup(task), {}, 0, 200, {}, {}};
    if (given("intervals"))
        request.setup.intervals = wholeNumber(QStringLiteral("intervals"), value("intervals"), 2, 3,
                                              QStringLiteral("a number of intervals"));
    readRule(parser, request.setup.rule);
    readTones(parser, request.setup);
    request.function = checkedFunction(value("simulate-listener"), request.setup.intervals);
    if (given("runs"))
        request.runs = wholeNumber(QStringLiteral("runs"), value("runs"), 1, 100000,
                                   QStringLiteral("a number of runs"));
    request.seed = given("seed") ? checkedSeed(QStringLiteral("seed"), value("seed"))
                                 : QRandomGenerator::system()->generate64();
    if (given("folder")) {
        request.folder = expandedFolder(checkedFolder(value("folder")));
        request.prefix =
            checkedText(optionRow(Option::prefix),
                        given("prefix") ? value("prefix") : optionRow(Option::prefix).defaultValue);
    }
    return request;
}

int runSimulation(const SimulateRequest& request) {
    SimulatedRuns runs;
    try {
        std::unique_ptr<ResponsesFile> results;
        if (!request.folder.isEmpty())
            results = std::make_unique<ResponsesFile>(
                QDir(request.folder).filePath(responsesName(request.prefix)), false);
        runs = simulateRuns(request.setup, request.function, request.seed, request.runs,
                            [&](const ResponseRow& row) {
                                if (results)
                                    results->add(row);
                            });
    } catch (const Failure& failure) {
        std::fprintf(stderr, "ziravel-batch: %s\n", qPrintable(failure.description()));
        return 1;
    }
    std::fputs(qPrintable(spreadText(request, runs)), stdout);
    return 0;
}
