#pragma once

#include <QString>

// Questions to the file system. None of them throws but desktopFolder().

// True when anything (file or folder) exists at the path.
bool fileExists(const QString& path);
// True only for an existing folder; a trailing separator and a root are accepted.
bool folderExists(const QString& path);
// True for an existing ordinary file: not a folder, not hidden.
bool ordinaryFileExists(const QString& path);

// The path of a special folder by its shell number, or empty text when it has none here.
// Only 0, the desktop, means something on every platform.
QString specialFolderPath(int folderId);
inline constexpr int desktopFolderId = 0;

// The desktop folder followed by the native separator. Throws Failure when the
// desktop cannot be found.
QString desktopFolder();

// The path with the native separator appended.
QString withSeparator(const QString& folder);

// Whether a program file may be run: on Unix it must belong to us and must not be
// writable by group or others, so that no other user can have put code there.
bool isTrustedProgramFile(const QString& path);
