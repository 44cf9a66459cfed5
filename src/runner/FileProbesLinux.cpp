// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/FileProbes.h"

#include "runner/Failure.h"
#include "runner/FileProbesLinux.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

QString homeFolder() {
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty())
        return QDir::cleanPath(home);
    if (const passwd* user = getpwuid(geteuid()); user && user->pw_dir && *user->pw_dir)
        return QFile::decodeName(user->pw_dir);
    return QDir::homePath();
}

bool standardFoldersKnown() {
    return !qEnvironmentVariableIsEmpty("HOME");
}

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
    const timespec& modified = info.st_mtim;
    return {true, info.st_size, qint64(modified.tv_sec) * 1000000000 + modified.tv_nsec,
            info.st_ino};
}

namespace {

// A descriptor of a regular file (a link to one included unless refused), opened for reading
// without waiting on a pipe or a device, and the file's status. Throws Failure naming the file.
int openRegularDescriptor(const QString& path, struct stat& info, Links links) {
    const int fd =
        open(QFile::encodeName(path).constData(),
             O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::refused ? O_NOFOLLOW : 0));
    if (fd < 0 && errno == ELOOP && links == Links::refused)
        throw Failure(QStringLiteral("%1 is a link: it is read only as it is.").arg(path));
    if (fd < 0)
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, qt_error_string(errno)));
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        throw Failure(QStringLiteral("%1 is not an ordinary file.").arg(path));
    }
    return fd;
}

} // namespace

void openRegularFile(QFile& file, const QString& path, Links links) {
    struct stat info {};
    const int fd = openRegularDescriptor(path, info, links);
    // Read in a few large pieces: a buffer would only copy them once more.
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        close(fd);
        throw Failure(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    }
}

QString userName() {
    return QString::number(geteuid());
}

bool errorOutputIsTerminal() {
    return isatty(STDERR_FILENO) == 1;
}
