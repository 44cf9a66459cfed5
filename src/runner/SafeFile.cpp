// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/SafeFile.h"

#include "runner/Failure.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

void removeFolderAndFiles(const QString& path) {
    QDir folder(path);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
    QDir().rmdir(path);
}

} // namespace

PrivateFolder::~PrivateFolder() {
    m_alive.reset();
    removeFolderAndFiles(m_path);
}

void removeAbandonedPrivateFolders(const QString& parent) {
    const QDir folder(parent.isEmpty() ? QStringLiteral(".") : parent);
    for (const QFileInfo& made : folder.entryInfoList({QStringLiteral(".ziravel-*")},
                                                      QDir::Dirs | QDir::Hidden | QDir::NoSymLinks |
                                                          QDir::NoDotAndDotDot)) {
        const std::optional<bool> held = privateFolderHeld(made.filePath());
        constexpr qint64 hourSeconds = 3600;
        if (held ? !*held : made.lastModified().secsTo(QDateTime::currentDateTime()) > hourSeconds)
            removeFolderAndFiles(made.filePath());
    }
}

QString PrivateFolder::filePath(const QString& name) const {
    return m_path + QLatin1Char('/') + name;
}

BytePieces onePiece(QByteArrayView bytes) {
    return [bytes, given = false]() mutable {
        // The caller's bytes outlive the write: no copy.
        const QByteArray piece =
            given ? QByteArray() : QByteArray::fromRawData(bytes.data(), bytes.size());
        given = true;
        return piece;
    };
}

void writeFileSafely(const QString& path, QByteArrayView bytes, ExistingFile existing,
                     FileAccess access) {
    writeFileSafely(path, onePiece(bytes), existing, access);
}
