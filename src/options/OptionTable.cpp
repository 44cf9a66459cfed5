// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/OptionTable.h"

#include "runner/Failure.h"
#include "tone/NumberText.h"
#include "tone/PitchLists.h"
#include "tone/ToneCommand.h"
#include "tone/ToneStimuli.h"

#include <algorithm>
#include <cmath>

namespace {

using Kind = OptionRow::Kind;
using Place = OptionRow::Place;

QStringList rateWords() {
    QStringList words;
    for (const int rate : offeredSampleRates)
        words << QString::number(rate);
    return words;
}

QStringList rateRows() {
    QStringList rows;
    for (const int rate : offeredSampleRates)
        rows << QStringLiteral("%1 Hz").arg(rate);
    return rows;
}

// Options stored as one of their words, the word's place being the value.
template <typename Enum>
std::function<QString(const ToneOptions&)> wordOf(Enum ToneOptions::*member,
                                                  const QStringList& words) {
    return [member, words](const ToneOptions& options) { return words[int(options.*member)]; };
}

template <typename Enum>
std::function<void(ToneOptions&, const QString&)> placeOf(Enum ToneOptions::*member,
                                                          const QStringList& words) {
    return [member, words](ToneOptions& options, const QString& word) {
        options.*member = static_cast<Enum>(words.indexOf(word));
    };
}

std::function<QString(const ToneOptions&)> numberOf(int ToneOptions::*member) {
    return [member](const ToneOptions& options) { return decimalText(options.*member); };
}

std::function<void(ToneOptions&, const QString&)> setNumber(int ToneOptions::*member) {
    return [member](ToneOptions& options, const QString& text) {
        options.*member = int(std::lround(numberInText(text)));
    };
}

std::function<QString(const ToneOptions&)> flagOf(bool ToneOptions::*member) {
    return [member](const ToneOptions& options) {
        return options.*member ? QStringLiteral("1") : QStringLiteral("0");
    };
}

std::function<void(ToneOptions&, const QString&)> setFlag(bool ToneOptions::*member) {
    return [member](ToneOptions& options, const QString& text) {
        options.*member = text == QLatin1String("1");
    };
}

std::function<QString(const ToneOptions&)> textOf(QString ToneOptions::*member) {
    return [member](const ToneOptions& options) { return options.*member; };
}

std::function<void(ToneOptions&, const QString&)> setText(QString ToneOptions::*member) {
    return [member](ToneOptions& options, const QString& text) { options.*member = text; };
}

std::function<QString(const ToneOptions&)> decimalOf(double ToneOptions::*member) {
    return [member](const ToneOptions& options) { return decimalText(options.*member); };
}

std::function<void(ToneOptions&, const QString&)> setDecimal(double ToneOptions::*member) {
    return [member](ToneOptions& options, const QString& text) {
        options.*member = numberInText(text);
    };
}

QList<OptionRow> makeTable() {
    const QStringList channels{QStringLiteral("mono"), QStringLiteral("left"),
                               QStringLiteral("right"), QStringLiteral("both")};
    const QStringList references{QStringLiteral("peak"), QStringLiteral("rms")};
    const QStringList shapes{QStringLiteral("steady"), QStringLiteral("up"),
                             QStringLiteral("down")};
    const QStringList sweeps{QStringLiteral("linear"), QStringLiteral("log")};
    const QStringList sweepEnds{QStringLiteral("bounds"), QStringLiteral("drawn")};
    const QStringList fadeShapes{QStringLiteral("raised-cosine"), QStringLiteral("linear"),
                                 QStringLiteral("gaussian"), QStringLiteral("hamming")};
    const QStringList phases{QStringLiteral("sine"), QStringLiteral("cosine"),
                             QStringLiteral("random"), QStringLiteral("schroeder-positive"),
                             QStringLiteral("schroeder-negative")};
    const QStringList& maskers = maskerWords;
    const QStringList draws{QStringLiteral("hz"), QStringLiteral("octave"), QStringLiteral("notes"),
                            QStringLiteral("list")};
    const QString balancedHelp = QStringLiteral(
        "Every listed pitch equally often, in rounds shuffled by the seed (with --level and "
        "--channel given as lists, every combination)");
    const QString neverOverwriteHelp = QStringLiteral(
        "Number on after the files already in the folder, and add to their answer key");
    QStringList waveformWords;
    for (const QString& row : waveformRows)
        waveformWords << waveformWord(row);
    QStringList formats;
    for (const ExportFormat format : {ExportFormat::wav, ExportFormat::mp3, ExportFormat::flac})
        formats << fileExtension(format).mid(1);
    return {
        {.id = Option::length,
         .key = QStringLiteral("Text1"),
         .defaultValue = QStringLiteral("1"),
         .kind = Kind::seconds,
         .section = OptionSection::make,
         .place = Place::field,
         .flag = QStringLiteral("length"),
         .valueName = QStringLiteral("seconds"),
         .help = QStringLiteral("Tone length in seconds")},
        {.id = Option::count,
         .key = QStringLiteral("Text2"),
         .defaultValue = QStringLiteral("3"),
         .kind = Kind::number,
         .section = OptionSection::make,
         .place = Place::field,
         .lowest = 1,
         .highest = maximumBatchCount,
         .what = QStringLiteral("a number of tones"),
         .flag = QStringLiteral("count"),
         .valueName = QStringLiteral("n"),
         .help = QStringLiteral("How many tones, 1 to %1").arg(maximumBatchCount)},
        {.id = Option::type,
         .key = QStringLiteral("Combo1"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::row,
         .section = OptionSection::make,
         .place = Place::field,
         .words = waveformWords,
         .rows = waveformRows,
         .flag = QStringLiteral("type"),
         .valueName = QStringLiteral("type"),
         .help = QStringLiteral("Waveform or noise: %1, or the window's row text")
                     .arg(waveformWords.join(QStringLiteral(", ")))},
        {.id = Option::from,
         .key = QStringLiteral("Text3"),
         .defaultValue = QStringLiteral("200"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .place = Place::field,
         .lowest = 0,
         .highest = 32767,
         .what = QStringLiteral("a frequency in Hz"),
         .flag = QStringLiteral("from"),
         .valueName = QStringLiteral("hz"),
         .help = QStringLiteral("Lowest frequency in Hz")},
        {.id = Option::to,
         .key = QStringLiteral("Text4"),
         .defaultValue = QStringLiteral("400"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .place = Place::field,
         .lowest = 0,
         .highest = 32767,
         .what = QStringLiteral("a frequency in Hz"),
         .flag = QStringLiteral("to"),
         .valueName = QStringLiteral("hz"),
         .help = QStringLiteral("Highest frequency in Hz")},
        // The window's default, the desktop folder, is worked out at every start; the command
        // line's is the current folder, as with every command-line tool.
        {.id = Option::folder,
         .key = QStringLiteral("Text5"),
         .kind = Kind::folder,
         .section = OptionSection::files,
         .place = Place::field,
         .flag = QStringLiteral("folder"),
         .valueName = QStringLiteral("folder"),
         .help = QStringLiteral("Folder the files go to, made when it is not there (default: the "
                                "current folder)")},
        // The window has a button for each of its formats.
        {.id = Option::format,
         .defaultValue = QStringLiteral("wav"),
         .kind = Kind::words,
         .section = OptionSection::files,
         .place = Place::commandLine,
         .words = formats,
         .flag = QStringLiteral("format"),
         .valueName = QStringLiteral("format"),
         .help = QStringLiteral("File format: %1").arg(formats.join(QStringLiteral(", ")))},
        {.id = Option::sampleRate,
         .key = QStringLiteral("OptionSampleRate"),
         .defaultValue = QStringLiteral("8000"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .words = rateWords(),
         .rows = rateRows(),
         .flag = QStringLiteral("rate"),
         .valueName = QStringLiteral("hz"),
         .help = QStringLiteral("Lowest sample rate in Hz; a pitch that needs more gets more"),
         .label = QStringLiteral("Sample rate:"),
         .name = QStringLiteral("Sample rate"),
         .description =
             QStringLiteral("The lowest sample rate; a pitch that needs more gets more."),
         .get = numberOf(&ToneOptions::sampleRate),
         .set = setNumber(&ToneOptions::sampleRate)},
        {.id = Option::sampleSize,
         .key = QStringLiteral("OptionSampleSize"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .words = {QStringLiteral("0"), QStringLiteral("16"), QStringLiteral("24"),
                   QStringLiteral("32f")},
         .rows = {QStringLiteral("As SoX chooses"), QStringLiteral("16-bit"),
                  QStringLiteral("24-bit"), QStringLiteral("32-bit float")},
         .flag = QStringLiteral("sample-size"),
         .valueName = QStringLiteral("bits"),
         .help = QStringLiteral("Bits per sample: 16, 24, 32f (floating point, WAV only), or 0 "
                                "for as SoX chooses"),
         .label = QStringLiteral("Sample size:"),
         .name = QStringLiteral("Sample size"),
         .description =
             QStringLiteral("Bits per sample of WAV files; many players refuse 32 bits."),
         .get =
             [](const ToneOptions& options) {
                 return options.floatSamples ? QStringLiteral("32f")
                                             : decimalText(options.sampleBits);
             },
         .set =
             [](ToneOptions& options, const QString& word) {
                 options.floatSamples = word == QLatin1String("32f");
                 options.sampleBits = options.floatSamples ? 32 : word.toInt();
             }},
        {.id = Option::level,
         .key = QStringLiteral("OptionLevel"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .lowest = lowestLevelDb,
         .highest = 0,
         .decimals = 1,
         .what = QStringLiteral("a level in dBFS"),
         .unit = QStringLiteral(" dBFS"),
         .flag = QStringLiteral("level"),
         .valueName = QStringLiteral("db"),
         .help = QStringLiteral("Peak level in dBFS, %1 to 0, in steps of 0.1; a list "
                                "(-20,-30) with --balanced")
                     .arg(lowestLevelDb),
         .label = QStringLiteral("Level:"),
         .name = QStringLiteral("Level"),
         .description = QStringLiteral("The tone's peak level."),
         .get = decimalOf(&ToneOptions::levelDb),
         .set = setDecimal(&ToneOptions::levelDb)},
        // Noise is set to its RMS by making it again from its seed, which the window's runs
        // of the tool do not take: the command line's library engine alone offers it.
        {.id = Option::levelReference,
         .key = QStringLiteral("OptionLevelReference"),
         .defaultValue = QStringLiteral("peak"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .words = references,
         .rows = {QStringLiteral("Peak"), QStringLiteral("RMS")},
         .flag = QStringLiteral("level-reference"),
         .valueName = QStringLiteral("ref"),
         .help = QStringLiteral("What --level sets: peak, or rms (a sine's peak 3.01 dB above "
                                "it; each noise file measured)"),
         .label = QStringLiteral("Level reference:"),
         .name = QStringLiteral("Level reference"),
         .description = QStringLiteral("Whether the level is the tone's peak or its RMS."),
         .get = wordOf(&ToneOptions::levelReference, references),
         .set = placeOf(&ToneOptions::levelReference, references)},
        {.id = Option::fade,
         .key = QStringLiteral("OptionFade"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .lowest = 0,
         .highest = 500,
         .what = QStringLiteral("a fade in ms"),
         .unit = QStringLiteral(" ms"),
         .flag = QStringLiteral("fade"),
         .valueName = QStringLiteral("ms"),
         .help = QStringLiteral("Fade in and out in ms, 0 to 500"),
         .label = QStringLiteral("Fade in/out:"),
         .name = QStringLiteral("Fade in and out"),
         .description = QStringLiteral("A raised-cosine ramp at each end, against the click."),
         .get = numberOf(&ToneOptions::fadeMs),
         .set = setNumber(&ToneOptions::fadeMs)},
        {.id = Option::fadeShape,
         .key = QStringLiteral("OptionFadeShape"),
         .defaultValue = QStringLiteral("raised-cosine"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .words = fadeShapes,
         .rows = {QStringLiteral("Raised cosine"), QStringLiteral("Linear"),
                  QStringLiteral("Gaussian"), QStringLiteral("Hamming")},
         .flag = QStringLiteral("fade-shape"),
         .valueName = QStringLiteral("shape"),
         .help = QStringLiteral("The fade's ramp: %1 (SoX's fades start from silence: gaussian is "
                                "made within 0.044, hamming within 0.08 of its formula)")
                     .arg(fadeShapes.join(QStringLiteral(", "))),
         .label = QStringLiteral("Fade shape:"),
         .name = QStringLiteral("Fade shape"),
         .description = QStringLiteral("The ramp's shape at each end."),
         .get = wordOf(&ToneOptions::fadeShape, fadeShapes),
         .set = placeOf(&ToneOptions::fadeShape, fadeShapes)},
        {.id = Option::channel,
         .key = QStringLiteral("OptionChannel"),
         .defaultValue = QStringLiteral("mono"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .group = PanelGroup::sound,
         .words = channels,
         .rows = {QStringLiteral("Mono"), QStringLiteral("Left ear only"),
                  QStringLiteral("Right ear only"), QStringLiteral("Both ears")},
         .flag = QStringLiteral("channel"),
         .valueName = QStringLiteral("channel"),
         .help = QStringLiteral("Channel: %1; a list (left,right) with --balanced")
                     .arg(channels.join(QStringLiteral(", "))),
         .label = QStringLiteral("Channel:"),
         .name = QStringLiteral("Channel"),
         .description = QStringLiteral("One ear at a time for hearing checks, or both."),
         .get = wordOf(&ToneOptions::channel, channels),
         .set = placeOf(&ToneOptions::channel, channels)},
        {.id = Option::ildDb,
         .key = QStringLiteral("OptionIldDb"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::sound,
         .group = PanelGroup::shape,
         .lowest = -40,
         .highest = 40,
         .decimals = 1,
         .what = QStringLiteral("a level difference in dB"),
         .unit = QStringLiteral(" dB"),
         .flag = QStringLiteral("ild-db"),
         .valueName = QStringLiteral("db"),
         .help = QStringLiteral("Level difference between the ears of --channel both: the right "
                                "ear this many dB above the left (negative: below), -40 to 40; a "
                                "list with --balanced"),
         .label = QStringLiteral("Ear difference:"),
         .name = QStringLiteral("Level difference between the ears"),
         .description = QStringLiteral("The right ear this many dB above the left (below it when "
                                       "negative); the louder ear keeps the level."),
         .get = decimalOf(&ToneOptions::ildDb),
         .set = setDecimal(&ToneOptions::ildDb)},
        {.id = Option::itdUs,
         .key = QStringLiteral("OptionItdUs"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::sound,
         .group = PanelGroup::shape,
         .lowest = -10000,
         .highest = 10000,
         .what = QStringLiteral("a time difference in microseconds"),
         .unit = QStringLiteral(" \u00b5s"),
         .flag = QStringLiteral("itd-us"),
         .valueName = QStringLiteral("us"),
         .help = QStringLiteral("Time difference between the ears of --channel both: the right ear "
                                "leads by this many microseconds (negative: the left), -10000 to "
                                "10000, in whole samples of the file's rate; a list with "
                                "--balanced"),
         .label = QStringLiteral("Ear time difference:"),
         .name = QStringLiteral("Time difference between the ears"),
         .description = QStringLiteral("The right ear leads by this many microseconds (the left "
                                       "when negative), in whole samples."),
         .get = decimalOf(&ToneOptions::itdUs),
         .set = setDecimal(&ToneOptions::itdUs)},
        {.id = Option::pitchDraw,
         .key = QStringLiteral("OptionPitchDraw"),
         .defaultValue = QStringLiteral("hz"),
         .kind = Kind::words,
         .section = OptionSection::pitch,
         .group = PanelGroup::pitch,
         .words = draws,
         .rows = {QStringLiteral("Hz, even"), QStringLiteral("Even per octave"),
                  QStringLiteral("Musical notes"), QStringLiteral("List")},
         .flag = QStringLiteral("pitch-draw"),
         .valueName = QStringLiteral("draw"),
         .help = QStringLiteral("Pitch draw: %1").arg(draws.join(QStringLiteral(", "))),
         .label = QStringLiteral("Pitch draw:"),
         .name = QStringLiteral("Pitch draw"),
         .description = QStringLiteral("How frequencies are drawn between the bounds."),
         .get = wordOf(&ToneOptions::pitchDraw, draws),
         .set = placeOf(&ToneOptions::pitchDraw, draws)},
        {.id = Option::prefix,
         .key = QStringLiteral("OptionPrefix"),
         .defaultValue = QStringLiteral("Ziravel_"),
         .kind = Kind::text,
         .section = OptionSection::files,
         .group = PanelGroup::files,
         .flag = QStringLiteral("prefix"),
         .valueName = QStringLiteral("prefix"),
         .help = QStringLiteral("Start of every file name"),
         .label = QStringLiteral("Name prefix:"),
         .name = QStringLiteral("Name prefix"),
         .description = QStringLiteral("The start of every file name, before the tone number."),
         .get = textOf(&ToneOptions::prefix),
         .set = setText(&ToneOptions::prefix)},
        {.id = Option::neverOverwrite,
         .key = QStringLiteral("OptionNeverOverwrite"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::flag,
         .section = OptionSection::files,
         .group = PanelGroup::files,
         .flag = QStringLiteral("never-overwrite"),
         .help = neverOverwriteHelp,
         .name = QStringLiteral("Never overwrite"),
         .description = neverOverwriteHelp + QLatin1Char('.'),
         .get = flagOf(&ToneOptions::neverOverwrite),
         .set = setFlag(&ToneOptions::neverOverwrite)},
        {.id = Option::pitchList,
         .key = QStringLiteral("OptionPitchList"),
         .defaultValue = QString(),
         .kind = Kind::pitches,
         .section = OptionSection::pitch,
         .group = PanelGroup::pitch,
         .flag = QStringLiteral("pitch-list"),
         .valueName = QStringLiteral("list"),
         .help = QStringLiteral("The list of --pitch-draw list: frequencies in Hz (250,500,1000) "
                                "or notes (A3..A5, C4,Eb4,G4)"),
         .label = QStringLiteral("Frequencies or notes:"),
         .name = QStringLiteral("Frequencies or notes"),
         .description = QStringLiteral("The list the List pitch draw draws from: frequencies in "
                                       "Hz, or notes such as A3..A5 or C4,Eb4,G4."),
         .get = textOf(&ToneOptions::pitchList),
         .set = setText(&ToneOptions::pitchList)},
        {.id = Option::balanced,
         .key = QStringLiteral("OptionBalanced"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::flag,
         .section = OptionSection::pitch,
         .group = PanelGroup::pitch,
         .flag = QStringLiteral("balanced"),
         .help = balancedHelp,
         .name = QStringLiteral("Balanced"),
         .description = balancedHelp + QLatin1Char('.'),
         .get = flagOf(&ToneOptions::balanced),
         .set = setFlag(&ToneOptions::balanced)},
        {.id = Option::noiseBand,
         .key = QStringLiteral("OptionNoiseBand"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::flag,
         .section = OptionSection::sound,
         .group = PanelGroup::noise,
         .flag = QStringLiteral("band-from-bounds"),
         .help = QStringLiteral("Filter the noise types to the band between --from and --to"),
         .name = QStringLiteral("Noise band from the bounds"),
         .description = QStringLiteral("Filters the noise types to the band from From to To."),
         .get = flagOf(&ToneOptions::noiseBandFromBounds),
         .set = setFlag(&ToneOptions::noiseBandFromBounds)},
        {.id = Option::shape,
         .key = QStringLiteral("OptionShape"),
         .defaultValue = QStringLiteral("steady"),
         .kind = Kind::words,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .words = shapes,
         .rows = {QStringLiteral("Steady tone"), QStringLiteral("Sweep up"),
                  QStringLiteral("Sweep down")},
         .flag = QStringLiteral("shape"),
         .valueName = QStringLiteral("shape"),
         .help = QStringLiteral("Shape: %1 (--sweep alone sweeps up)")
                     .arg(shapes.join(QStringLiteral(", "))),
         .label = QStringLiteral("Shape:"),
         .name = QStringLiteral("Shape"),
         .description = QStringLiteral("A steady tone, or a sweep over the tone's length."),
         .get = wordOf(&ToneOptions::shape, shapes),
         .set = placeOf(&ToneOptions::shape, shapes)},
        {.id = Option::sweep,
         .key = QStringLiteral("OptionSweep"),
         .defaultValue = QStringLiteral("log"),
         .kind = Kind::words,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .words = sweeps,
         .rows = {QStringLiteral("Linear"), QStringLiteral("Logarithmic")},
         .flag = QStringLiteral("sweep"),
         .valueName = QStringLiteral("sweep"),
         .help = QStringLiteral("Each file sweeps: linear, or log (even per octave)"),
         .label = QStringLiteral("Sweep:"),
         .name = QStringLiteral("Sweep"),
         .description = QStringLiteral("How a sweep moves: evenly in hertz, or evenly per "
                                       "octave."),
         .get = wordOf(&ToneOptions::sweep, sweeps),
         .set = placeOf(&ToneOptions::sweep, sweeps)},
        {.id = Option::sweepEnds,
         .key = QStringLiteral("OptionSweepEnds"),
         .defaultValue = QStringLiteral("bounds"),
         .kind = Kind::words,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .words = sweepEnds,
         .rows = {QStringLiteral("The bounds"), QStringLiteral("Drawn")},
         .flag = QStringLiteral("sweep-ends"),
         .valueName = QStringLiteral("ends"),
         .help = QStringLiteral("A sweep's ends: bounds (--from, --to), or drawn (two pitches "
                                "drawn per file)"),
         .label = QStringLiteral("Sweep ends:"),
         .name = QStringLiteral("Sweep ends"),
         .description = QStringLiteral("A sweep goes from bound to bound, or between two "
                                       "pitches drawn for each file."),
         .get = wordOf(&ToneOptions::sweepEnds, sweepEnds),
         .set = placeOf(&ToneOptions::sweepEnds, sweepEnds)},
        {.id = Option::tonesPerFile,
         .key = QStringLiteral("OptionTonesPerFile"),
         .defaultValue = QStringLiteral("1"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .lowest = 1,
         .highest = 100,
         .what = QStringLiteral("a number of tones"),
         .flag = QStringLiteral("tones-per-file"),
         .valueName = QStringLiteral("k"),
         .help = QStringLiteral("Tones in each file, one after another, 1 to 100"),
         .label = QStringLiteral("Tones per file:"),
         .name = QStringLiteral("Tones per file"),
         .description = QStringLiteral("Several tones in one file, for listening trials."),
         .get = numberOf(&ToneOptions::tonesPerFile),
         .set = setNumber(&ToneOptions::tonesPerFile)},
        {.id = Option::gap,
         .key = QStringLiteral("OptionGap"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .lowest = 0,
         .highest = 10000,
         .what = QStringLiteral("a gap in ms"),
         .unit = QStringLiteral(" ms"),
         .flag = QStringLiteral("gap"),
         .valueName = QStringLiteral("ms"),
         .help = QStringLiteral("Silence between the tones of a file in ms, 0 to 10000"),
         .label = QStringLiteral("Gap (ms):"),
         .name = QStringLiteral("Gap"),
         .description = QStringLiteral("The silence between the tones of a file."),
         .get = numberOf(&ToneOptions::gapMs),
         .set = setNumber(&ToneOptions::gapMs)},
        {.id = Option::intervalCents,
         .key = QStringLiteral("OptionIntervalCents"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .lowest = -2400,
         .highest = 2400,
         .what = QStringLiteral("an interval in cents"),
         .unit = QStringLiteral(" cents"),
         .flag = QStringLiteral("interval-cents"),
         .valueName = QStringLiteral("c"),
         .help = QStringLiteral("Each tone of a file after the first this many cents from the one "
                                "before, -2400 to 2400 (0: drawn as the first)"),
         .label = QStringLiteral("Interval:"),
         .name = QStringLiteral("Interval in cents"),
         .description = QStringLiteral("Each tone of a file after the first this many cents from "
                                       "the one before; 0 draws each."),
         .get = numberOf(&ToneOptions::intervalCents),
         .set = setNumber(&ToneOptions::intervalCents)},
        {.id = Option::harmonics,
         .key = QStringLiteral("OptionHarmonics"),
         .defaultValue = QString(),
         .kind = Kind::form,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .what = QStringLiteral("harmonic numbers from 1 to %1 like 1-8 or 2,3,4,5")
                     .arg(highestHarmonic),
         .flag = QStringLiteral("harmonics"),
         .valueName = QStringLiteral("numbers"),
         .help = QStringLiteral("A complex of sines on the drawn fundamental: harmonics 1-8, or a "
                                "list 2,3,4,5 (a missing fundamental)"),
         .label = QStringLiteral("Harmonics:"),
         .name = QStringLiteral("Harmonics"),
         .description = QStringLiteral("A complex of sines: the harmonics of the drawn "
                                       "fundamental, such as 1-8 or 2,3,4,5; empty for one "
                                       "sine."),
         .accepts = [](const QString& text) { return harmonicNumbers(text).has_value(); },
         .get = textOf(&ToneOptions::harmonics),
         .set = setText(&ToneOptions::harmonics)},
        {.id = Option::harmonicSlope,
         .key = QStringLiteral("OptionHarmonicSlope"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .lowest = -24,
         .highest = 24,
         .decimals = 1,
         .what = QStringLiteral("a slope in dB per octave"),
         .unit = QStringLiteral(" dB/octave"),
         .flag = QStringLiteral("harmonic-slope"),
         .valueName = QStringLiteral("db"),
         .help = QStringLiteral("Each harmonic's level, in dB per octave above the fundamental, "
                                "-24 to 24 (0: equal amplitudes)"),
         .label = QStringLiteral("Harmonic slope:"),
         .name = QStringLiteral("Harmonic slope"),
         .description = QStringLiteral("The harmonics' levels in dB per octave; 0 gives equal "
                                       "amplitudes."),
         .get = decimalOf(&ToneOptions::harmonicSlopeDb),
         .set = setDecimal(&ToneOptions::harmonicSlopeDb)},
        {.id = Option::harmonicPhase,
         .key = QStringLiteral("OptionHarmonicPhase"),
         .defaultValue = QStringLiteral("sine"),
         .kind = Kind::words,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .words = phases,
         .rows = {QStringLiteral("Sine"), QStringLiteral("Cosine"),
                  QStringLiteral("Random per tone"), QStringLiteral("Schroeder positive"),
                  QStringLiteral("Schroeder negative")},
         .flag = QStringLiteral("harmonic-phase"),
         .valueName = QStringLiteral("kind"),
         .help = QStringLiteral("The harmonics' starting phases: %1 (random drawn per tone "
                                "from its seed; Schroeder's +-pi n(n+1)/N for harmonic n of N)")
                     .arg(phases.join(QStringLiteral(", "))),
         .label = QStringLiteral("Harmonic phase:"),
         .name = QStringLiteral("Harmonic phase"),
         .description = QStringLiteral("The harmonics start in sine or cosine phase, each "
                                       "tone draws them, or in Schroeder's phases."),
         .get = wordOf(&ToneOptions::harmonicPhase, phases),
         .set = placeOf(&ToneOptions::harmonicPhase, phases)},
        {.id = Option::am,
         .key = QStringLiteral("OptionAm"),
         .defaultValue = QString(),
         .kind = Kind::form,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .what = QStringLiteral("RATE,DEPTH like 8,0.5 or 4-16,1 or 4/8/16,0.5, the depth 0 "
                                "to 1"),
         .flag = QStringLiteral("am"),
         .valueName = QStringLiteral("rate,depth"),
         .help = QStringLiteral("Amplitude modulation (1 + depth sin) at RATE Hz, depth 0 to 1; "
                                "the rate a range 4-16 or a list 4/8/16 drawn per tone"),
         .label = QStringLiteral("Amplitude modulation:"),
         .name = QStringLiteral("Amplitude modulation"),
         .description = QStringLiteral("RATE,DEPTH: the rate in Hz (a range 4-16 or a list "
                                       "4/8/16 drawn per tone), the depth 0 to 1; empty for "
                                       "none."),
         .accepts = [](const QString& text) { return amOf(text).has_value(); },
         .get = textOf(&ToneOptions::am),
         .set = setText(&ToneOptions::am)},
        {.id = Option::fm,
         .key = QStringLiteral("OptionFm"),
         .defaultValue = QString(),
         .kind = Kind::form,
         .section = OptionSection::pitch,
         .group = PanelGroup::shape,
         .what = QStringLiteral("RATE,DEVIATION like 5,50 or 2-8,20 or 2/4/8,20, in Hz, the "
                                "deviation at most 256 times the lowest rate"),
         .flag = QStringLiteral("fm"),
         .valueName = QStringLiteral("rate,deviation"),
         .help = QStringLiteral("Frequency modulation at RATE Hz, DEVIATION Hz either way; the "
                                "rate a range or a list drawn per tone"),
         .label = QStringLiteral("Frequency modulation:"),
         .name = QStringLiteral("Frequency modulation"),
         .description = QStringLiteral("RATE,DEVIATION in Hz (the rate a range 2-8 or a list "
                                       "2/4/8 drawn per tone); empty for none."),
         .accepts = [](const QString& text) { return fmOf(text).has_value(); },
         .get = textOf(&ToneOptions::fm),
         .set = setText(&ToneOptions::fm)},
        // The noise is set against the tone by making it again from its seed, which the window's
        // runs of the tool do not take: the command line's library engine alone offers it.
        {.id = Option::masker,
         .key = QStringLiteral("OptionMasker"),
         .defaultValue = QStringLiteral("none"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .group = PanelGroup::noise,
         .words = maskers,
         .rows = {QStringLiteral("None"), QStringLiteral("White noise"),
                  QStringLiteral("Pink noise"), QStringLiteral("Brown noise")},
         .flag = QStringLiteral("noise"),
         .valueName = QStringLiteral("noise"),
         .help = QStringLiteral("A noise under the tone, --snr dB below it in RMS, drawn from "
                                "the tone's seed: %1")
                     .arg(maskers.join(QStringLiteral(", "))),
         .label = QStringLiteral("Noise under the tone:"),
         .name = QStringLiteral("Noise under the tone"),
         .description = QStringLiteral("A noise mixed under the tone."),
         .get = wordOf(&ToneOptions::masker, maskers),
         .set = placeOf(&ToneOptions::masker, maskers)},
        {.id = Option::snr,
         .key = QStringLiteral("OptionSnr"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::number,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .group = PanelGroup::noise,
         .lowest = -40,
         .highest = 60,
         .decimals = 1,
         .what = QStringLiteral("a signal-to-noise ratio in dB"),
         .unit = QStringLiteral(" dB"),
         .flag = QStringLiteral("snr"),
         .valueName = QStringLiteral("db"),
         .help = QStringLiteral("The tone's RMS above the --noise's over the file, -40 to 60 dB; "
                                "a list with --balanced"),
         .label = QStringLiteral("Signal to noise:"),
         .name = QStringLiteral("Signal to noise"),
         .description = QStringLiteral("The tone's RMS above the noise's."),
         .get = decimalOf(&ToneOptions::snrDb),
         .set = setDecimal(&ToneOptions::snrDb)},
        {.id = Option::binaural,
         .key = QStringLiteral("OptionBinaural"),
         .defaultValue = QStringLiteral("none"),
         .kind = Kind::words,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .group = PanelGroup::noise,
         .words = binauralWords,
         .rows = {QStringLiteral("None"), QStringLiteral("N0S0"), QStringLiteral("N0Spi"),
                  QStringLiteral("NpiS0"), QStringLiteral("NpiSpi"), QStringLiteral("NuS0"),
                  QStringLiteral("NuSpi")},
         .flag = QStringLiteral("binaural"),
         .valueName = QStringLiteral("condition"),
         .help = QStringLiteral("With --noise and --channel both: the noise the same in both "
                                "ears (n0), inverted in the right (npi) or its own in each (nu), "
                                "the tone the same (s0) or inverted in the right (spi): %1")
                     .arg(binauralWords.join(QStringLiteral(", "))),
         .label = QStringLiteral("Binaural condition:"),
         .name = QStringLiteral("Binaural condition"),
         .description = QStringLiteral("How the noise and the tone differ between the ears."),
         .get = wordOf(&ToneOptions::binaural, binauralWords),
         .set = placeOf(&ToneOptions::binaural, binauralWords)},
        {.id = Option::noiseAlone,
         .key = QStringLiteral("OptionNoiseAlone"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::flag,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .group = PanelGroup::noise,
         .flag = QStringLiteral("noise-alone"),
         .help = QStringLiteral("Make the --noise alone, at the level it has under the tone "
                                "(the intervals without the tone of a forced-choice test)"),
         .name = QStringLiteral("Noise alone"),
         .description = QStringLiteral("The noise under the tone without the tone."),
         .get = flagOf(&ToneOptions::noiseAlone),
         .set = setFlag(&ToneOptions::noiseAlone)},
        {.id = Option::fineItd,
         .key = QStringLiteral("OptionFineItd"),
         .defaultValue = QStringLiteral("0"),
         .kind = Kind::flag,
         .section = OptionSection::sound,
         .place = Place::commandLine,
         .group = PanelGroup::shape,
         .flag = QStringLiteral("fine-itd"),
         .help = QStringLiteral("Make --itd-us to a sixteenth of a sample (1.3 us at 48000 Hz) "
                                "by resampling 16 times up and back, not in whole samples"),
         .name = QStringLiteral("Fine time difference"),
         .description = QStringLiteral("The time difference between the ears to a sixteenth of "
                                       "a sample."),
         .get = flagOf(&ToneOptions::fineItd),
         .set = setFlag(&ToneOptions::fineItd)},
    };
}

} // namespace

const QList<OptionRow>& optionTable() {
    static const QList<OptionRow> table = [] {
        const QList<OptionRow> rows = makeTable();
        // optionRow() finds a row at its option's place.
        for (qsizetype at = 0; at < rows.size(); ++at)
            Q_ASSERT(int(rows[at].id) == at);
        return rows;
    }();
    return table;
}

const QList<OptionRow>& toneOptionTable() {
    static const QList<OptionRow> table = [] {
        QList<OptionRow> rows = optionTable();
        rows.removeIf([](const OptionRow& option) { return !option.set; });
        return rows;
    }();
    return table;
}

const OptionRow& optionRow(Option option) {
    return optionTable()[int(option)];
}

SettingKey storedSetting(Option option) {
    const OptionRow& row = optionRow(option);
    return {row.key, row.defaultValue};
}

QString OptionRow::shownDefault() const {
    return kind == Kind::row ? words.value(defaultValue.toInt()) : defaultValue;
}

ToneOptions::ToneOptions() {
    static const ToneOptions defaults = [] {
        ToneOptions options{Unset{}};
        for (const OptionRow& option : toneOptionTable())
            option.set(options, option.defaultValue);
        return options;
    }();
    *this = defaults;
}

std::optional<QString> readOption(const OptionRow& option, const QString& text) {
    switch (option.kind) {
    case Kind::words:
        if (const qsizetype at = option.words.indexOf(text.toLower()); at >= 0)
            return option.words[at];
        break;
    case Kind::number: {
        // Read as the window reads its fields, rounded to the places kept, halfway to even.
        double value = 0;
        const double scale = std::pow(10.0, option.decimals);
        if (parseNumberText(text, value) && std::isfinite(value)) {
            value = std::nearbyint(value * scale) / scale;
            if (value >= option.lowest && value <= option.highest)
                return decimalText(value);
        }
        break;
    }
    case Kind::text:
        if (safePrefix(text) == text)
            return text;
        break;
    case Kind::flag:
        if (text == QLatin1String("0") || text == QLatin1String("1"))
            return text;
        break;
    case Kind::pitches:
        if (text.trimmed().isEmpty() || pitchesOf(text))
            return text.trimmed();
        break;
    case Kind::seconds:
        if (toneSecondsOf(text))
            return text;
        break;
    case Kind::row:
        if (const std::optional<Waveform> waveform = waveformOfRow(text))
            return QString::number(int(*waveform));
        break;
    case Kind::folder:
        return text;
    case Kind::form:
        if (text.trimmed().isEmpty())
            return QString();
        if (option.accepts(text.trimmed()))
            return text.trimmed();
        break;
    }
    return std::nullopt;
}

QString optionRefusal(const OptionRow& option) {
    switch (option.kind) {
    case Kind::words:
        return QStringLiteral("not one of %1.").arg(option.words.join(QStringLiteral(", ")));
    case Kind::number:
        return QStringLiteral("not %1 from %2 to %3.")
            .arg(option.what)
            .arg(option.lowest)
            .arg(option.highest);
    case Kind::text: {
        QString text = QStringLiteral("a prefix names a file in the folder: no separator, no "
                                      "control character, not \".\" or \"..\", at most 200 "
                                      "bytes, and not beginning with =, +, - or @, which a "
                                      "spreadsheet would run as a formula in the answer key");
#ifdef Q_OS_WIN
        text += QStringLiteral("; nor holding < > : \" | ? *, nor a name Windows keeps for a "
                               "device (COM and LPT give COM1 and LPT1; CON., NUL. and the like)");
#endif
        return text + QLatin1Char('.');
    }
    case Kind::pitches:
        return QStringLiteral("not frequencies in Hz like 250,500,1000 nor notes like A3..A5 or "
                              "C4,Eb4,G4.");
    case Kind::seconds:
        return QStringLiteral("not a positive number of seconds (one sample at least).");
    case Kind::row:
        return QStringLiteral("not a waveform; one of %1.")
            .arg(option.words.join(QStringLiteral(", ")));
    case Kind::form:
        return QStringLiteral("not %1.").arg(option.what);
    case Kind::folder:
    case Kind::flag:
        break;
    }
    return QStringLiteral("not 0 or 1.");
}

ToneOptions toneOptionsFrom(const std::function<QString(const OptionRow&)>& texts) {
    ToneOptions options;
    for (const OptionRow& option : toneOptionTable()) {
        option.set(options, readOption(option, texts(option)).value_or(option.defaultValue));
    }
    return options;
}

QString optionWord(Option option, const ToneOptions& options) {
    return optionRow(option).get(options);
}

QString idleReason(Option option, const ToneOptions& options, bool noiseType) {
    switch (option) {
    case Option::sweep:
    case Option::sweepEnds:
        if (options.shape == ToneOptions::Shape::steady)
            return QStringLiteral("Only a sweep uses it: choose Sweep up or Sweep down as the "
                                  "shape.");
        break;
    case Option::gap:
    case Option::intervalCents:
        if (options.tonesPerFile <= 1)
            return QStringLiteral("Only files of several tones use it: set Tones per file above "
                                  "1.");
        break;
    case Option::ildDb:
    case Option::itdUs:
    case Option::fineItd:
        if (options.channel != ToneOptions::Channel::bothEars)
            return QStringLiteral("Only files for both ears use it: choose Both ears as the "
                                  "channel.");
        break;
    case Option::fadeShape:
        if (options.fadeMs == 0)
            return QStringLiteral("Only a fade uses it: set Fade in/out above 0 ms.");
        break;
    case Option::harmonicSlope:
    case Option::harmonicPhase:
        if (options.harmonics.isEmpty() || noiseType)
            return QStringLiteral("Only a complex uses it: give the harmonics.");
        break;
    case Option::harmonics:
    case Option::am:
    case Option::fm:
        if (noiseType)
            return QStringLiteral("The noise types have no pitch: choose Sine as the Type.");
        break;
    case Option::snr:
    case Option::binaural:
    case Option::noiseAlone:
        if (options.masker == ToneOptions::Masker::none)
            return QStringLiteral("Only a noise under the tone uses it: choose the noise.");
        break;
    case Option::noiseBand:
        if (!noiseType)
            return QStringLiteral("Only the noise types use it: choose a noise as the Type.");
        break;
    case Option::pitchList:
    case Option::balanced:
        if (options.pitchDraw != ToneOptions::PitchDraw::list)
            return QStringLiteral("Only the List pitch draw uses it: choose List as the pitch "
                                  "draw.");
        break;
    default:
        break;
    }
    return {};
}
