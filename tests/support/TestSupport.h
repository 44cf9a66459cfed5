// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace TestSupport {

// A size the kernel tells of this process ("VmSize", "VmHWM"), in bytes; 0 where it tells none.
inline qint64 processStatusBytes(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    status.open(QIODevice::ReadOnly);
    const QByteArray name = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(name))
            return line.mid(name.size()).trimmed().split(' ').value(0).toLongLong() * 1024;
    return 0;
}

// The bytes of a file; empty when it cannot be read.
inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Writes a file, and the folders it needs, as a user or another program would.
inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

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

// Whether a tone file of that name is being made in a private folder inside the folder, where
// tones are made before they take their names; waits up to the time for it.
inline bool waitForToneBeingMade(const QString& folder, const QString& name, int timeoutMs) {
    for (int waited = 0; waited <= timeoutMs; waited += 20) {
        for (const QString& made :
             QDir(folder).entryList({QStringLiteral(".ziravel-*")}, QDir::Dirs | QDir::Hidden))
            if (QFile::exists(QDir(folder).filePath(made + QLatin1Char('/') + name)))
                return true;
        QThread::msleep(20);
    }
    return false;
}

// The RMS amplitude of a sound file as SoX measures it (0 to 1); -1 when it cannot.
inline double rmsAmplitude(const QString& file) {
    QProcess sox;
    sox.start(QStringLiteral("sox"), {file, QStringLiteral("-n"), QStringLiteral("stat")});
    sox.waitForFinished();
    const QRegularExpressionMatch rms =
        QRegularExpression(QStringLiteral("RMS\\s+amplitude:\\s+([0-9.]+)"))
            .match(QString::fromLocal8Bit(sox.readAllStandardError()));
    return rms.hasMatch() ? rms.captured(1).toDouble() : -1;
}

} // namespace TestSupport
