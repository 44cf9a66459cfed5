// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <optional>

// The number of samples per channel that a FLAC file's stream information says it holds,
// from the start of the file. The encoder writes it when it has finished, so a file cut
// short says none or fewer. Nothing when the start is no FLAC stream.
std::optional<qint64> flacSampleCount(const QByteArray& fileStart);
