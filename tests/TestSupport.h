#pragma once

#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

namespace TestSupport {

// Points TEMP, where the tool lives, at a folder of the test's own for the object's life.
class TemporaryToolFolder {
public:
    TemporaryToolFolder() : m_saved(qgetenv("TEMP")) {
        qputenv("TEMP", m_dir.path().toLocal8Bit());
    }
    ~TemporaryToolFolder() { qputenv("TEMP", m_saved); }
    TemporaryToolFolder(const TemporaryToolFolder&) = delete;
    TemporaryToolFolder& operator=(const TemporaryToolFolder&) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }

    // Puts a program where the tool goes; provisioning leaves it alone.
    void installTool(const QString& program) const {
        const QString tool = filePath(QStringLiteral("sox.exe"));
        QFile::copy(program, tool);
        QFile::setPermissions(tool, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

private:
    QByteArray m_saved;
    QTemporaryDir m_dir;
};

// One property of a sound file as SoX reads it ('r' rate, 'c' channels, 'D' seconds).
inline QString soundInfo(const QString& file, char property) {
    QProcess sox;
    sox.start(QStringLiteral("sox"),
              {QStringLiteral("--i"), QStringLiteral("-") + QLatin1Char(property), file});
    sox.waitForFinished();
    return QString::fromLocal8Bit(sox.readAllStandardOutput()).trimmed();
}

// Runs SoX itself with the arguments; true when it made its file. Every length given is
// short: no test gives SoX a length that could fill the disk.
inline bool runSox(const QStringList& arguments) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), arguments);
    return sox.waitForFinished() && sox.exitStatus() == QProcess::NormalExit && sox.exitCode() == 0;
}

// Waits up to the given time for a file to appear.
inline bool waitForFile(const QString& path, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 20) {
        if (QFile::exists(path))
            return true;
        QThread::msleep(20);
    }
    return QFile::exists(path);
}

} // namespace TestSupport
