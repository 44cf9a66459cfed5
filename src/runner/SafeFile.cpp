#include "runner/SafeFile.h"

#include "runner/Failure.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#else
#include <QFileInfo>
#include <QSaveFile>
#endif

#ifdef Q_OS_UNIX

namespace {

[[noreturn]] void fail(int error) {
    throw Failure(qt_error_string(error));
}

const QString linkRefusal = QStringLiteral("it is a link, which is never written through");

// Why the thing at the path may not be written over; empty for a regular file of ours.
QString refusal(const struct stat& info) {
    if (S_ISLNK(info.st_mode))
        return linkRefusal;
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("a folder is in its place");
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is not an ordinary file");
    if (info.st_uid != geteuid())
        return QStringLiteral("it belongs to another user");
    return {};
}

// The status of what is at the path, or false when nothing is. Throws Failure when it may
// not be written over.
bool existingFile(const QByteArray& path, struct stat& info) {
    if (lstat(path.constData(), &info) != 0) {
        if (errno == ENOENT)
            return false;
        fail(errno);
    }
    if (const QString why = refusal(info); !why.isEmpty())
        throw Failure(why);
    return true;
}

// Writes every byte, or gives the error number of the write that failed.
int writeAll(int fd, QByteArrayView bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return wrote < 0 ? errno : ENOSPC;
        done += wrote;
    }
    return 0;
}

// The rename is on disk only once its folder is.
void syncFolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : slash == 0 ? "/" : path.left(slash);
    const int fd = open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

mode_t usualFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Moves the new file into place; with `keep`, never over anything there.
int moveIntoPlace(const QByteArray& from, const QByteArray& to, ExistingFile existing) {
    if (existing == ExistingFile::replace)
        return rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    // A link to the new file under the final name fails when anything is there.
    if (link(from.constData(), to.constData()) != 0)
        return errno;
    unlink(from.constData());
    return 0;
}

} // namespace

void writeFileSafely(const QString& path, QByteArrayView bytes, ExistingFile existing,
                     FileAccess access) {
    const QByteArray target = QFile::encodeName(path);
    struct stat old {};
    const bool replacing = existingFile(target, old);
    if (replacing && existing == ExistingFile::keep)
        fail(EEXIST);
    QByteArray temporary = target + ".XXXXXX";
    const int fd = mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        fail(errno);
    const mode_t mode = access == FileAccess::ownerOnly ? S_IRWXU
                        : replacing                     ? old.st_mode & 07777
                                                        : usualFileMode();
    int error = writeAll(fd, bytes);
    if (error == 0 && fchmod(fd, mode) != 0)
        error = errno;
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (close(fd) != 0 && error == 0)
        error = errno;
    if (error == 0)
        error = moveIntoPlace(temporary, target, existing);
    if (error != 0) {
        unlink(temporary.constData());
        fail(error);
    }
    syncFolderOf(target);
}

void appendLinesSafely(const QString& path, QByteArrayView header, QByteArrayView lines) {
    const QByteArray target = QFile::encodeName(path);
    struct stat info {};
    existingFile(target, info);
    // A link is refused, not followed; a pipe with no reader does not block the open.
    const int fd =
        open(target.constData(), O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
             usualFileMode());
    if (fd < 0)
        throw Failure(errno == ELOOP ? linkRefusal : qt_error_string(errno));
    const auto failClosing = [fd](const QString& why) {
        close(fd);
        throw Failure(why);
    };
    if (fstat(fd, &info) != 0)
        failClosing(qt_error_string(errno));
    if (const QString why = refusal(info); !why.isEmpty())
        failClosing(why);
    while (flock(fd, LOCK_EX) != 0)
        if (errno != EINTR)
            failClosing(qt_error_string(errno));
    // Another program may have added to it while we waited for the lock.
    if (fstat(fd, &info) != 0)
        failClosing(qt_error_string(errno));
    const off_t before = info.st_size;
    char last = '\n';
    if (before > 0 && pread(fd, &last, 1, before - 1) != 1)
        failClosing(qt_error_string(errno));
    QByteArray text;
    if (before == 0)
        text += header;
    else if (last != '\n')
        text += '\n';
    text += lines;
    int error = writeAll(fd, text);
    if (error == 0 && fsync(fd) != 0)
        error = errno;
    if (error != 0) {
        // What was there stays; what was added part way goes.
        if (ftruncate(fd, before) == 0)
            fsync(fd);
        failClosing(qt_error_string(error));
    }
    close(fd);
}

bool createFileExclusively(const QString& path) {
    const int fd = open(QFile::encodeName(path).constData(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, usualFileMode());
    if (fd < 0 && errno == EEXIST)
        return false;
    if (fd < 0)
        fail(errno);
    close(fd);
    return true;
}

#else

void writeFileSafely(const QString& path, QByteArrayView bytes, ExistingFile existing,
                     FileAccess access) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        throw Failure(QStringLiteral("it is not an ordinary file"));
    if (info.exists() && existing == ExistingFile::keep)
        throw Failure(QStringLiteral("it exists already"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), bytes.size()) != bytes.size())
        throw Failure(file.errorString());
    if (access == FileAccess::ownerOnly &&
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw Failure(file.errorString());
    if (!file.commit())
        throw Failure(file.errorString());
}

void appendLinesSafely(const QString& path, QByteArrayView header, QByteArrayView lines) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        throw Failure(QStringLiteral("it is not an ordinary file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        throw Failure(file.errorString());
    const qint64 before = file.size();
    QByteArray text;
    if (before == 0) {
        text += header;
    } else {
        file.seek(before - 1);
        if (file.read(1) != "\n")
            text += '\n';
    }
    text += lines;
    if (file.write(text) != text.size() || !file.flush()) {
        file.resize(before);
        throw Failure(file.errorString());
    }
}

bool createFileExclusively(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return false;
    throw Failure(file.errorString());
}

#endif
