// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

class Guard;

// The SoX tool and its library travel inside the program as resources and are
// written into the tool folder before first use. Their file names are the same on
// every platform.
inline constexpr int toolResourceId = 101;
inline constexpr int libraryResourceId = 102;
inline const QString toolFileName = QStringLiteral("sox.exe");
inline const QString libraryFileName = QStringLiteral("zlib1.dll");

// Where the tool, its library and the preview live, worked out afresh at every use.
// "TEMP" when it is set and names a private folder (isPrivateFolder()) or none at all,
// taken as it is; a folder that others could write gets a private folder of ours made
// inside it. Without "TEMP", a private folder of ours in the runtime folder, or else in
// the system's temporary folder.
QString toolFolder();
// Whether a tool file in the folder is not ours, so that our copies go into a folder of ours
// there instead. On Windows every user's TEMP is theirs alone, but another program may have left
// a sox.exe of its own there, which must never run for every tone: ours is the carried file, or a
// copy of it cut short (provisioning replaces that). Elsewhere always false: a tool file another
// user could have written is refused by its owner and mode when provisioning looks for it.
bool holdsForeignTool(const QString& folder);
// The tool folder, the native separator and the file name.
QString toolFilePath(const QString& fileName);
// Throws Failure when the tool folder exists but is not private: nothing may be run from
// it or written into it. A missing one is told by the writes that fail.
void requirePrivateToolFolder();

// The bytes of a tool resource; throws Failure when the program lacks it.
QByteArray loadToolResource(int id);

// Writes the bytes to the target unless a file is there already; a copy of ours that an
// earlier write left broken (empty or cut short) is replaced. A folder, or a link to
// nowhere, in its place is never removed: the write fails and names it. The file is written
// safely (complete on disk before it takes its name), readable, writable and runnable by its
// owner alone. Throws Failure.
void writeToolFile(const QByteArray& data, const QString& targetPath);

// The six provisioning steps of an action handler, labelled firstLine, firstLine + 2, ...
// When the tool folder is not private, the first test says so, provisioning ends and false
// is given: the action must then end, running nothing from the folder and touching nothing
// in it. `beforeWrite` runs before each file is written (the window lets its events run).
bool provisionTools(Guard& guard, int firstLine, const std::function<void()>& beforeWrite = {});
