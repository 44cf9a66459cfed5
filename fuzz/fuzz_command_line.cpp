// The way the tone command line becomes an argument list, fed arbitrary length, folder
// and list texts (the input's parts between NUL bytes).
#include "FuzzText.h"
#include "runner/ShellWait.h"
#include "synth/NumberText.h"
#include "synth/ToneCommand.h"

#include <QStringList>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QStringList parts = fuzzText(data, size).split(QChar(0));
    const QString length = parts.value(0);
    const QString folder = parts.value(1);
    const QString shown = parts.value(2);

    // Any text between quotes comes back whole.
    if (splitCommandLine(QStringLiteral("p ") + quotedArgument(folder)).arguments !=
        QStringList{folder})
        std::abort();

    const QString output = folder + QStringLiteral("Ziravel_1.wav");
    const QString tool = quotedArgument(QStringLiteral("/tmp/a \"b\\/sox.exe"));
    const Tone tone{output, length, waveformOfRow(shown), -7, {}};
    const CommandLine command = splitCommandLine(synthCommand(tool, toolArgs(tone)));
    // The text the window shows splits back into the list that runs.
    if (command.arguments != toolArguments(tone))
        std::abort();
    // Whatever the texts hold, the tool receives exactly the arguments of one tone, and the
    // tool, the output and the type are what they are.
    const QString outputArgument =
        output.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + output : output;
    if (command.program != QStringLiteral("/tmp/a \"b\\/sox.exe") ||
        command.arguments.size() != 8 ||
        command.arguments.mid(0, 5) != QStringList{QStringLiteral("-r"), QStringLiteral("8000"),
                                                   QStringLiteral("-n"), outputArgument,
                                                   QStringLiteral("synth")} ||
        command.arguments[6] != tone.waveformWord() || command.arguments[7] != QStringLiteral("-7"))
        std::abort();
    // A length the run lets through is the number the field holds.
    double fieldNumber = 0;
    if (const std::optional<double> seconds = toneSeconds(command.arguments))
        if (!parseNumberText(length, fieldNumber) || fieldNumber != *seconds)
            std::abort();
    return 0;
}
