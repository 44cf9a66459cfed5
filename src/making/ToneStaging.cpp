// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/ToneStaging.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QDir>
#include <QFileInfo>

ToneStaging::ToneStaging(const QString& folder)
    : m_folder(QDir::cleanPath(expandedFolder(folder))) {
    try {
        m_private = std::make_unique<PrivateFolder>(m_folder);
    } catch (const Failure& failure) {
        m_failure = failure.description();
    }
}

QString ToneStaging::madePath(const QString& target) const {
    if (!m_private)
        throw Failure(QStringLiteral("No file can be made in %1: %2")
                          .arg(QDir::toNativeSeparators(m_folder), m_failure));
    return m_private->filePath(QFileInfo(target).fileName());
}

ToneInFlight::ToneInFlight(const QString& madePath, const QString& target, bool nameReserved)
    : m_made(madePath), m_target(target), m_nameReserved(nameReserved) {}

ToneOutcome ToneInFlight::placed(ToneOutcome outcome) const {
    if (!outcome.made) {
        abandon();
        // The reason names the file the user knows, wherever it was made.
        outcome.reason.replace(m_made, m_target);
        return outcome;
    }
    try {
        moveToName(m_made, m_target, m_nameReserved);
    } catch (const Failure& failure) {
        if (m_nameReserved)
            removeOwnFile(m_target, true);
        return {false,
                QStringLiteral("%1 was left as it was: %2")
                    .arg(QDir::toNativeSeparators(m_target), withFullStop(failure.description()))};
    }
    return outcome;
}

void ToneInFlight::abandon() const {
    if (m_made != m_target)
        QFile::remove(m_made);
    if (m_nameReserved)
        removeOwnFile(m_target, true);
}
