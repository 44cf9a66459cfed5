// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ToolProvisioning.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QHash>
#include <QMutex>
#include <utility>

namespace {

// Whether the file holds the carried resource, or the beginning of it.
bool holdsOurCopy(const QString& path, int resourceId) {
    QByteArray ours;
    try {
        ours = loadToolResource(resourceId);
    } catch (const Failure&) {
        return true; // a program without the tool's resources says so when it provisions
    }
    try {
        return ours.startsWith(readRegularFile(path, ours.size()));
    } catch (const Failure&) {
        return false; // larger than ours, or unreadable
    }
}

} // namespace

bool holdsForeignTool(const QString& folder) {
    // Each file is read again only when it has changed.
    static QMutex lock;
    static QHash<QString, std::pair<FileStamp, bool>> judged;
    for (const auto& [id, name] :
         {std::pair(toolResourceId, toolFileName), std::pair(libraryResourceId, libraryFileName)}) {
        const QString path = withSeparator(folder) + name;
        if (!fileExists(path) || folderExists(path))
            continue;
        const FileStamp stamp = fileStamp(path);
        const QMutexLocker locked(&lock);
        auto known = judged.constFind(path);
        if (known == judged.constEnd() || known->first != stamp)
            known = judged.insert(path, {stamp, !holdsOurCopy(path, id)});
        if (known->second)
            return true;
    }
    return false;
}
