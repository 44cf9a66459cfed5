// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <stdexcept>

// A failed step of a guarded handler. The description is worded for the user:
// the error report shows it as its first line.
class Failure : public std::runtime_error {
public:
    explicit Failure(const QString& description)
        : std::runtime_error(description.toStdString()), m_description(description) {}

    QString description() const { return m_description; }

private:
    QString m_description;
};

// The text followed by one full stop: a reason the system words (wine's "Path not found.")
// may bring its own.
inline QString withFullStop(const QString& text) {
    return text.endsWith(QLatin1Char('.')) ? text : text + QLatin1Char('.');
}

namespace FailureText {
inline const QString typeMismatch = QStringLiteral("Type mismatch");
inline const QString overflow = QStringLiteral("Overflow");
inline const QString invalidArgument = QStringLiteral("Invalid procedure call or argument");
inline const QString invalidPropertyValue = QStringLiteral("Invalid property value");
inline const QString noLength = QStringLiteral("Tone length must be a positive number of seconds.");
} // namespace FailureText
