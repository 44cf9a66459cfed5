// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIODevice>
#include <QString>
#include <QtGlobal>
#include <optional>

// The encoder puts 576 samples of delay before the tone and leaves 529 more for the
// decoder's delay after it: a whole MP3 tone holds at least this many samples more than
// the tone itself.
inline constexpr qint64 mp3CodingDelaySamples = 576 + 529;

// The number of samples in the whole MPEG audio layer III frames of a file, walking frame
// by frame from the start (after an ID3v2 tag) to the first byte that begins no frame or a
// frame cut short; an Xing or Info header frame holds no samples. Nothing when the file
// cannot be read.
std::optional<qint64> mp3SampleCount(const QString& path);
qint64 mp3SampleCount(QIODevice& file);
