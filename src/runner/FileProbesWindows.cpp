// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/FileProbes.h"

#include "runner/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <io.h>
#include <string>
#include <windows.h>

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
    // The file's index tells a file written anew and renamed into place (as settings are) from
    // the one before, even at the same size within the same millisecond, which the time alone
    // may not.
    const std::wstring name = QDir::toNativeSeparators(path).toStdWString();
    const HANDLE file = CreateFileW(name.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return {};
    BY_HANDLE_FILE_INFORMATION info{};
    const bool read = GetFileInformationByHandle(file, &info) != FALSE;
    CloseHandle(file);
    if (!read)
        return {};
    const auto wide = [](DWORD high, DWORD low) { return (quint64(high) << 32) | low; };
    // Hundreds of nanoseconds since 1601: only compared, never shown.
    return {true, qint64(wide(info.nFileSizeHigh, info.nFileSizeLow)),
            qint64(wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime)) *
                100,
            wide(info.nFileIndexHigh, info.nFileIndexLow)};
}

void openRegularFile(QFile& file, const QString& path, Links links) {
    if (links == Links::refused && (QFileInfo(path).isSymLink() || QFileInfo(path).isJunction()))
        throw Failure(QStringLiteral("%1 is a link: it is read only as it is.")
                          .arg(QDir::toNativeSeparators(path)));
    if (!QFileInfo(path).isFile())
        throw Failure(
            QStringLiteral("%1 is not an ordinary file.").arg(QDir::toNativeSeparators(path)));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2")
                          .arg(QDir::toNativeSeparators(path), file.errorString()));
}

QString userName() {
    return qEnvironmentVariable("USERNAME");
}

bool errorOutputIsTerminal() {
    return _isatty(_fileno(stderr)) != 0;
}
