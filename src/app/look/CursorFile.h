// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QCursor>
#include <QPoint>
#include <QString>

// The hotspot of the first image of a Windows cursor file, from its directory entry
// (the image reader reads the picture but not the hotspot). Throws Failure when the
// bytes are no cursor file.
QPoint cursorHotspot(const QByteArray& file);

// A Windows cursor file (.cur) as a pointer, with its hotspot. Throws Failure when the
// file cannot be read or holds no picture.
QCursor loadCursorFile(const QString& path);
