#include "runner/ToolProvisioning.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/Guard.h"
#include "runner/ShellWait.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryFile>

QString toolFolder() {
    const QString temp = qEnvironmentVariable("TEMP");
    if (!temp.isEmpty())
        return temp;
    // A shared folder such as /tmp would let another user plant a program that we run.
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    const QString folder = QDir(runtime.isEmpty() ? QDir::tempPath() + QStringLiteral("/ziravel-") +
                                                        qEnvironmentVariable("USER")
                                                  : runtime)
                               .filePath(QStringLiteral("Ziravel"));
    QDir().mkpath(folder);
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return QDir::toNativeSeparators(folder);
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

void writeToolFile(const QByteArray& data, const QString& targetPath) {
    letPendingEventsRun();
    if (fileExists(targetPath))
        return;
    QTemporaryFile file(targetPath + QStringLiteral(".XXXXXX"));
    if (!file.open())
        throw Failure(QStringLiteral("Cannot create %1: %2").arg(targetPath, file.errorString()));
    if (file.write(data) != data.size() || !file.flush())
        throw Failure(QStringLiteral("Cannot write %1: %2").arg(targetPath, file.errorString()));
    if (!file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner))
        throw Failure(QStringLiteral("Cannot set the permissions of %1: %2")
                          .arg(targetPath, file.errorString()));
    // rename() never replaces a file that appeared meanwhile.
    if (!file.rename(targetPath))
        throw Failure(QStringLiteral("Cannot write %1: %2").arg(targetPath, file.errorString()));
    file.setAutoRemove(false);
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

// Whether the file is there; a file that another user could have written is
// there, but the step fails and names it.
bool toolFilePresent(const QString& fileName) {
    const QString path = toolFilePath(fileName);
    if (!fileExists(path))
        return false;
    if (!isTrustedProgramFile(path))
        throw Failure(QStringLiteral("%1 may have been written by another user and will not be "
                                     "used. Remove it, or set TEMP to a folder of your own.")
                          .arg(path));
    return true;
}

} // namespace

void provisionTools(Guard& guard, int firstLine) {
    ToolBytes bytes;
    const struct {
        int resourceId;
        const QString& fileName;
    } files[] = {{toolResourceId, toolFileName}, {libraryResourceId, libraryFileName}};

    int line = firstLine;
    for (const auto& file : files) {
        guard.step(line, [&] { bytes.load(file.resourceId); });
        bool present = false;
        guard.step(line + 2, [&] { present = toolFilePresent(file.fileName); });
        if (!present)
            guard.step(line + 4, [&] { bytes.writeAs(file.resourceId, file.fileName); });
        line += 6;
    }
}
