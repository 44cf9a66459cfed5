// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// Questions to the file system. None of them throws but desktopFolder() and the readers of
// regular files.

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

// The user's home folder, also when HOME is unset.
QString homeFolder();

// Whether the standard places (desktop, music) can be asked for: on Unix they lie under HOME,
// and without it under the root folder; Windows' shell knows them whatever the environment.
bool standardFoldersKnown();

// What tells this user's files from another's in a shared folder: the user id on Unix, the
// user name elsewhere.
QString userName();

// Where an export puts its files when nothing is stored: the desktop folder where it
// exists, else the music folder, else the home folder; with the native separator.
QString defaultOutputFolder();

// The output file in a folder as the user types it: "~" and "~/..." stand for the home
// folder, and one separator is put between folder and name when the folder has none at
// its end. An empty folder gives the name alone.
QString outputFilePath(const QString& folderText, const QString& fileName);

// The folder text as a path: "~" and "~/..." stand for the home folder.
QString expandedFolder(const QString& folderText);

// Whether a program file may be run: on Unix it must be a regular file, not a link, that
// belongs to us and that neither group nor others can write, so that no other user can
// have put code there.
bool isTrustedProgramFile(const QString& path);

// Whether we may run programs from the folder and write files into it that nobody else can
// have planted or linked: it is a folder of ours, not a link, that neither group nor others
// can write, and no folder above it lets another user swap it for theirs. Always true on
// Windows, where every user has a temporary folder of their own.
bool isPrivateFolder(const QString& path);

// Whether the path names a regular file (a link to one included) of at most maxBytes, which
// can be read without waiting on it or reading without end.
bool isSmallRegularFile(const QString& path, qint64 maxBytes);

// Whether a reader follows a link to a regular file, or refuses it: a file another user could
// have linked to one of ours is read only as it is.
enum class Links { followed, refused };

// Opens a regular file (a link to one included, unless refused) for reading, without waiting on
// a pipe or a device. Throws Failure naming the file otherwise.
void openRegularFile(QFile& file, const QString& path, Links links = Links::followed);

// What a file looks like now, to tell whether something wrote to it since.
struct FileStamp {
    bool exists = false;
    qint64 size = 0;
    qint64 modifiedNs = 0;
    quint64 inode = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp fileStamp(const QString& path);

// The bytes of a regular file of at most maxBytes. A pipe, a device, a folder or a larger
// file is refused without waiting on it or reading it all: throws Failure naming the file.
QByteArray readRegularFile(const QString& path, qint64 maxBytes, Links links = Links::followed);

// The SHA-256 of a regular file in lower-case hex, read a block at a time; empty text when it
// cannot be read.
QString fileSha256(const QString& path);

// Whether the program's error output is a terminal, where a progress line may be written over.
bool errorOutputIsTerminal();
