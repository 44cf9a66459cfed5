// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

// Every file the program writes goes through here. Nothing is ever written through a link
// or onto a pipe, a device or a folder, nor over another user's file; every write and the
// flush are checked and the data is on disk before it takes the old file's place, so that
// a full disk or a crash never leaves a file emptied or cut short. Each function throws
// Failure with the reason (no file name: the caller says which file it was) and leaves the
// old file as it was.

// What a write does when a file is at the path already.
enum class ExistingFile {
    replace, // a regular file of ours is replaced
    keep,    // the write fails and leaves it alone
};

// The permissions of a file written: those of the file it replaces, else the usual ones for
// a new file (as the umask allows), or only the owner's, running included.
enum class FileAccess { usual, ownerOnly };

// Bytes given piece by piece, for a file too large to hold at once: each call gives the next
// piece, an empty one ends them. Throws Failure when a piece cannot be had.
using BytePieces = std::function<QByteArray()>;
// Bytes that outlive their pieces, as one piece.
BytePieces onePiece(QByteArrayView bytes);

// Writes the bytes as the whole file: into a new file beside it, synced to disk, then renamed
// into place.
void writeFileSafely(const QString& path, const BytePieces& pieces,
                     ExistingFile existing = ExistingFile::replace,
                     FileAccess access = FileAccess::usual);
void writeFileSafely(const QString& path, QByteArrayView bytes,
                     ExistingFile existing = ExistingFile::replace,
                     FileAccess access = FileAccess::usual);

// A regular file of ours that lines are added to at its end while it is open. Each addition is
// made while the file is locked, so that lines added by programs at once are all kept, each
// once; a line the file's last line lacks its end is ended first. What was there is never
// read whole, and an addition that fails is taken back.
class AppendingFile {
public:
    // Opens the file, or makes it with the header first. `alone`: no other program adds to it
    // meanwhile (the caller owns it), so that an addition needs neither the lock nor a look at
    // the file's end. `stopWaiting`, asked while another program holds the file locked, gives
    // up the wait. Throws Failure.
    explicit AppendingFile(const QString& path, QByteArrayView header = {}, bool alone = false,
                           std::function<bool()> stopWaiting = {});
    ~AppendingFile();
    AppendingFile(const AppendingFile&) = delete;
    AppendingFile& operator=(const AppendingFile&) = delete;

    // Adds the lines, whole or not at all. Throws Failure.
    void append(QByteArrayView lines);
    // Puts what was added on disk; with `fileSystem`, every file its file system holds first,
    // so that the files its lines name are never lost while they are. Throws Failure.
    void sync(bool fileSystem = false);

private:
    int m_fd = -1;
    QByteArray m_header;
    bool m_alone;
    qint64 m_end = -1; // where the file ends, once known to a file of ours alone
    std::function<bool()> m_stopWaiting;
    QString m_path;
};

// Makes the folder, open to its owner alone, unless something is there already (which the
// caller then checks); never throws.
void makeOwnerOnlyFolder(const QString& path);

// Makes an empty file at the path, where nothing may be, not even a link: two programs, or a
// program and a user, can never both take the same name. False when something is there
// already.
bool createFileExclusively(const QString& path);

// A folder of our own, made inside another, that nobody else can reach into: files the tool
// writes by their path are made here, judged, and then moved to their names by a rename on the
// same file system. It goes with the object, with whatever is left in it. While it lasts, a file
// in it held open (locked on Unix) tells that its run is alive.
class PrivateFolder {
public:
    // Throws Failure with the reason when it cannot be made.
    explicit PrivateFolder(const QString& parent);
    ~PrivateFolder();
    PrivateFolder(const PrivateFolder&) = delete;
    PrivateFolder& operator=(const PrivateFolder&) = delete;

    // The path of a file of that name in it.
    QString filePath(const QString& name) const;

private:
    QString m_path;
    std::unique_ptr<QFile> m_alive;
};

// Whether a run holds the private folder at the path; nothing when the folder tells of none
// (made by an older program, or its run killed as it made it). Another user's folder, or a
// link, counts as held.
std::optional<bool> privateFolderHeld(const QString& path);

// Removes the private folders in `parent` that runs which are gone left behind (killed before
// they could remove them): ours, not links, with no run holding them. A folder that tells of no
// run is removed once it is an hour old. Never throws.
void removeAbandonedPrivateFolders(const QString& parent);

// Moves a file made in a private folder to `target` by a rename, which replaces the name and
// never writes through it. What may stand at the name: nothing, or a regular file of ours;
// with `nameReserved`, only the empty file this run made there to hold the name (or nothing).
// Anything else there (a link, a pipe, a folder, another user's file, or a file that took a
// reserved name meanwhile) stays as it is: throws Failure with the reason, and the made file
// is removed.
void moveToName(const QString& made, const QString& target, bool nameReserved);

// Moves our old file at `target` to `made` (a name in a PrivateFolder, where nothing is yet)
// for the tool to write over, when it is a regular file of ours with no other name: the file
// system then frees no file and allocates none, which costs it more than writing the tone. A
// file that is not such stays where it is, and nothing is at `made`. Never throws.
void recycleOwnFile(const QString& target, const QString& made);

// Removes the file at the path when it is a regular file of ours; anything else stays. With
// `onlyEmpty`, only an empty one (a name this run reserved and did not fill).
void removeOwnFile(const QString& path, bool onlyEmpty = false);
