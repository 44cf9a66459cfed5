// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/Guard.h"

#include "runner/Failure.h"

#include <exception>
#include <utility>

Guard::Guard(ErrorReporter& reporter, QString location)
    : m_reporter(reporter), m_location(std::move(location)) {}

bool Guard::step(int line, const std::function<void()>& action) {
    QString description;
    try {
        action();
        return true;
    } catch (const Failure& failure) {
        description = failure.description();
    } catch (const std::bad_alloc&) {
        description = QStringLiteral("Out of memory");
    } catch (const std::exception& error) {
        description = QString::fromLocal8Bit(error.what());
    }
    m_lastFailure = description;
    // Reported outside the catch block: the report is modal and runs events.
    if (!m_reported.contains({description, line})) {
        m_reported.insert({description, line});
        m_reporter.reportError(description, m_location, line);
    }
    return false;
}
