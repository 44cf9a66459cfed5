// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper, preloaded into a program: every fsync() it makes is written to the file that
// ZIRAVEL_FSYNC_LOG names, as the path of the file synced, one a line, then done as asked.
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

extern "C" int fsync(int fd) {
    static const auto realFsync = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
    if (const char* log = std::getenv("ZIRAVEL_FSYNC_LOG")) {
        char link[64];
        std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
        char path[PATH_MAX];
        const ssize_t length = readlink(link, path, sizeof path - 1);
        if (length > 0) {
            path[length] = '\0';
            if (FILE* out = std::fopen(log, "a")) {
                std::fprintf(out, "%s\n", path);
                std::fclose(out);
            }
        }
    }
    return realFsync(fd);
}
