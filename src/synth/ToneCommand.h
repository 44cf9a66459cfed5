#pragma once

#include "runner/ShellWait.h"
#include "synth/ToneOptions.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <random>

// Tones are made at this sample rate, unless their pitch needs a higher one.
inline constexpr int toneSampleRate = 8000;

// Whether the path names an MP3 file, which the tool writes for that extension.
bool isMp3File(const QString& path);

// The sample rate a tone is made at: the lowest rate asked (8000 Hz unless an option says
// more) while its frequency lies below half of that; otherwise the lowest of 16000, 22050,
// 44100, 48000 and 96000 Hz that is more than twice the frequency, so that the file holds
// the pitch asked and not its alias. An MP3 file takes the lowest rate whose encoder
// low-pass lies above the pitch, with a margin. Noise has no pitch and stays at the rate
// asked.
int sampleRateFor(const QString& waveformWord, double frequency, int lowestRate = toneSampleRate,
                  bool mp3 = false);

// Why a tone cannot be made whatever the tool does, or empty text: a pitched tone at 0 Hz is
// silence, and an MP3 file loses a pitch above its encoder's low-pass at every rate.
QString toneRefusal(const QString& waveformWord, double frequency, int lowestRate, bool mp3);

// Why a tone of that length must not be made, or empty text: longer than a day, or its WAV
// file would pass the 4 GiB that the format can hold (sampleBits 0: the tool's 32 bits).
QString toneLengthRefusal(double seconds, int sampleRate, int sampleBits, int channels, bool mp3);

// The type word SoX receives for a row of the waveform list: lower case, without
// "(default)", trimmed. The noise rows give one word ("pinknoise"): two words would
// make SoX write two channels and ignore the frequency.
QString waveformWord(const QString& shownText);

// A whole number drawn uniformly: lower..upper when lower <= upper, upper + 1..lower
// when the bounds are reversed. Throws Failure "Overflow" when upper - lower lies
// outside -32768..32766.
qint16 randomBetween(qint16 lower, qint16 upper, std::mt19937_64& generator);

// A frequency drawn between the bounds as the pitch draw says: whole hertz with equal
// chance (randomBetween()); whole hertz spread evenly per octave (both bounds above 0); or
// an equal-tempered note (A4 = 440 Hz) between the bounds, each with equal chance. Throws
// Failure when the bounds allow no such frequency. The same generator state gives the same
// frequency with every compiler and library.
double drawPitch(qint16 lower, qint16 upper, ToneOptions::PitchDraw draw,
                 std::mt19937_64& generator);

// The tool's path in the tool folder, between double quotes (quotedArgument()).
QString quotedToolPath();

// The SoX arguments of one tone, as text: its sample rate (sampleRateFor()), the null
// input, the quoted output path and the synth effect with length, type and frequency. Each value is
// exactly one argument whatever the texts hold: the length is the number the field holds, written
// as a plain decimal with a point (a text that is no number stays one argument, which the run
// refuses), and a path that begins with "-" is given as "./-...". The options add their
// arguments (optionArguments()); at their defaults, none.
QString toolArgs(const QString& outputPath, const QString& lengthText,
                 const QString& waveformShownText, double frequency,
                 const ToneOptions& options = {});

// The whole command line: the quoted tool path, a blank, the arguments.
QString synthCommand(const QString& quotedTool, const QString& args);

// The tone length of a synth command's arguments, in seconds: the argument after "synth"
// when it is a plain decimal number of at least one sample. SoX reads a sign or a time
// form as something else, and writes without end for a length of no sample at all.
std::optional<double> toneSeconds(const QStringList& arguments);

// The seconds of a tone whose length field holds the text, read as the run reads the
// argument the text becomes: nothing for a length the run refuses.
std::optional<double> toneSecondsOf(const QString& lengthText);

// A synth run: how the tool ended, which tool it was, and the length and sample rate of
// the tone it was asked for.
struct SynthRun {
    ChildResult child;
    QString program;
    double seconds = 0;
    int sampleRate = toneSampleRate;
};

// A synth command line read for its run: the program and its arguments, and the length
// and sample rate of the tone. Throws Failure for a length that is not a positive number
// of seconds (at least one sample): SoX would write without end; and for one that
// toneLengthRefusal() refuses: SoX would fill the disk.
struct SynthCommand {
    CommandLine command;
    double seconds = 0;
    int sampleRate = toneSampleRate;
};
SynthCommand checkedSynthCommand(const QString& commandLine);

// Runs a synth command line and waits for the tool. A length that is not a positive
// number of seconds (at least one sample) makes SoX write without end, so such a command
// is refused with a Failure and never started.
SynthRun runSynthCommand(const QString& commandLine);
