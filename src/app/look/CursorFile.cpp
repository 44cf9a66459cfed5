// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/look/CursorFile.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QBuffer>
#include <QImageReader>
#include <QPixmap>
#include <QtEndian>

namespace {

const QString invalidPicture = QStringLiteral("Invalid picture");
constexpr int directoryHeaderSize = 6;
constexpr int directoryEntrySize = 16;

} // namespace

QPoint cursorHotspot(const QByteArray& file) {
    if (file.size() < directoryHeaderSize + directoryEntrySize)
        throw Failure(invalidPicture);
    const char* bytes = file.constData();
    const quint16 reserved = qFromLittleEndian<quint16>(bytes);
    const quint16 type = qFromLittleEndian<quint16>(bytes + 2);
    const quint16 images = qFromLittleEndian<quint16>(bytes + 4);
    constexpr quint16 cursorType = 2;
    if (reserved != 0 || type != cursorType || images == 0)
        throw Failure(invalidPicture);
    const char* entry = bytes + directoryHeaderSize;
    return {qFromLittleEndian<quint16>(entry + 4), qFromLittleEndian<quint16>(entry + 6)};
}

QCursor loadCursorFile(const QString& path) {
    constexpr qint64 largestCursorFile = 1 << 20;
    const QByteArray bytes = readRegularFile(path, largestCursorFile);
    const QPoint hotspot = cursorHotspot(bytes);
    // The icon reader takes cursor files once they call themselves icons (type 1).
    QByteArray asIcon = bytes;
    asIcon[2] = 1;
    QBuffer buffer(&asIcon);
    QImageReader reader(&buffer, "ico");
    const QImage image = reader.read();
    if (image.isNull())
        throw Failure(invalidPicture);
    return QCursor(QPixmap::fromImage(image), hotspot.x(), hotspot.y());
}
