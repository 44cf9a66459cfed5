// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/RunLock.h"

#include "runner/Failure.h"

#include <QFile>
#include <QLockFile>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The bytes locked: the set, a turn, and the runs that share the set. Locks of an open file,
// not of a process, so that they never mix with the file's other locks.
constexpr off_t setByte = 0;
constexpr off_t turnByte = 1;
constexpr off_t sharersByte = 2;
bool lockByte(int fd, short type, off_t byte, bool wait) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = byte;
    lock.l_len = 1;
    while (fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) != 0)
        if (errno != EINTR || !wait)
            return false;
    return true;
}

} // namespace

RunLock::RunLock(const QString& path, bool shared, const QString& holder,
                 const std::function<void()>& whileAlone) {
    const QByteArray name = QFile::encodeName(path);
    m_fd = open(name.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644);
    struct stat info {};
    if (m_fd < 0 || fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != geteuid()) {
        const QString why =
            QStringLiteral("The lock file %1 cannot be used: %2.")
                .arg(path, m_fd < 0 && errno != ELOOP ? qt_error_string(errno)
                                                      : QStringLiteral("it is not a file of ours"));
        if (m_fd >= 0)
            close(m_fd);
        throw Failure(why);
    }
    // Byte 0 is the set: a run that overwrites holds it alone, runs that never overwrite share
    // it. Those also share byte 2 while they run, and hold it alone for a moment, when they
    // find no other there, to clean up after killed runs.
    if (!lockByte(m_fd, shared ? F_RDLCK : F_WRLCK, setByte, false)) {
        QByteArray running(512, '\0');
        const ssize_t got = pread(m_fd, running.data(), size_t(running.size()), 0);
        running.truncate(std::max<ssize_t>(got, 0));
        close(m_fd);
        throw Failure(QStringLiteral("Another run is making this set's files: %1.")
                          .arg(QString::fromUtf8(running.trimmed())));
    }
    const bool alone = !shared || lockByte(m_fd, F_WRLCK, sharersByte, false);
    if (alone && whileAlone)
        whileAlone();
    // Taken in place of the whole lock at once; a run that found others waits only while one
    // of them cleans up.
    if (shared)
        lockByte(m_fd, F_RDLCK, sharersByte, !alone);
    // Of several runs that share it, the last one is named. Only words for the next run:
    // nothing is lost without them.
    const QByteArray text = holder.toUtf8() + '\n';
    [[maybe_unused]] const bool named =
        ftruncate(m_fd, 0) == 0 && pwrite(m_fd, text.constData(), size_t(text.size()), 0) > 0;
}

RunLock::~RunLock() {
    close(m_fd);
}

void RunLock::inTurn(const std::function<void()>& update) const {
    lockByte(m_fd, F_WRLCK, turnByte, true);
    try {
        update();
    } catch (...) {
        lockByte(m_fd, F_UNLCK, turnByte, false);
        throw;
    }
    lockByte(m_fd, F_UNLCK, turnByte, false);
}
