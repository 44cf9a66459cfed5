// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/RunLock.h"

#include "runner/Failure.h"

#include <QCoreApplication>
#include <QDateTime>

QString thisRunText(const QString& program) {
    return QStringLiteral("%1, process %2, started %3")
        .arg(program)
        .arg(QCoreApplication::applicationPid())
        .arg(QDateTime::currentDateTime().toString(Qt::ISODate));
}
