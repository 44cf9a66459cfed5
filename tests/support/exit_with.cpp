// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: sleeps the milliseconds given as its second argument (and, when
// ZIRAVEL_HELPER_WAIT_FOR names a file, until that file is there), then writes its
// arguments from the third on, one a line, to the file named by ZIRAVEL_HELPER_LOG
// (when set) and exits with the status given as its first argument; a status other than 0
// is also told on standard error, as "exit <status>".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <thread>

int main(int argc, char* argv[]) {
    const int status = argc > 1 ? std::atoi(argv[1]) : 0;
    const int sleepMs = argc > 2 ? std::atoi(argv[2]) : 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(sleepMs));
    if (const char* awaited = std::getenv("ZIRAVEL_HELPER_WAIT_FOR"))
        for (int tries = 0; tries < 6000 && !std::ifstream(awaited); ++tries)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (const char* log = std::getenv("ZIRAVEL_HELPER_LOG")) {
        std::ofstream out(log);
        for (int i = 3; i < argc; ++i)
            out << argv[i] << '\n';
    }
    if (status != 0)
        std::fprintf(stderr, "exit %d\n", status);
    return status;
}
