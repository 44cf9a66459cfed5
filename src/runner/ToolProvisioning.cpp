// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ToolProvisioning.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

// The name of a folder of ours inside a folder that others share.
QString ownFolderName() {
    return QStringLiteral("ziravel-") + userName();
}

// Makes the folder, open to us alone, unless something is there already.
QString madePrivate(const QString& folder) {
    makeOwnerOnlyFolder(folder);
    return QDir::toNativeSeparators(folder);
}

// The folder itself when it is private or missing; otherwise a private folder of ours in it.
QString privateFolderIn(const QString& folder) {
    if (!folderExists(folder) || isPrivateFolder(folder))
        return folder;
    return madePrivate(QDir(folder).filePath(ownFolderName()));
}

} // namespace

QString toolFolder() {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty()) {
        const QString folder = privateFolderIn(temp);
        // Our own copies, in a folder of ours, without troubling the user.
        if (holdsForeignTool(folder))
            return madePrivate(QDir(folder).filePath(ownFolderName()));
        return folder;
    }
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) {
        const QString folder = madePrivate(QDir(runtime).filePath(QStringLiteral("Ziravel")));
        if (isPrivateFolder(folder))
            return folder;
    }
    return madePrivate(QDir(QDir::tempPath()).filePath(ownFolderName()));
}

void requirePrivateToolFolder() {
    const QString folder = toolFolder();
    if (folderExists(folder) && !isPrivateFolder(folder))
        throw Failure(QStringLiteral("%1 is not a folder that only you can change, so no tool "
                                     "is written to it or run from it. Set TEMP to a folder of "
                                     "your own.")
                          .arg(folder));
}

QString toolFilePath(const QString& fileName) {
    return withSeparator(toolFolder()) + fileName;
}

QByteArray loadToolResource(int id) {
    QFile resource(QStringLiteral(":/CUSTOM/%1").arg(id));
    if (!resource.open(QIODevice::ReadOnly))
        throw Failure(QStringLiteral("Resource %1 was not found in the program.").arg(id));
    return resource.readAll();
}

namespace {

// Whether the path holds what a failed write of ours leaves behind: a file of ours that is
// the beginning of the bytes (nothing at all included). Anything else is never replaced.
bool isBrokenCopy(const QString& path, const QByteArray& data) {
    if (!isTrustedProgramFile(path) || QFileInfo(path).size() >= data.size())
        return false;
    try {
        return data.startsWith(readRegularFile(path, data.size()));
    } catch (const Failure&) {
        return false;
    }
}

// Whether a file, or a link to one, is at the path; a folder is never taken for the tool.
bool toolFileThere(const QString& path) {
    return fileExists(path) && !folderExists(path);
}

} // namespace

void writeToolFile(const QByteArray& data, const QString& targetPath) {
    const bool broken = isBrokenCopy(targetPath, data);
    if (!broken && toolFileThere(targetPath))
        return;
    try {
        // A file that appeared meanwhile is never replaced.
        writeFileSafely(targetPath, data, broken ? ExistingFile::replace : ExistingFile::keep,
                        FileAccess::ownerOnly);
    } catch (const Failure& failure) {
        throw Failure(
            QStringLiteral("Cannot write %1: %2")
                .arg(QDir::toNativeSeparators(targetPath), withFullStop(failure.description())));
    }
}

namespace {

// The bytes of the last loaded resource, and which one they are: a failed load
// leaves nothing behind that could be written under the other file's name.
class ToolBytes {
public:
    void load(int id) {
        m_data.clear();
        m_id = 0;
        m_data = loadToolResource(id);
        m_id = id;
    }

    // The bytes of that resource; nothing when another one, or none, was loaded.
    QByteArray of(int id) const { return m_id == id ? m_data : QByteArray(); }

    void writeAs(int id, const QString& fileName) const {
        if (m_id != id)
            throw Failure(QStringLiteral("Resource %1 was not loaded, so %2 cannot be written.")
                              .arg(id)
                              .arg(fileName));
        writeToolFile(m_data, toolFilePath(fileName));
    }

private:
    QByteArray m_data;
    int m_id = 0;
};

// Whether a usable copy of the file is there; a file that another user could have written
// is there, but the step fails and names it.
bool toolFilePresent(const QString& fileName, const QByteArray& data) {
    const QString path = toolFilePath(fileName);
    if (!toolFileThere(path) || isBrokenCopy(path, data))
        return false;
    if (!isTrustedProgramFile(path))
        throw Failure(QStringLiteral("%1 may have been written by another user and will not be "
                                     "used. Remove it, or set TEMP to a folder of your own.")
                          .arg(path));
    return true;
}

} // namespace

bool provisionTools(Guard& guard, int firstLine, const std::function<void()>& beforeWrite) {
    ToolBytes bytes;
    const struct {
        int resourceId;
        const QString& fileName;
    } files[] = {{toolResourceId, toolFileName}, {libraryResourceId, libraryFileName}};

    int line = firstLine;
    for (const auto& file : files) {
        guard.step(line, [&] { bytes.load(file.resourceId); });
        bool folderPrivate = true;
        bool present = false;
        guard.step(line + 2, [&] {
            folderPrivate = false;
            requirePrivateToolFolder();
            folderPrivate = true;
            present = toolFilePresent(file.fileName, bytes.of(file.resourceId));
        });
        if (!folderPrivate)
            return false;
        if (!present)
            guard.step(line + 4, [&] {
                if (beforeWrite)
                    beforeWrite();
                bytes.writeAs(file.resourceId, file.fileName);
            });
        line += 6;
    }
    return true;
}
