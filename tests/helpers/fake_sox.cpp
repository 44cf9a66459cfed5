// Test helper that stands in for SoX: writes a small file to the output path (the
// argument after "-n") and exits 0. ZIRAVEL_FAKE_SOX_MS makes it sleep first,
// ZIRAVEL_FAKE_SOX_LOG names a file it appends its arguments to, one run a line.
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

int main(int argc, char* argv[]) {
    std::string output;
    std::string arguments;
    for (int i = 1; i < argc; ++i) {
        if (i + 1 < argc && std::string(argv[i]) == "-n")
            output = argv[i + 1];
        arguments += (i > 1 ? " " : "") + std::string(argv[i]);
    }
    if (const char* ms = std::getenv("ZIRAVEL_FAKE_SOX_MS"))
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(ms)));
    if (const char* log = std::getenv("ZIRAVEL_FAKE_SOX_LOG"))
        std::ofstream(log, std::ios::app) << arguments << '\n';
    std::ofstream(output) << "tone";
    return 0;
}
