// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/SafeFile.h"

#include "runner/Failure.h"

#include <QDir>
#include <QFile>

PrivateFolder::~PrivateFolder() {
    QDir folder(m_path);
    for (const QString& name : folder.entryList(QDir::Files | QDir::Hidden | QDir::System))
        folder.remove(name);
    QDir().rmdir(m_path);
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
