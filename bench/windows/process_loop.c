// SPDX-License-Identifier: GPL-3.0-or-later
// The baseline of scripts/bench-windows: runs each command line of a UTF-8 file (one a line,
// the program first) with CreateProcessW, one after the other, as a bare loop would, waiting for
// each to end; a start that fails is tried once more, as ziravel-batch.exe does (wine refuses one
// in a few hundred with ERROR_INTERNAL_ERROR). Exits with 1 when one could not be started or did
// not end with status 0.
#include <stdio.h>
#include <string.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: process_loop <file of command lines>\n");
        return 2;
    }
    FILE* lines = fopen(argv[1], "rb");
    if (!lines) {
        fprintf(stderr, "cannot read %s\n", argv[1]);
        return 2;
    }
    char line[4096];
    wchar_t command[4096];
    int failed = 0;
    while (fgets(line, sizeof line, lines)) {
        line[strcspn(line, "\r\n")] = '\0';
        if (!line[0] || !MultiByteToWideChar(CP_UTF8, 0, line, -1, command, 4096))
            continue;
        STARTUPINFOW startup = {sizeof startup};
        PROCESS_INFORMATION process;
        BOOL started = FALSE;
        for (int attempt = 0; attempt < 2 && !started; ++attempt) {
            if (attempt > 0)
                Sleep(50);
            started = CreateProcessW(NULL, command, NULL, NULL, FALSE, CREATE_NO_WINDOW, NULL, NULL,
                                     &startup, &process);
        }
        if (!started) {
            fprintf(stderr, "not started (%lu): %s\n", GetLastError(), line);
            failed = 1;
            continue;
        }
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD status = 1;
        GetExitCodeProcess(process.hProcess, &status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        if (status != 0)
            failed = 1;
    }
    fclose(lines);
    return failed;
}
