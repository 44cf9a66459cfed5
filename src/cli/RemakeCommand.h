// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

// The command line that makes the set of the manifest at `path` again, with the run flags the
// user gave. Refuses a manifest that is not one, or of a newer format; warns when the set was
// made with another libsox, whose files may differ.
QStringList remakeArguments(const QString& program, const QString& path,
                            const QCommandLineParser& parser);
