// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/SafeFile.h"

#include "runner/Failure.h"
#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file a run holds locked in its private folder while it lasts.
constexpr char aliveName[] = ".running";

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
int writeAll(int fd, QByteArrayView bytes);

// Writes every piece, or gives the error number of the write that failed. A piece that
// cannot be had fails the write.
int writeAll(int fd, const BytePieces& pieces) {
    try {
        for (QByteArray piece = pieces(); !piece.isEmpty(); piece = pieces())
            if (const int error = writeAll(fd, QByteArrayView(piece)))
                return error;
    } catch (const Failure&) {
        return EIO;
    }
    return 0;
}

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

// Renames the file, never over anything at the new name (EEXIST then).
int renameWithoutReplacing(const QByteArray& from, const QByteArray& to) {
    if (renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    // A file system without that rename: a link to the file under the new name fails as well
    // when anything is there.
    if (link(from.constData(), to.constData()) != 0)
        return errno;
    unlink(from.constData());
    return 0;
}

// Moves the new file into place; with `keep`, never over anything there.
int moveIntoPlace(const QByteArray& from, const QByteArray& to, ExistingFile existing) {
    if (existing == ExistingFile::replace)
        return rename(from.constData(), to.constData()) == 0 ? 0 : errno;
    return renameWithoutReplacing(from, to);
}

const QString nameTakenRefusal = QStringLiteral("another file took its name meanwhile");

} // namespace

void writeFileSafely(const QString& path, const BytePieces& pieces, ExistingFile existing,
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
    int error = writeAll(fd, pieces);
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

namespace {

// Takes the file's lock, giving up when `stopWaiting` says so.
void lockWhole(int fd, const std::function<bool()>& stopWaiting) {
    while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR)
            fail(errno);
        if (stopWaiting && stopWaiting())
            throw Failure(QStringLiteral("another program holds it locked"));
        // A stop signal ends the sleep early.
        usleep(50 * 1000);
    }
}

} // namespace

AppendingFile::AppendingFile(const QString& path, QByteArrayView header, bool alone,
                             std::function<bool()> stopWaiting)
    : m_header(header.toByteArray()), m_alone(alone), m_stopWaiting(std::move(stopWaiting)),
      m_path(path) {
    const QByteArray target = QFile::encodeName(path);
    struct stat info {};
    existingFile(target, info);
    // A link is refused, not followed; a pipe with no reader does not block the open.
    m_fd = open(target.constData(),
                O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, usualFileMode());
    if (m_fd < 0)
        throw Failure(errno == ELOOP ? linkRefusal : qt_error_string(errno));
    QString why;
    if (fstat(m_fd, &info) != 0)
        why = qt_error_string(errno);
    else
        why = refusal(info);
    if (why.isEmpty()) {
        try {
            append({});
            return;
        } catch (const Failure& failure) {
            why = failure.description();
        }
    }
    close(m_fd);
    throw Failure(why);
}

AppendingFile::~AppendingFile() {
    close(m_fd);
}

void AppendingFile::append(QByteArrayView lines) {
    if (m_end >= 0) {
        if (const int error = writeAll(m_fd, lines)) {
            if (ftruncate(m_fd, off_t(m_end)) == 0)
                fsync(m_fd);
            fail(error);
        }
        m_end += lines.size();
        return;
    }
    lockWhole(m_fd, m_stopWaiting);
    const auto failUnlocking = [this](int error) {
        flock(m_fd, LOCK_UN);
        fail(error);
    };
    // Another program may have added to it while we waited for the lock.
    struct stat info {};
    if (fstat(m_fd, &info) != 0)
        failUnlocking(errno);
    const off_t before = info.st_size;
    char last = '\n';
    if (before > 0 && pread(m_fd, &last, 1, before - 1) != 1)
        failUnlocking(errno);
    const QByteArrayView start = before == 0    ? QByteArrayView(m_header)
                                 : last != '\n' ? "\n"
                                                : QByteArrayView();
    int error = writeAll(m_fd, start);
    if (error == 0)
        error = writeAll(m_fd, lines);
    if (error != 0) {
        // What was there stays; what was added part way goes.
        if (ftruncate(m_fd, before) == 0)
            fsync(m_fd);
        failUnlocking(error);
    }
    flock(m_fd, LOCK_UN);
    if (m_alone)
        m_end = before + start.size() + lines.size();
}

void AppendingFile::sync(bool fileSystem) {
    if ((fileSystem && syncfs(m_fd) != 0) || fsync(m_fd) != 0)
        fail(errno);
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

PrivateFolder::PrivateFolder(const QString& parent) {
    QByteArray pattern =
        QFile::encodeName(parent.isEmpty() ? QStringLiteral(".") : parent) + "/.ziravel-XXXXXX";
    // Made with only the owner's permissions.
    if (!mkdtemp(pattern.data()))
        fail(errno);
    m_path = QFile::decodeName(pattern);
    // Locked while the run lasts; the lock goes with the process however it ends.
    const int fd = open((pattern + "/" + aliveName).constData(),
                        O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    if (fd < 0 || fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        const int error = errno;
        if (fd >= 0)
            close(fd);
        rmdir(pattern.constData());
        fail(error);
    }
    m_alive = std::make_unique<QFile>();
    m_alive->open(fd, QIODevice::ReadWrite, QFileDevice::AutoCloseHandle);
}

std::optional<bool> privateFolderHeld(const QString& path) {
    const QByteArray folder = QFile::encodeName(path);
    struct stat info {};
    if (lstat(folder.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return true;
    const int fd = open((folder + "/" + aliveName).constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? std::nullopt : std::optional(true);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    const bool held = fcntl(fd, F_OFD_SETLK, &lock) != 0;
    close(fd);
    return held;
}

void moveToName(const QString& made, const QString& target, bool nameReserved) {
    const QByteArray from = QFile::encodeName(made);
    const QByteArray to = QFile::encodeName(target);
    const auto refuse = [&](const QString& why) {
        unlink(from.constData());
        throw Failure(why);
    };
    struct stat info {};
    int error = 0;
    if (lstat(to.constData(), &info) == 0) {
        QString why = refusal(info);
        if (why.isEmpty() && nameReserved && info.st_size != 0)
            why = nameTakenRefusal;
        if (!why.isEmpty())
            refuse(why);
        // Our old file goes first, and the rename then replaces nothing: ext4 puts a file that
        // replaces another on disk at once, which costs more than making the tone. Whatever
        // takes the name meanwhile is left alone. The empty file that holds a reserved name is
        // replaced at once: gone for a moment, its number could be taken by another run.
        if (from == to)
            error = 0; // made at its name: nothing to move
        else if (nameReserved)
            error = rename(from.constData(), to.constData()) == 0 ? 0 : errno;
        else if (unlink(to.constData()) != 0 && errno != ENOENT)
            error = errno;
        else
            error = renameWithoutReplacing(from, to);
    } else if (errno != ENOENT) {
        error = errno;
    } else {
        // Nothing is there: nothing is replaced, whatever comes meanwhile.
        error = renameWithoutReplacing(from, to);
    }
    // Put on disk with the answer key's rows that name it (AppendingFile::sync()), a few at a
    // time: a sync of the folder for every tone would cost more than making it.
    if (error != 0)
        refuse(error == EEXIST ? nameTakenRefusal : qt_error_string(error));
}

namespace {

// The permissions a file made now gets, read without changing the process's mask; none when the
// system does not tell.
std::optional<mode_t> newFileMode() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return std::nullopt;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("Umask:")) {
            bool read = false;
            const uint mask = line.mid(6).trimmed().toUInt(&read, 8);
            return read ? std::optional(mode_t(0666 & ~mask)) : std::nullopt;
        }
    return std::nullopt;
}

} // namespace

void recycleOwnFile(const QString& target, const QString& made) {
    const QByteArray from = QFile::encodeName(target);
    const QByteArray to = QFile::encodeName(made);
    // Written over, it must come out as a file made anew would: with the same permissions.
    static const std::optional<mode_t> freshMode = newFileMode();
    const auto reusable = [](const QByteArray& path) {
        struct stat info {};
        return freshMode && lstat(path.constData(), &info) == 0 && refusal(info).isEmpty() &&
               info.st_nlink == 1 && (info.st_mode & 07777) == *freshMode;
    };
    if (!reusable(from) || renameWithoutReplacing(from, to) != 0)
        return;
    // Whatever was put in its place meanwhile is now where only we can reach it: anything but
    // our own file of one name goes.
    if (!reusable(to))
        unlink(to.constData());
}

void removeOwnFile(const QString& path, bool onlyEmpty) {
    const QByteArray name = QFile::encodeName(path);
    struct stat info {};
    if (lstat(name.constData(), &info) == 0 && refusal(info).isEmpty() &&
        (!onlyEmpty || info.st_size == 0))
        unlink(name.constData());
}

void makeOwnerOnlyFolder(const QString& path) {
    mkdir(QFile::encodeName(path).constData(), S_IRWXU);
}
