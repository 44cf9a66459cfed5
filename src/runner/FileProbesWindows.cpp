// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/FileProbes.h"

#include "runner/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <io.h>

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    return QDir::homePath();
}

bool standardFoldersKnown() {
    return true;
}

bool isTrustedProgramFile(const QString& path) {
    const QFileInfo info(path);
    return info.isFile() && !info.isSymLink();
}

bool isPrivateFolder(const QString& path) {
    return folderExists(path);
}

bool isSmallRegularFile(const QString& path, qint64 maxBytes) {
    const QFileInfo info(path);
    return !path.isEmpty() && info.isFile() && info.size() <= maxBytes;
}

FileStamp fileStamp(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return {};
    return {true, info.size(), info.lastModified().toMSecsSinceEpoch() * 1000000, 0};
}

void openRegularFile(QFile& file, const QString& path, Links links) {
    if (links == Links::refused && (QFileInfo(path).isSymLink() || QFileInfo(path).isJunction()))
        throw Failure(QStringLiteral("%1 is a link: it is read only as it is.").arg(path));
    if (!QFileInfo(path).isFile())
        throw Failure(QStringLiteral("%1 is not an ordinary file.").arg(path));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
}

QString userName() {
    return qEnvironmentVariable("USERNAME");
}

bool errorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
