// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/FileProbes.h"

#include "runner/Failure.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>

bool fileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool folderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool ordinaryFileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString specialFolderPath(int folderId) {
    if (folderId != desktopFolderId)
        return {};
    return QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString withSeparator(const QString& folder) {
    return folder + QDir::separator();
}

QString desktopFolder() {
    const QString desktop = specialFolderPath(desktopFolderId);
    if (desktop.isEmpty())
        throw Failure(FailureText::invalidArgument);
    return withSeparator(desktop);
}

QString defaultOutputFolder() {
    if (standardFoldersKnown()) {
        try {
            if (const QString desktop = desktopFolder(); folderExists(desktop))
                return desktop;
        } catch (const Failure&) {
            // No desktop here: the music folder, else the home folder.
        }
        const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
        if (folderExists(music))
            return withSeparator(QDir::toNativeSeparators(music));
    }
    return withSeparator(QDir::toNativeSeparators(homeFolder()));
}

QString expandedFolder(const QString& folderText) {
    if (folderText == QLatin1String("~"))
        return homeFolder();
    if (folderText.startsWith(QLatin1String("~/")) ||
        folderText.startsWith(QLatin1Char('~') + QDir::separator()))
        return homeFolder() + folderText.mid(1);
    return folderText;
}

QString outputFilePath(const QString& folderText, const QString& fileName) {
    const QString folder = expandedFolder(folderText);
    if (folder.isEmpty() || folder.endsWith(QLatin1Char('/')) || folder.endsWith(QDir::separator()))
        return folder + fileName;
    return withSeparator(folder) + fileName;
}

QByteArray readRegularFile(const QString& path, qint64 maxBytes, Links links) {
    QFile file;
    openRegularFile(file, path, links);
    // Read a block at a time, so that no more is held than the file holds: the size may change
    // under us, and one byte more than allowed tells.
    constexpr qint64 blockBytes = 1 << 20;
    QByteArray bytes;
    bytes.reserve(qsizetype(std::min(file.size(), maxBytes) + 1));
    while (bytes.size() <= maxBytes) {
        const QByteArray block = file.read(std::min(blockBytes, maxBytes + 1 - bytes.size()));
        if (block.isEmpty())
            break;
        bytes += block;
    }
    if (bytes.size() > maxBytes)
        throw Failure(QStringLiteral("%1 is larger than %2 bytes.")
                          .arg(QDir::toNativeSeparators(path))
                          .arg(maxBytes));
    return bytes;
}

QString fileSha256(const QString& path) {
    QFile file(path);
    try {
        openRegularFile(file, path);
    } catch (const Failure&) {
        return {};
    }
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!hash.addData(&file))
        return {};
    return QString::fromLatin1(hash.result().toHex());
}
