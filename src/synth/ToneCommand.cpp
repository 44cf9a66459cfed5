#include "synth/ToneCommand.h"

#include "runner/Failure.h"
#include "runner/ShellWait.h"
#include "runner/ToolProvisioning.h"

#include <QRegularExpression>
#include <cmath>
#include <random>

QString waveformWord(const QString& shownText) {
    QString word = shownText.toLower();
    word.remove(QStringLiteral("(default)"));
    word = word.trimmed();
    if (word.endsWith(QStringLiteral(" noise")))
        word.remove(QLatin1Char(' '));
    return word;
}

namespace {

// Seeded once: reseeding from the clock at every draw would repeat a frequency for
// two tones drawn within the same clock tick.
std::mt19937_64& generator() {
    static std::mt19937_64 engine{std::random_device{}()};
    return engine;
}

} // namespace

qint16 randomBetween(qint16 lower, qint16 upper) {
    const int difference = int(upper) - int(lower);
    if (difference < -32768 || difference >= 32767)
        throw Failure(FailureText::overflow);
    const double r = std::generate_canonical<double, 53>(generator());
    const int span = difference + 1;
    return static_cast<qint16>(std::floor(span * r + lower));
}

QString quotedToolPath() {
    return quotedArgument(toolFilePath(toolFileName));
}

QString toolArgs(const QString& outputPath, const QString& lengthText,
                 const QString& waveformShownText, qint32 frequency) {
    QString length = lengthText;
    length.replace(QLatin1Char(','), QLatin1Char('.'));
    // Quoted so that no path, whatever it holds, can split into further arguments.
    return QStringLiteral("-r %1 -n ").arg(toneSampleRate) + quotedArgument(outputPath) +
           QStringLiteral(" synth ") + length + QLatin1Char(' ') + waveformWord(waveformShownText) +
           QLatin1Char(' ') + QString::number(frequency);
}

QString synthCommand(const QString& quotedTool, const QString& args) {
    return quotedTool + QLatin1Char(' ') + args;
}

std::optional<double> toneSeconds(const QStringList& arguments) {
    const qsizetype synth = arguments.indexOf(QStringLiteral("synth"));
    const QString length = synth >= 0 ? arguments.value(synth + 1) : QString();
    static const QRegularExpression decimal(QStringLiteral(R"(^(\d+(\.\d*)?|\.\d+)$)"));
    if (!decimal.match(length).hasMatch())
        return std::nullopt;
    const double seconds = length.toDouble();
    if (seconds * toneSampleRate < 1)
        return std::nullopt;
    return seconds;
}

qint32 runSynthCommand(const QString& commandLine) {
    if (!toneSeconds(splitCommandLine(commandLine).arguments))
        throw Failure(QStringLiteral("Tone length must be a positive number of seconds."));
    return shellWait(commandLine, 0);
}
