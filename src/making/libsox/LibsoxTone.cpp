// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/libsox/LibsoxTone.h"

#include <sox.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

// The driver below follows the sox program step by step (its option reading, signal and
// encoding choices, automatic effects and output effect): any step left out or reordered
// shows in the file's bytes.

namespace {

// The error output of the tone being made, in the sox program's form.
std::string* errorOutput = nullptr;

void collectMessage(unsigned level, const char* source, const char* format, va_list arguments) {
    if (!errorOutput || level > sox_globals.verbosity)
        return;
    static const char* const levels[] = {"FAIL", "WARN", "INFO", "DBUG"};
    char base[128];
    sox_basename(base, sizeof base, source);
    char text[1024];
    std::vsnprintf(text, sizeof text, format, arguments);
    *errorOutput +=
        std::string("sox ") + levels[std::min(level - 1, 3u)] + " " + base + ": " + text + "\n";
}

// A message of this driver's own, worded and placed as the program's.
void tell(unsigned level, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    collectMessage(level, "sox", format, arguments);
    va_end(arguments);
}

constexpr unsigned failLevel = 1;
constexpr unsigned warnLevel = 2;

// A file as its options describe it.
struct FileOptions {
    std::string path;
    const char* type = nullptr;
    sox_signalinfo_t signal{};
    sox_encodinginfo_t encoding{};

    FileOptions() { sox_init_encodinginfo(&encoding); }
};

struct EffectCall {
    std::string name;
    std::vector<std::string> arguments;
};

// The arguments read as the program reads them: files with their options, then the chains
// of effects, parted by ":", that run one after another into the one output.
struct ReadArguments {
    std::vector<FileOptions> files;
    std::vector<std::vector<EffectCall>> chains{{}};
    std::string refusal;
    bool noDither = false;       // -D: no dither where the output holds fewer bits
    std::string temporaryFolder; // --temp: where an effect that holds the whole tone keeps it
};

// Whether the argument names an effect. Every effect's name begins with a letter: numbers,
// options and paths are told without going through the library's list.
bool namesEffect(const std::string& argument) {
    return !argument.empty() && std::isalpha(static_cast<unsigned char>(argument[0])) &&
           sox_find_effect(argument.c_str());
}

bool readNumber(const std::string& text, double& number) {
    char* end = nullptr;
    number = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0';
}

ReadArguments readArguments(const std::vector<std::string>& arguments) {
    ReadArguments read;
    FileOptions options;
    std::size_t at = 0;
    const auto value = [&](double& number) {
        if (at + 1 >= arguments.size() || !readNumber(arguments[++at], number) || number <= 0)
            read.refusal = "Option `" + arguments[at] + "' needs a positive number";
    };
    for (; at < arguments.size() && read.refusal.empty() && !namesEffect(arguments[at]); ++at) {
        const std::string& argument = arguments[at];
        double number = 0;
        if (argument == "-r") {
            value(number);
            options.signal.rate = number;
        } else if (argument == "-c") {
            value(number);
            options.signal.channels = unsigned(number);
        } else if (argument == "-b") {
            value(number);
            options.encoding.bits_per_sample = unsigned(number);
        } else if (argument == "-e" && at + 1 < arguments.size() &&
                   arguments[at + 1] == "floating-point") {
            options.encoding.encoding = SOX_ENCODING_FLOAT;
            ++at;
        } else if (argument == "--no-glob") {
            // This driver never expands a path.
        } else if (argument == "-D") {
            read.noDither = true;
        } else if (argument == "--temp" && at + 1 < arguments.size()) {
            read.temporaryFolder = arguments[++at];
        } else if (argument == "-n") {
            options.type = "null";
            read.files.push_back(options);
            options = FileOptions();
        } else if (argument.size() > 1 && argument[0] == '-') {
            read.refusal = "Option `" + argument + "' is not made by this driver";
        } else {
            options.path = argument;
            read.files.push_back(options);
            options = FileOptions();
        }
    }
    for (; at < arguments.size(); ++at) {
        std::vector<EffectCall>& effects = read.chains.back();
        if (arguments[at] == ":")
            read.chains.emplace_back();
        else if (namesEffect(arguments[at]))
            effects.push_back({arguments[at], {}});
        else if (!effects.empty())
            effects.back().arguments.push_back(arguments[at]);
    }
    if (read.refusal.empty() && (read.files.size() != 2 || !read.files[0].type))
        read.refusal = "A null input and one output file are needed";
    return read;
}

// The first effect of the chain: the one input's samples, as the program's input combiner
// gives them for a single file.
struct InputPriv {
    sox_format_t* file;
};

int inputStart(sox_effect_t* effect) {
    static_cast<InputPriv*>(effect->priv)->file->sox_errno = errno = 0;
    return SOX_SUCCESS;
}

int inputDrain(sox_effect_t* effect, sox_sample_t* buffer, std::size_t* samples) {
    sox_format_t* file = static_cast<InputPriv*>(effect->priv)->file;
    const unsigned channels = file->signal.channels;
    const std::size_t wide = sox_read(file, buffer, *samples / channels * channels) / channels;
    if (!wide && file->sox_errno)
        tell(failLevel, "`%s' %s: %s", file->filename, file->sox_errstr,
             sox_strerror(file->sox_errno));
    *samples = wide * effect->in_signal.channels;
    return wide ? SOX_SUCCESS : SOX_EOF;
}

const sox_effect_handler_t* inputEffect() {
    static sox_effect_handler_t handler = {
        "input",          nullptr,    SOX_EFF_MCHAN | SOX_EFF_MODIFY,
        nullptr,          inputStart, nullptr,
        inputDrain,       nullptr,    nullptr,
        sizeof(InputPriv)};
    return &handler;
}

// The last effect: the output file, with the headroom the program leaves for its precision.
struct OutputPriv {
    sox_format_t* file;
};

int outputStart(sox_effect_t* effect) {
    const unsigned precision = effect->out_signal.precision;
    if (effect->in_signal.mult && effect->in_signal.precision > precision)
        *effect->in_signal.mult *= 1 - (1 << (31 - precision)) * (1. / SOX_SAMPLE_MAX);
    return SOX_SUCCESS;
}

int outputFlow(sox_effect_t* effect, const sox_sample_t* input, sox_sample_t*,
               std::size_t* inputSamples, std::size_t* outputSamples) {
    sox_format_t* file = static_cast<OutputPriv*>(effect->priv)->file;
    *outputSamples = 0;
    const std::size_t written = *inputSamples ? sox_write(file, input, *inputSamples) : 0;
    if (written != *inputSamples) {
        if (file->sox_errno)
            tell(failLevel, "`%s' %s: %s", file->filename, file->sox_errstr,
                 sox_strerror(file->sox_errno));
        return SOX_EOF;
    }
    return SOX_SUCCESS;
}

const sox_effect_handler_t* outputEffect() {
    static sox_effect_handler_t handler = {
        "output",          nullptr,     SOX_EFF_MCHAN | SOX_EFF_MODIFY | SOX_EFF_PREC,
        nullptr,           outputStart, outputFlow,
        nullptr,           nullptr,     nullptr,
        sizeof(OutputPriv)};
    return &handler;
}

sox_bool overwritePermitted(const char*) {
    return sox_true;
}

// An effect made from its name and arguments; the arguments outlive it.
sox_effect_t* createdEffect(const char* name, std::vector<std::string>& arguments) {
    sox_effect_t* effect = sox_create_effect(sox_find_effect(name));
    std::vector<char*> pointers;
    for (std::string& argument : arguments)
        pointers.push_back(argument.data());
    if (sox_effect_options(effect, int(pointers.size()), pointers.data()) == SOX_EOF) {
        sox_delete_effect(effect);
        return nullptr;
    }
    return effect;
}

// What one tone holds while it is made; closes and frees in the program's order.
struct ToneChain {
    sox_format_t* input = nullptr;
    sox_format_t* output = nullptr;
    sox_effects_chain_t* chain = nullptr;
    std::vector<sox_effect_t*> userEffects; // made, not yet in the chain

    ~ToneChain() {
        for (sox_effect_t* effect : userEffects)
            sox_delete_effect(effect);
        if (chain)
            sox_delete_effects_chain(chain);
        if (input)
            sox_close(input);
        if (output)
            sox_close(output);
    }

    // Adds an effect to the chain; the chain keeps a copy, whose private part it then owns.
    bool add(sox_effect_t* effect, sox_signalinfo_t& signal) {
        userEffects.erase(std::remove(userEffects.begin(), userEffects.end(), effect),
                          userEffects.end());
        const int added = sox_add_effect(chain, effect, &signal, &output->signal);
        std::free(effect);
        return added == SOX_SUCCESS;
    }

    // Makes the user's effects of one chain.
    bool create(std::vector<EffectCall>& calls) {
        for (EffectCall& call : calls) {
            sox_effect_t* effect = createdEffect(call.name.c_str(), call.arguments);
            if (!effect)
                return false;
            userEffects.push_back(effect);
        }
        return true;
    }

    bool addAutomatic(const char* name, sox_signalinfo_t& signal) {
        std::vector<std::string> none;
        sox_effect_t* effect = createdEffect(name, none);
        return effect && add(effect, signal);
    }
};

// Opens the output: its encoding as asked, the rest from the input where the format can hold
// it; its signal as asked, else from the last effect that sets it, else the input's.
bool openOutput(ToneChain& tone, FileOptions& out, const sox_signalinfo_t& combined) {
    // The output's encoding: as asked, the rest from the input where the format can hold it.
    const sox_encodinginfo_t combinedEncoding = tone.input->encoding;
    sox_encodinginfo_t outputEncoding = out.encoding;
    {
        sox_encodinginfo_t filled = outputEncoding;
        if (!filled.encoding)
            filled.encoding = combinedEncoding.encoding;
        if (!filled.bits_per_sample)
            filled.bits_per_sample = combinedEncoding.bits_per_sample;
        if (sox_format_supports_encoding(out.path.c_str(), out.type, &filled))
            outputEncoding = filled;
    }

    // The output's signal: as asked, else from the last effect that sets it, else the input's.
    sox_signalinfo_t outputSignal = out.signal;
    const std::size_t effects = tone.userEffects.size();
    for (std::size_t at = 0; at < effects && !outputSignal.rate; ++at)
        outputSignal.rate = tone.userEffects[effects - 1 - at]->out_signal.rate;
    for (std::size_t at = 0; at < effects && !outputSignal.channels; ++at)
        outputSignal.channels = tone.userEffects[effects - 1 - at]->out_signal.channels;
    if (!outputSignal.rate)
        outputSignal.rate = combined.rate;
    if (!outputSignal.channels)
        outputSignal.channels = combined.channels;
    outputSignal.precision = combined.precision;
    // The null input has no known length, so neither has the output.
    outputSignal.length = 0;

    sox_oob_t oob = tone.input->oob;
    oob.comments = sox_copy_comments(tone.input->oob.comments);
    if (!oob.comments)
        sox_append_comment(&oob.comments, "Processed by SoX");
    tone.output = sox_open_write(out.path.c_str(), &outputSignal, &outputEncoding, out.type, &oob,
                                 overwritePermitted);
    sox_delete_comments(&oob.comments);
    return tone.output != nullptr;
}

// The effects SoX adds between a chain and the output: rate, channels and dither.
bool addConversions(ToneChain& tone, sox_signalinfo_t& signal, bool noDither) {
    const sox_signalinfo_t& target = tone.output->signal;
    if (signal.channels < target.channels && signal.rate != target.rate &&
        !tone.addAutomatic("rate", signal))
        return false;
    if (signal.channels != target.channels && !tone.addAutomatic("channels", signal))
        return false;
    if (signal.rate != target.rate && !tone.addAutomatic("rate", signal))
        return false;
    if (!noDither && signal.precision > target.precision && target.precision < 24 &&
        !tone.addAutomatic("dither", signal))
        return false;
    return true;
}

int makeTone(ReadArguments& read) {
    FileOptions& in = read.files[0];
    FileOptions& out = read.files[1];
    ToneChain tone;
    tone.input = sox_open_read(in.path.c_str(), &in.signal, &in.encoding, in.type);
    if (!tone.input)
        return 2;
    if (!tone.create(read.chains.front()))
        return 1;

    // The input takes its channels from the first effect that names some, else one.
    sox_signalinfo_t& inputSignal = tone.input->signal;
    for (std::size_t at = 0; at < tone.userEffects.size() && !inputSignal.channels; ++at)
        inputSignal.channels = tone.userEffects[at]->in_signal.channels;
    if (!inputSignal.channels)
        inputSignal.channels = 1;
    sox_signalinfo_t combined = inputSignal;
    combined.length = inputSignal.length ? inputSignal.length : SOX_UNKNOWN_LEN;

    if (!openOutput(tone, out, combined))
        return 2;
    const sox_encodinginfo_t combinedEncoding = tone.input->encoding;

    tone.chain = sox_create_effects_chain(&combinedEncoding, &tone.output->encoding);
    sox_effect_t* input = sox_create_effect(inputEffect());
    static_cast<InputPriv*>(input->priv)->file = tone.input;
    sox_signalinfo_t signal = combined;
    if (!tone.add(input, signal))
        return 2;
    sox_effect_t* output = sox_create_effect(outputEffect());
    static_cast<OutputPriv*>(output->priv)->file = tone.output;
    for (std::size_t next = 0; next < read.chains.size(); ++next) {
        // After the first, each chain is made once the one before has run, and runs between
        // the same input and output effects, which keep their state.
        if (next > 0) {
            output = sox_pop_effect_last(tone.chain);
            while (tone.chain->length > 1)
                sox_delete_effect_last(tone.chain);
            if (!tone.create(read.chains[next])) {
                sox_push_effect_last(tone.chain, output);
                return 1;
            }
            signal = combined;
        }
        while (!tone.userEffects.empty())
            if (!tone.add(tone.userEffects.front(), signal))
                return 2;
        if (!addConversions(tone, signal, read.noDither))
            return 2;
        if (next > 0)
            sox_push_effect_last(tone.chain, output);
        else if (!tone.add(output, signal))
            return 2;
        // The flow ends with SOX_EOF when it went well too: the file tells.
        sox_flow_effects(tone.chain, nullptr, nullptr);
    }
    sox_delete_effects_chain(tone.chain);
    tone.chain = nullptr;
    if (tone.output->clips)
        tell(warnLevel, "`%s' output clipped %llu samples; decrease volume?", tone.output->filename,
             static_cast<unsigned long long>(tone.output->clips));
    sox_close(tone.input);
    tone.input = nullptr;
    return 0;
}

} // namespace

void initLibsox() {
    static const bool loaded = [] {
        sox_globals.output_message_handler = collectMessage;
        sox_init();
        // The format plugins load here, once, rather than at the first tone of each worker.
        sox_format_init();
        return true;
    }();
    (void)loaded;
}

LibsoxRun makeToneWithLibsox(const std::vector<std::string>& arguments, std::int32_t seed) {
    initLibsox();
    LibsoxRun run;
    errorOutput = &run.errorOutput;
    ReadArguments read = readArguments(arguments);
    if (!read.refusal.empty()) {
        tell(failLevel, "%s", read.refusal.c_str());
        run.status = 1;
    } else {
        sox_globals.ranqd1 = seed;
        sox_globals.tmp_path = read.temporaryFolder.empty() ? nullptr : read.temporaryFolder.data();
        run.status = makeTone(read);
        sox_globals.tmp_path = nullptr;
    }
    errorOutput = nullptr;
    return run;
}

std::optional<SoundLevels> measuredLevels(const std::string& path) {
    initLibsox();
    sox_format_t* file = sox_open_read(path.c_str(), nullptr, nullptr, nullptr);
    if (!file)
        return std::nullopt;
    const std::size_t channels = std::max(1u, file->signal.channels);
    std::vector<double> squares(channels, 0.0);
    std::vector<sox_sample_t> block(8192 * channels);
    double peak = 0;
    std::size_t frames = 0;
    for (std::size_t got; (got = sox_read(file, block.data(), block.size())) > 0;) {
        for (std::size_t at = 0; at < got; ++at) {
            const double sample = double(block[at]) / 2147483648.0;
            squares[at % channels] += sample * sample;
            peak = std::max(peak, std::abs(sample));
        }
        frames += got / channels;
    }
    sox_close(file);
    if (frames == 0)
        return std::nullopt;
    const double loudest = *std::max_element(squares.begin(), squares.end());
    return SoundLevels{10 * std::log10(loudest / double(frames)), 20 * std::log10(peak)};
}

std::string libsoxVersion() {
    return sox_version();
}
