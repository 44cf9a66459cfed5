// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <sys/mount.h>
#include <unistd.h>

namespace TestSupport {

// A disk of its own, a few KiB of memory (a tmpfs), for as long as the object lives; only
// root may make one. fill() takes every free block.
class SmallDisk {
public:
    explicit SmallDisk(int kibibytes) {
        const QByteArray size = "size=" + QByteArray::number(kibibytes) + "k";
        m_mounted = geteuid() == 0 && m_dir.isValid() &&
                    mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0,
                          size.constData()) == 0;
    }
    ~SmallDisk() {
        if (m_mounted)
            umount(QFile::encodeName(m_dir.path()).constData());
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }
    QString filePath(const QString& name) const { return m_dir.filePath(name); }
    void fill() const {
        QFile filler(filePath(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return;
        const QByteArray block(4096, 'f');
        while (filler.write(block) == block.size()) {
        }
        // The last part block too.
        while (filler.write("f", 1) == 1) {
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace TestSupport
