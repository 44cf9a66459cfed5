// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/SafeFile.h"

#include "runner/Failure.h"
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryFile>
#include <io.h>
#include <windows.h>

namespace {

// The file a run holds open in its private folder while it lasts.
constexpr char aliveName[] = ".running";

} // namespace

PrivateFolder::PrivateFolder(const QString& parent) {
    const QString base = parent.isEmpty() ? QStringLiteral(".") : parent;
    for (int attempt = 0; attempt < 100 && m_path.isEmpty(); ++attempt) {
        const QString path = QDir(base).filePath(
            QStringLiteral(".ziravel-%1")
                .arg(QRandomGenerator::system()->generate(), 8, 16, QLatin1Char('0')));
        if (QDir(base).mkdir(path.section(QLatin1Char('/'), -1)))
            m_path = path;
    }
    if (m_path.isEmpty())
        throw Failure(
            QStringLiteral("No folder can be made in %1.").arg(QDir::toNativeSeparators(base)));
    // Open while the run lasts: a file open without sharing its deletion cannot be removed.
    m_alive = std::make_unique<QFile>(QDir(m_path).filePath(QLatin1String(aliveName)));
    if (!m_alive->open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        QDir().rmdir(m_path);
        throw Failure(
            QStringLiteral("No folder can be made in %1.").arg(QDir::toNativeSeparators(base)));
    }
}

std::optional<bool> privateFolderHeld(const QString& path) {
    const QFileInfo folder(path);
    if (!folder.isDir() || folder.isSymLink() || folder.isJunction())
        return true;
    const QString alive = QDir(path).filePath(QLatin1String(aliveName));
    if (!QFileInfo::exists(alive))
        return std::nullopt;
    return !QFile::remove(alive);
}

void moveToName(const QString& made, const QString& target, bool nameReserved) {
    const QFileInfo info(target);
    QString why;
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        why = QStringLiteral("it is not an ordinary file");
    else if (nameReserved && info.exists() && info.size() != 0)
        why = QStringLiteral("another file took its name meanwhile");
    // Replaces only what was checked to be there, in one step, on disk before it returns;
    // where nothing stood, never replaces what came meanwhile.
    const DWORD flags = MOVEFILE_WRITE_THROUGH | (info.exists() ? MOVEFILE_REPLACE_EXISTING : 0);
    if (why.isEmpty() &&
        !MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(made).utf16()),
                     reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(target).utf16()),
                     flags))
        why = QStringLiteral("the file cannot be moved there");
    if (!why.isEmpty()) {
        QFile::remove(made);
        throw Failure(why);
    }
}

// Here the tool makes each file anew, as it always has: the cost this spares is ext4's.
void recycleOwnFile(const QString&, const QString&) {}

void removeOwnFile(const QString& path, bool onlyEmpty) {
    const QFileInfo info(path);
    if (!info.isSymLink() && info.isFile() && (!onlyEmpty || info.size() == 0))
        QFile::remove(path);
}

void writeFileSafely(const QString& path, const BytePieces& pieces, ExistingFile existing,
                     FileAccess access) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        throw Failure(QStringLiteral("it is not an ordinary file"));
    if (info.exists() && existing == ExistingFile::keep)
        throw Failure(QStringLiteral("it exists already"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw Failure(file.errorString());
    for (QByteArray piece = pieces(); !piece.isEmpty(); piece = pieces())
        if (file.write(piece) != piece.size())
            throw Failure(file.errorString());
    if (access == FileAccess::ownerOnly &&
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw Failure(file.errorString());
    if (!file.commit())
        throw Failure(file.errorString());
}

AppendingFile::AppendingFile(const QString& path, QByteArrayView header, bool alone,
                             std::function<bool()> stopWaiting)
    : m_header(header.toByteArray()), m_alone(alone), m_stopWaiting(std::move(stopWaiting)),
      m_path(path) {
    const QFileInfo info(path);
    if (info.isSymLink() || (info.exists() && !info.isFile()))
        throw Failure(QStringLiteral("it is not an ordinary file"));
    append({});
}

AppendingFile::~AppendingFile() = default;

void AppendingFile::append(QByteArrayView lines) {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append))
        throw Failure(file.errorString());
    const qint64 before = file.size();
    QByteArray text;
    if (before == 0) {
        text += m_header;
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

// The system's buffers of the file go to the disk; the file system's go with them on Windows.
void AppendingFile::sync(bool) {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadWrite) ||
        !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(file.handle()))))
        throw Failure(
            QStringLiteral("%1 cannot be put on disk.").arg(QDir::toNativeSeparators(m_path)));
}

bool createFileExclusively(const QString& path) {
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return true;
    if (QFileInfo::exists(path) || QFileInfo(path).isSymLink())
        return false;
    throw Failure(file.errorString());
}

void makeOwnerOnlyFolder(const QString& path) {
    QDir().mkdir(path);
}
