// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The floor the benchmarks measure against: a tool run started with posix_spawn and
// waited for with waitpid, as a plain C program would, with no event loop.
#include "runner/ChildRun.h"

#include <QFile>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <vector>

extern char** environ;

class PlainCommand {
public:
    explicit PlainCommand(const CommandLine& command) {
        m_words.append(QFile::encodeName(command.program));
        for (const QString& argument : command.arguments)
            m_words.append(argument.toLocal8Bit());
        for (QByteArray& word : m_words)
            m_argv.push_back(word.data());
        m_argv.push_back(nullptr);
    }
    PlainCommand(const PlainCommand& other) : PlainCommand(CommandLine{}) { *this = other; }
    PlainCommand& operator=(const PlainCommand& other) {
        m_words = other.m_words;
        m_argv.clear();
        for (QByteArray& word : m_words)
            m_argv.push_back(word.data());
        m_argv.push_back(nullptr);
        return *this;
    }

    void run() {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        pid_t pid = 0;
        if (posix_spawn(&pid, m_argv[0], &actions, nullptr, m_argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
        }
        posix_spawn_file_actions_destroy(&actions);
    }

private:
    QList<QByteArray> m_words;
    std::vector<char*> m_argv;
};

// The processor time this process has spent so far, user and system, in milliseconds.
inline double ownCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}
