// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/FileProbes.h"

#include "runner/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

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

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
#ifdef Q_OS_UNIX
    if (const passwd* user = getpwuid(geteuid()); user && user->pw_dir && *user->pw_dir)
        return QFile::decodeName(user->pw_dir);
#endif
    return QDir::homePath();
}

QString defaultOutputFolder() {
    // Without HOME the standard places would lie under the root folder.
    if (!qEnvironmentVariableIsEmpty("HOME")) {
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

#ifdef Q_OS_UNIX

namespace {

bool isTrustedProgram(const struct stat& info) {
    return S_ISREG(info.st_mode) && info.st_uid == geteuid() &&
           !(info.st_mode & (S_IWGRP | S_IWOTH));
}

// Whoever may rename entries in a folder above ours could put a folder of theirs in its
// place: only we, root, or a sticky folder keep it where it is.
bool keepsEntriesInPlace(const struct stat& info) {
    return (info.st_uid == geteuid() || info.st_uid == 0) &&
           (!(info.st_mode & S_IWOTH) || (info.st_mode & S_ISVTX));
}

} // namespace

bool isTrustedProgramFile(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && lstat(QFile::encodeName(path).constData(), &info) == 0 &&
           isTrustedProgram(info);
}

int openTrustedProgram(const QString& path) {
    // No waiting on a pipe, and a link is refused rather than followed.
    const int fd = path.isEmpty() ? -1
                                  : open(QFile::encodeName(path).constData(),
                                         O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (path.isEmpty())
            errno = ENOENT;
        else if (errno == ELOOP)
            errno = EACCES;
        return -1;
    }
    struct stat info {};
    if (fstat(fd, &info) != 0 || !isTrustedProgram(info)) {
        close(fd);
        errno = EACCES;
        return -1;
    }
    return fd;
}

bool isPrivateFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    // A trailing separator would make lstat() follow a link.
    const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(path));
    struct stat info {};
    if (lstat(QFile::encodeName(folder).constData(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)))
        return false;
    QString above = QFileInfo(QFileInfo(folder).absolutePath()).canonicalFilePath();
    while (!above.isEmpty()) {
        if (stat(QFile::encodeName(above).constData(), &info) != 0 || !keepsEntriesInPlace(info))
            return false;
        if (above == QLatin1String("/"))
            return true;
        above = QFileInfo(above).absolutePath();
    }
    return false;
}

bool isSmallRegularFile(const QString& path, qint64 maxBytes) {
    struct stat info {};
    return !path.isEmpty() && stat(QFile::encodeName(path).constData(), &info) == 0 &&
           S_ISREG(info.st_mode) && info.st_size <= maxBytes;
}

FileStamp fileStamp(const QString& path) {
    struct stat info {};
    if (path.isEmpty() || stat(QFile::encodeName(path).constData(), &info) != 0)
        return {};
#ifdef Q_OS_DARWIN
    const timespec& modified = info.st_mtimespec;
#else
    const timespec& modified = info.st_mtim;
#endif
    return {true, info.st_size, qint64(modified.tv_sec) * 1000000000 + modified.tv_nsec,
            info.st_ino};
}

namespace {

// A descriptor of a regular file (a link to one included), opened for reading without
// waiting on a pipe or a device, and the file's status. Throws Failure naming the file.
int openRegularDescriptor(const QString& path, struct stat& info) {
    const int fd = open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, qt_error_string(errno)));
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw Failure(QStringLiteral("%1 is not an ordinary file.").arg(path));
    }
    return fd;
}

} // namespace

void openRegularFile(QFile& file, const QString& path) {
    struct stat info {};
    const int fd = openRegularDescriptor(path, info);
    // Read in a few large pieces: a buffer would only copy them once more.
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        close(fd);
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
}

#else

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

void openRegularFile(QFile& file, const QString& path) {
    if (!QFileInfo(path).isFile())
        throw Failure(QStringLiteral("%1 is not an ordinary file.").arg(path));
    file.setFileName(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
}

#endif

QByteArray readRegularFile(const QString& path, qint64 maxBytes) {
    QFile file;
    openRegularFile(file, path);
    // The size may change under us: one byte more than allowed tells.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (bytes.size() > maxBytes)
        throw Failure(QStringLiteral("%1 is larger than %2 bytes.").arg(path).arg(maxBytes));
    return bytes;
}
