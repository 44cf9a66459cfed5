#include "runner/FileProbes.h"

#include "runner/Failure.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

bool fileExists(const QString& path) {
    return !path.isEmpty() && QFileInfo::exists(path);
}

bool folderExists(const QString& path) {
    return !path.isEmpty() && QFileInfo(path).isDir();
}

bool ordinaryFileExists(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.isFile() && !info.isHidden();
}

QString specialFolderPath(int folderId) {
    if (folderId != desktopFolderId)
        return {};
    return QDir::toNativeSeparators(
        QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

QString withSeparator(const QString& folder) {
    return folder + QDir::separator();
}

QString desktopFolder() {
    const QString desktop = specialFolderPath(desktopFolderId);
    if (desktop.isEmpty())
        throw Failure(FailureText::invalidArgument);
    return withSeparator(desktop);
}

bool isTrustedProgramFile(const QString& path) {
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
#ifdef Q_OS_UNIX
    if (info.ownerId() != geteuid())
        return false;
    return !(info.permissions() & (QFile::WriteGroup | QFile::WriteOther));
#else
    return true;
#endif
}
