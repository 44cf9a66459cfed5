// The way the tone command line becomes an argument list, fed arbitrary length, folder
// and list texts (the input's parts between NUL bytes).
#include "FuzzText.h"
#include "runner/ShellWait.h"
#include "synth/ToneCommand.h"

#include <QStringList>
#include <cstdlib>

namespace {

qsizetype blankSeparatedPieces(const QString& text) {
    return text.split(QLatin1Char(' '), Qt::SkipEmptyParts).size();
}

} // namespace

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
    const CommandLine command =
        splitCommandLine(synthCommand(tool, toolArgs(output, length, shown, -7)));
    // The tool and the output stay exactly what they are, whatever the texts hold...
    if (command.program != QStringLiteral("/tmp/a \"b\\/sox.exe") ||
        command.arguments.mid(0, 5) != QStringList{QStringLiteral("-r"), QStringLiteral("8000"),
                                                   QStringLiteral("-n"), output,
                                                   QStringLiteral("synth")})
        std::abort();
    // ...and the length and type texts add no more pieces than their blanks make.
    const qsizetype most =
        5 + blankSeparatedPieces(length) + blankSeparatedPieces(waveformWord(shown)) + 1;
    if (command.arguments.size() > most)
        std::abort();
    return 0;
}
