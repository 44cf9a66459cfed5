// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/ToneNumbering.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"
#include "runner/SafeFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <limits>

namespace {

// The number in a file name between the prefix and the extension: digits alone. A number
// beyond 64 bits gives the largest one, after which nothing fits.
std::optional<qint64> toneNumber(QStringView name, const QString& prefix,
                                 const QString& extension) {
    if (name.size() <= prefix.size() + extension.size() || !name.startsWith(prefix) ||
        !name.endsWith(extension))
        return std::nullopt;
    const QStringView digits =
        name.mid(prefix.size(), name.size() - prefix.size() - extension.size());
    qint64 number = 0;
    for (const QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        const int digit = c.unicode() - '0';
        if (number > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::numeric_limits<qint64>::max();
        number = number * 10 + digit;
    }
    return number;
}

// Throws Failure when the tool could not write the set's tones in the folder: on Windows, a
// program that opens files by narrow names, as SoX does, reaches paths of at most 259 characters,
// and each tone is made first in a staging folder in the folder (PrivateFolder:
// "\.ziravel-0123abcd\"). Counted with a tone number of ten digits.
void requireReachableByTool([[maybe_unused]] const QString& folder,
                            [[maybe_unused]] const QString& prefix,
                            [[maybe_unused]] const QString& extension) {
#ifdef Q_OS_WIN
    constexpr qsizetype longestPath = 259; // MAX_PATH less its terminating NUL
    const QString longestTone =
        QDir::toNativeSeparators(QDir(expandedFolder(folder)).absolutePath()) +
        QStringLiteral("\\.ziravel-0123abcd\\") + prefix + QStringLiteral("0123456789") + extension;
    if (longestTone.size() > longestPath)
        throw Failure(QStringLiteral("The folder's path is too long for Windows: the tool opens "
                                     "paths of at most %1 characters, and a tone's would have %2. "
                                     "Choose a folder with a shorter path, or a shorter prefix.")
                          .arg(longestPath)
                          .arg(longestTone.size()));
#endif
}

} // namespace

std::unique_ptr<RunLock> lockedSet(const QString& folder, const QString& keyName,
                                   const QString& prefix, const QString& extension,
                                   bool neverOverwrite, const QString& program) {
    requireReachableByTool(folder, prefix, extension);
    const QString path = expandedFolder(folder);
    return std::make_unique<RunLock>(
        outputFilePath(folder, QLatin1Char('.') + keyName + QStringLiteral(".lock")),
        neverOverwrite, thisRunText(program), [&] {
            removeAbandonedPrivateFolders(path);
            QDirIterator names(path.isEmpty() ? QStringLiteral(".") : path,
                               QDir::Files | QDir::Hidden | QDir::System);
            while (names.hasNext()) {
                names.next();
                if (toneNumber(names.fileName(), prefix, extension))
                    removeOwnFile(names.filePath(), true);
            }
        });
}

ToneNumbering::ToneNumbering(const QString& folder, const QString& prefix, const QString& extension,
                             bool neverOverwrite, qint64 count, qint64 first, int digits)
    : m_folder(folder), m_prefix(prefix), m_extension(extension), m_neverOverwrite(neverOverwrite),
      m_last(first - 1), m_digits(digits) {
    if (!neverOverwrite)
        return;
    m_last = 0;
    const QString path = expandedFolder(folder);
    QDirIterator names(path.isEmpty() ? QStringLiteral(".") : path,
                       QDir::Files | QDir::Dirs | QDir::Hidden | QDir::System |
                           QDir::NoDotAndDotDot);
    while (names.hasNext()) {
        names.next();
        if (const std::optional<qint64> number = toneNumber(names.fileName(), prefix, extension))
            m_last = std::max(m_last, *number);
    }
    if (m_last > std::numeric_limits<qint64>::max() - count)
        throw Failure(QStringLiteral("No more tones can be numbered after %1%2%3: the numbers "
                                     "would not fit.")
                          .arg(prefix)
                          .arg(m_last)
                          .arg(extension));
}

QString toneFileName(const QString& prefix, qint64 number, int digits, const QString& extension) {
    return prefix + QString::number(number).rightJustified(digits, QLatin1Char('0')) + extension;
}

QString ToneNumbering::nextPath() {
    for (;;) {
        if (m_last == std::numeric_limits<qint64>::max())
            throw Failure(QStringLiteral("No more tones can be numbered: the numbers would not "
                                         "fit."));
        const QString path =
            outputFilePath(m_folder, toneFileName(m_prefix, ++m_last, m_digits, m_extension));
        if (!m_neverOverwrite)
            return path;
        try {
            if (createFileExclusively(path))
                return path;
        } catch (const Failure& failure) {
            // The same words for every tone: the reason is told once.
            throw Failure(QStringLiteral("No file can be made in %1: %2")
                              .arg(QDir::toNativeSeparators(expandedFolder(m_folder)),
                                   failure.description()));
        }
    }
}
