#pragma once

#include <QString>
#include <functional>

// Receives the failures of guarded handlers; the window shows them as the error report.
class ErrorReporter {
public:
    virtual ~ErrorReporter() = default;
    virtual void reportError(const QString& description, const QString& location, int line) = 0;
};

// The location a handler's error reports name, e.g. "in Ziravel2021/08/31.Form1.Form_Load ".
QString handlerLocation(const QString& handlerName);

// Runs the steps of one guarded handler. A step that throws is cut short there,
// reported under its line label, and the handler goes on with its next step;
// whatever the step would have set keeps its previous value.
class Guard {
public:
    Guard(ErrorReporter& reporter, QString location);

    // Returns whether the step ran to its end.
    bool step(int line, const std::function<void()>& action);

private:
    ErrorReporter& m_reporter;
    QString m_location;
};
