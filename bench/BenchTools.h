// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the tool benchmarks share: a tool folder of their own, with the tool put in place.
#include "runner/Guard.h"
#include "runner/ToolProvisioning.h"

#include <QTemporaryDir>
#include <cstdio>

class BenchToolFolder {
public:
    BenchToolFolder() {
        qputenv("TEMP", m_dir.path().toLocal8Bit());
        PrintingReporter reporter;
        Guard guard(reporter, QStringLiteral("Benchmark"));
        provisionTools(guard, 100);
    }
    const QTemporaryDir& dir() const { return m_dir; }

private:
    class PrintingReporter : public ErrorReporter {
    public:
        void reportError(const QString& description, const QString&, int line) override {
            std::fprintf(stderr, "line %d: %s\n", line, qPrintable(description));
        }
    };

    QTemporaryDir m_dir;
};
