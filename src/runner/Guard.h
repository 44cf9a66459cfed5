// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <utility>

// Receives the failures of guarded handlers; the window shows them as the error report.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void reportError(const QString& description, const QString& location, int line) = 0;
};

// Runs the steps of one guarded handler. A step that throws is cut short there,
// reported under its line label, and the handler goes on with its next step;
// whatever the step would have set keeps its previous value. A failure with the same
// description at the same line is reported once per run of the handler: a batch whose
// every tone fails the same way shows one report, not one per tone.
class Guard {
public:
    Guard(ErrorReporter& reporter, QString location);

    // Returns whether the step ran to its end.
    bool step(int line, const std::function<void()>& action);

    // The description of the last step that failed; empty before any failed.
    QString lastFailure() const { return m_lastFailure; }

private:
    ErrorReporter& m_reporter;
    QString m_location;
    QSet<std::pair<QString, int>> m_reported;
    QString m_lastFailure;
};
