// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/RunLock.h"

#include "runner/Failure.h"

#include <QLockFile>

// Elsewhere every run takes the lock alone.
RunLock::RunLock(const QString& path, bool, const QString&, const std::function<void()>& whileAlone)
    : m_lockFile(std::make_unique<QLockFile>(path)) {
    m_lockFile->setStaleLockTime(0);
    if (!m_lockFile->tryLock())
        throw Failure(QStringLiteral("Another run is making this set's files."));
    if (whileAlone)
        whileAlone();
}

RunLock::~RunLock() = default;

void RunLock::inTurn(const std::function<void()>& update) const {
    update();
}
