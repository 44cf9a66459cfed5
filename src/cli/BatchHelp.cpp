// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/BatchHelp.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <algorithm>

namespace {

const QString description = QStringLiteral(
    "Makes random tones with SoX into numbered WAV, MP3 or FLAC files and an answer key, as the "
    "Ziravel window does, several at once.");

struct Section {
    OptionSection section;
    QString title;
};
const QList<Section> sections{
    {OptionSection::make, QStringLiteral("What to make")},
    {OptionSection::pitch, QStringLiteral("Pitch")},
    {OptionSection::sound, QStringLiteral("Sound")},
    {OptionSection::files, QStringLiteral("Files")},
    {OptionSection::running, QStringLiteral("Running")},
    {OptionSection::listening, QStringLiteral("Planning a listening test (--simulate-listener)")}};

// The README's recipes.
struct Example {
    QString what;
    QString command;
};
const QList<Example> examples{
    {QStringLiteral("Ten half-second tones in the current folder:"),
     QStringLiteral("ziravel-batch --count 10 --length 0.5")},
    {QStringLiteral("An ear-training set of 40 notes between A3 and A5, faded, with its answer "
                    "key:"),
     QStringLiteral("ziravel-batch --count 40 --from 220 --to 880 --pitch-draw notes --type "
                    "triangle --fade 20 --prefix ear_ --folder ~/ear-training")},
    {QStringLiteral("A reproducible set for a CI job, exit status 1 if any tone could not be "
                    "made:"),
     QStringLiteral("ziravel-batch --seed 2024 --count 500 --length 0.25 --from 100 --to 8000 "
                    "--format mp3 --quiet --folder out")},
    {QStringLiteral("Two rounds of an audiogram-style design, 6 frequencies, 3 levels, 2 ears:"),
     QStringLiteral("ziravel-batch --frequencies 250,500,1000,2000,4000,8000 --level -40,-30,-20 "
                    "--channel left,right --balanced --repeats 2 --length 0.5 --fade 20 "
                    "--sample-size 16 --seed 7 --folder audiogram")},
    {QStringLiteral("One set over four shards, run side by side by GNU parallel:"),
     QStringLiteral("parallel ziravel-batch --seed 11 --count 100000 --digits 6 --length 0.5 "
                    "--shard {}/4 --quiet --folder set ::: 1 2 3 4")},
    {QStringLiteral("A 20 Hz to 20 kHz logarithmic sweep for a speaker check:"),
     QStringLiteral("ziravel-batch --count 1 --sweep log --from 20 --to 20000 --length 10 --fade "
                    "50 --level -12 --sample-size 24 --rate 48000 --prefix sweep_")},
    {QStringLiteral("A two-interval pitch-discrimination set, 50 cents apart:"),
     QStringLiteral("ziravel-batch --frequencies 250,500,1000,2000 --balanced --repeats 5 "
                    "--tones-per-file 2 --gap 400 --interval-cents 50 --length 0.3 --fade 20 "
                    "--sample-size 16 --seed 3 --prefix trial_ --folder discrimination")},
    {QStringLiteral("Pink noise in the 500 to 2000 Hz band:"),
     QStringLiteral("ziravel-batch --count 10 --type pinknoise --band 500-2000 --level -6 "
                    "--length 2 --prefix band_")},
    {QStringLiteral("A calibration set of pink noise at -20 dBFS RMS:"),
     QStringLiteral("ziravel-batch --count 5 --type pinknoise --level -20 --level-reference rms "
                    "--sample-size 16 --rate 48000 --seed 1 --folder calibration --prefix pink_")},
    {QStringLiteral("A missing-fundamental set: harmonics 2 to 5 of fundamentals drawn per octave, "
                    "in random phases:"),
     QStringLiteral("ziravel-batch --count 50 --from 100 --to 400 --pitch-draw octave --harmonics "
                    "2,3,4,5 --harmonic-phase random --fade 20 --folder missing")},
    {QStringLiteral("A detection set: three pitches in pink noise at five SNRs, ten rounds:"),
     QStringLiteral("ziravel-batch --engine library --frequencies 500,1000,2000 --balanced "
                    "--repeats 10 --noise pinknoise --snr -12,-9,-6,-3,0 --level -24 --fade 20 "
                    "--sample-size 24 --folder detection")},
    {QStringLiteral("An ITD lateralisation set: five leads of each ear, 20 rounds:"),
     QStringLiteral("ziravel-batch --notes A4 --balanced --repeats 20 --channel both --rate 48000 "
                    "--itd-us -500,-250,0,250,500 --fade 20 --sample-size 24 --folder itd")},
    {QStringLiteral("Plan a frequency-discrimination test: how 200 thresholds of a simulated "
                    "listener spread:"),
     QStringLiteral("ziravel-batch --simulate-listener weibull,20,3,0.02 --seed 1")},
};

bool shown(const BatchOption& option) {
    return !(option.option.flags() & QCommandLineOption::HiddenFromHelp);
}

// {"-V", "--version"}.
QStringList dashedNames(const QCommandLineOption& option) {
    QStringList names;
    for (const QString& name : option.names())
        names << (name.size() == 1 ? QLatin1String("-") : QLatin1String("--")) + name;
    return names;
}

// "-V, --version" or "--length <seconds>".
QString namesOf(const QCommandLineOption& option) {
    QString text = dashedNames(option).join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        text += QStringLiteral(" <%1>").arg(option.valueName());
    return text;
}

// The words of the text in lines of at most `width` characters.
QStringList wrapped(const QString& text, int width) {
    QStringList lines{QString()};
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (!lines.last().isEmpty() && lines.last().size() + 1 + word.size() > width)
            lines << QString();
        lines.last() += (lines.last().isEmpty() ? QString() : QStringLiteral(" ")) + word;
    }
    return lines;
}

// Text as roff reads it: backslashes and hyphens escaped, no line taken for a request.
QString roff(QString text) {
    text.replace(QLatin1Char('\\'), QStringLiteral("\\e"))
        .replace(QLatin1Char('-'), QStringLiteral("\\-"));
    if (text.startsWith(QLatin1Char('.')) || text.startsWith(QLatin1Char('\'')))
        text.prepend(QStringLiteral("\\&"));
    return text;
}

// A command in lines of at most 60 characters that go on after a backslash, breaking only
// before an option, so that each option stays with its value.
QString continuedLines(const QString& command) {
    QStringList lines;
    for (const QString& part : command.split(QStringLiteral(" --"))) {
        const QString option = lines.isEmpty() ? part : QStringLiteral("--") + part;
        if (!lines.isEmpty() && lines.last().size() + 1 + option.size() <= 60)
            lines.last() += QLatin1Char(' ') + option;
        else
            lines << option;
    }
    return lines.join(QStringLiteral(" \\\n    "));
}

// The option names that take a value, or those that do not.
QStringList longNames(const QList<BatchOption>& options, bool takingValue) {
    QStringList names;
    for (const BatchOption& option : options)
        if (shown(option) && option.option.valueName().isEmpty() != takingValue)
            names << QStringLiteral("--") + option.option.names().last();
    return names;
}

QString bashCompletion(const QList<BatchOption>& options) {
    QString cases;
    for (const BatchOption& option : options)
        if (!option.values.isEmpty())
            cases +=
                QStringLiteral("        --%1) COMPREPLY=($(compgen -W \"%2\" -- \"$current\")); "
                               "return ;;\n")
                    .arg(option.option.names().last(), option.values.join(QLatin1Char(' ')));
    const QStringList all = longNames(options, true) + longNames(options, false);
    return QStringLiteral(
               "# bash completion for ziravel-batch, made by ziravel-batch --completion bash\n"
               "_ziravel_batch() {\n"
               "    local current=${COMP_WORDS[COMP_CWORD]}\n"
               "    local previous=${COMP_WORDS[COMP_CWORD-1]}\n"
               "    case $previous in\n"
               "%1"
               // Names are the user's text: compared and offered as literal words, quoted,
               // never expanded by compgen -W.
               "        --preset)\n"
               "            local name typed=${current//[\\\\\\'\\\"]/}\n"
               "            COMPREPLY=()\n"
               "            while IFS= read -r name; do\n"
               "                [[ $name == \"$typed\"* ]] && COMPREPLY+=(\"$(printf '%q' "
               "\"$name\")\")\n"
               "            done < <(ziravel-batch --preset-names 2>/dev/null)\n"
               "            return ;;\n"
               "        --folder) COMPREPLY=($(compgen -d -- \"$current\")); return ;;\n"
               "        %2) return ;;\n"
               "    esac\n"
               "    COMPREPLY=($(compgen -W \"%3\" -- \"$current\"))\n"
               "}\n"
               "complete -F _ziravel_batch ziravel-batch\n")
        .arg(cases, longNames(options, true).join(QLatin1Char('|')), all.join(QLatin1Char(' ')));
}

// A help text as zsh's and fish's descriptions hold it: its first clause, no brackets,
// colons, double quotes, backquotes or dollars; an apostrophe is quoted by `quotedApostrophe`,
// the shell's way within single quotes.
QString shortHelp(const QString& help, const QString& quotedApostrophe) {
    QString text = help.section(QStringLiteral(" ("), 0, 0).section(QLatin1Char(':'), 0, 0);
    return text.remove(QRegularExpression(QStringLiteral("[\\[\\]\"`$\\\\]")))
        .replace(QLatin1Char('\''), quotedApostrophe);
}

QString zshCompletion(const QList<BatchOption>& options) {
    QString arguments;
    for (const BatchOption& option : options) {
        if (!shown(option))
            continue;
        const QString name = option.option.names().last();
        // "-V, --version" is offered as either name: {-V,--version}'[...]'.
        const QStringList flags = dashedNames(option.option);
        const QString flag =
            flags.size() == 1 ? flags.first() : QStringLiteral("{%1}").arg(flags.join(','));
        QString argument = QStringLiteral("[%1]").arg(
            shortHelp(option.option.description(), QStringLiteral("'\\''")));
        if (name == QLatin1String("preset"))
            argument += QStringLiteral(":preset:{local -a names; names=(${(f)\"$(ziravel-batch "
                                       "--preset-names 2>/dev/null)\"}); compadd -a names}");
        else if (name == QLatin1String("folder"))
            argument += QStringLiteral(":folder:_files -/");
        else if (!option.values.isEmpty())
            argument += QStringLiteral(":%1:(%2)")
                            .arg(option.option.valueName(), option.values.join(QLatin1Char(' ')));
        else if (!option.option.valueName().isEmpty())
            argument += QStringLiteral(":%1: ").arg(option.option.valueName());
        arguments += QStringLiteral("  %1'%2'\\\n").arg(flag, argument);
    }
    return QStringLiteral(
               "#compdef ziravel-batch\n"
               "# zsh completion for ziravel-batch, made by ziravel-batch --completion zsh\n"
               "_arguments \\\n%1\n")
        .arg(arguments.chopped(2));
}

QString fishCompletion(const QList<BatchOption>& options) {
    QString lines = QStringLiteral(
        "# fish completion for ziravel-batch, made by ziravel-batch --completion fish\n"
        "complete -c ziravel-batch -f\n");
    for (const BatchOption& option : options) {
        if (!shown(option))
            continue;
        QString line = QStringLiteral("complete -c ziravel-batch");
        for (const QString& name : option.option.names())
            line += (name.size() == 1 ? QStringLiteral(" -s ") : QStringLiteral(" -l ")) + name;
        const QString name = option.option.names().last();
        if (name == QLatin1String("preset"))
            line += QStringLiteral(" -x -a '(ziravel-batch --preset-names 2>/dev/null)'");
        else if (name == QLatin1String("folder"))
            line += QStringLiteral(" -x -a '(__fish_complete_directories)'");
        else if (!option.values.isEmpty())
            line += QStringLiteral(" -x -a '%1'").arg(option.values.join(QLatin1Char(' ')));
        else if (!option.option.valueName().isEmpty())
            line += QStringLiteral(" -x");
        lines += line + QStringLiteral(" -d '%1'\n")
                            .arg(shortHelp(option.option.description(), QStringLiteral("\\'")));
    }
    return lines;
}

} // namespace

QString helpText(const QList<BatchOption>& options) {
    int column = 0;
    for (const BatchOption& option : options)
        if (shown(option))
            column = std::max(column, int(namesOf(option.option).size()));
    column = std::min(column, 28) + 4;
    QString text = QStringLiteral("Usage: ziravel-batch [options]\n%1\n")
                       .arg(wrapped(description, 79).join(QLatin1Char('\n')));
    for (const Section& section : sections) {
        text += QStringLiteral("\n%1:\n").arg(section.title);
        for (const BatchOption& option : options) {
            if (option.section != section.section || !shown(option))
                continue;
            const QString names = QStringLiteral("  ") + namesOf(option.option);
            const QStringList lines = wrapped(option.option.description(), 79 - column);
            text += names.size() + 2 > column ? names + QLatin1Char('\n') + QString(column, ' ')
                                              : names.leftJustified(column);
            text += lines.join(QLatin1Char('\n') + QString(column, ' ')) + QLatin1Char('\n');
        }
    }
    return text;
}

QString manualPage(const QList<BatchOption>& options) {
    QString page =
        QStringLiteral(".TH ZIRAVEL\\-BATCH 1 \"\" \"Ziravel %1\" \"User Commands\"\n"
                       ".SH NAME\n"
                       "ziravel\\-batch \\- make random tones into numbered sound files "
                       "with an answer key\n"
                       ".SH SYNOPSIS\n"
                       ".B ziravel\\-batch\n"
                       "[\\fIoptions\\fR]\n"
                       ".SH DESCRIPTION\n%2\n"
                       ".PP\n"
                       "Beside the files it writes the answer key \\fIprefix\\fBtones.csv\\fR, "
                       "one row per file, and the manifest \\fIprefix\\fBset.json\\fR, "
                       "every option it was made with.\n"
                       ".SH OPTIONS\n")
            .arg(QCoreApplication::applicationVersion(), roff(description));
    for (const Section& section : sections) {
        page += QStringLiteral(".SS \"%1\"\n").arg(section.title);
        for (const BatchOption& option : options) {
            if (option.section != section.section || !shown(option))
                continue;
            QStringList names;
            for (const QString& name : option.option.names())
                names << QStringLiteral("\\fB%1%2\\fR")
                             .arg(name.size() == 1 ? QStringLiteral("\\-")
                                                   : QStringLiteral("\\-\\-"),
                                  roff(name));
            page += QStringLiteral(".TP\n%1").arg(names.join(QStringLiteral(", ")));
            if (!option.option.valueName().isEmpty())
                page += QStringLiteral(" \\fI%1\\fR").arg(roff(option.option.valueName()));
            page += QLatin1Char('\n') + roff(option.option.description()) + QLatin1Char('\n');
        }
    }
    page += QStringLiteral(".SH EXAMPLES\n");
    for (const Example& example : examples)
        page += QStringLiteral(".PP\n%1\n.PP\n.RS\n.nf\n%2\n.fi\n.RE\n")
                    .arg(roff(example.what), roff(continuedLines(example.command)));
    page += QStringLiteral(
        ".SH \"EXIT STATUS\"\n"
        ".TP\n.B 0\nEvery tone was made.\n"
        ".TP\n.B 1\nA tone could not be made (the last line says how many), or the answer key "
        "could not be written.\n"
        ".TP\n.B 2\nAn option or its value was refused; nothing was made.\n"
        ".TP\n.B 130\nStopped by Ctrl+C, SIGTERM or SIGHUP: the tones under way were removed and "
        "the key written for the tones tried.\n"
        ".SH FILES\n"
        ".TP\n.I ~/.config/Korvane/Ziravel.conf\n"
        "The window's settings and presets, read by \\fB\\-\\-from\\-settings\\fR and "
        "\\fB\\-\\-preset\\fR and never written.\n"
        ".SH \"SEE ALSO\"\n"
        ".BR ziravel (1),\n"
        ".BR sox (1)\n");
    return page;
}

QString completionScript(const QString& shell, const QList<BatchOption>& options) {
    if (shell == QLatin1String("bash"))
        return bashCompletion(options);
    if (shell == QLatin1String("zsh"))
        return zshCompletion(options);
    if (shell == QLatin1String("fish"))
        return fishCompletion(options);
    return {};
}
