// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper that stands in for SoX: writes a 16-bit WAV of the asked length at 8000 Hz to
// the output path (the argument after "-n"), a square wave at the level of its "gain"
// argument (full scale without one), and exits 0.
// ZIRAVEL_FAKE_SOX_STARTED names a file it appends a line to as it starts, for tests that act
// while a run is under way. ZIRAVEL_FAKE_SOX_MS makes it sleep first, ZIRAVEL_FAKE_SOX_LOG names
// a file it appends its arguments to, one run a line. ZIRAVEL_FAKE_SOX_STALL="<text>:<ms>" makes a
// run whose output path holds <text> write half its file, then wait, then finish it.
// ZIRAVEL_FAKE_SOX_SILENT makes every sample 0. ZIRAVEL_FAKE_SOX_CUT=<bytes> makes it stop after
// that many bytes of samples and still exit 0, as SoX does when the disk fills; the header
// announces the whole length. Without it, lengths over ten seconds are refused (exit 1, no file),
// so that a test cannot fill the disk.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

namespace {

void put(std::ofstream& out, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i)
        out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

} // namespace

int main(int argc, char* argv[]) {
    std::string output;
    double seconds = 0;
    double gainDb = 0;
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (i + 1 < argc && argument == "-n")
            output = argv[i + 1];
        if (i + 1 < argc && argument == "synth")
            seconds = std::atof(argv[i + 1]);
        if (i + 1 < argc && argument == "gain")
            gainDb = std::atof(argv[i + 1]);
        std::string logged = argument; // one run a line, whatever the arguments hold
        for (std::size_t at = 0; (at = logged.find_first_of("\r\n", at)) != std::string::npos;)
            logged.replace(at, 1, logged[at] == '\n' ? "\\n" : "\\r");
        arguments += (i > 1 ? " " : "") + logged;
    }
    if (const char* started = std::getenv("ZIRAVEL_FAKE_SOX_STARTED"))
        std::ofstream(started, std::ios::app) << output << '\n';
    if (const char* ms = std::getenv("ZIRAVEL_FAKE_SOX_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
    if (const char* log = std::getenv("ZIRAVEL_FAKE_SOX_LOG"))
        std::ofstream(log, std::ios::app) << arguments << '\n';

    const char* cut = std::getenv("ZIRAVEL_FAKE_SOX_CUT");
    if (seconds > 10 && !cut)
        return 1;
    // The header can announce no more than 4 GB.
    const double askedBytes = std::min(seconds * 8000 * 2, 4294967295.0 - 36);
    const auto announcedBytes = static_cast<std::uint32_t>(askedBytes);
    const std::uint32_t dataBytes =
        cut ? std::min<std::uint32_t>(announcedBytes, static_cast<std::uint32_t>(std::atoi(cut)))
            : announcedBytes;
    std::ofstream out(output, std::ios::binary);
    out.write("RIFF", 4);
    put(out, 36 + announcedBytes, 4);
    out.write("WAVEfmt ", 8);
    put(out, 16, 4);
    put(out, 1, 2);     // PCM
    put(out, 1, 2);     // one channel
    put(out, 8000, 4);  // samples a second
    put(out, 16000, 4); // bytes a second
    put(out, 2, 2);     // bytes a frame
    put(out, 16, 2);    // bits a sample
    out.write("data", 4);
    put(out, announcedBytes, 4);
    int stallMs = 0;
    if (const char* stall = std::getenv("ZIRAVEL_FAKE_SOX_STALL")) {
        const std::string rule = stall;
        const std::size_t colon = rule.rfind(':');
        if (colon != std::string::npos && output.find(rule.substr(0, colon)) != std::string::npos)
            stallMs = std::atoi(rule.c_str() + colon + 1);
    }
    const auto amplitude =
        std::getenv("ZIRAVEL_FAKE_SOX_SILENT")
            ? std::int16_t(0)
            : static_cast<std::int16_t>(std::lround(32767 * std::pow(10, gainDb / 20)));
    for (std::uint32_t i = 0; i + 1 < dataBytes; i += 2) {
        if (stallMs > 0 && i == dataBytes / 4 * 2) {
            out.flush();
            std::this_thread::sleep_for(std::chrono::milliseconds(stallMs));
        }
        put(out, static_cast<std::uint16_t>(i % 4 == 0 ? amplitude : -amplitude), 2);
    }
    return 0;
}
