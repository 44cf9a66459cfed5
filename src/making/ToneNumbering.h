// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/RunLock.h"

#include <QString>
#include <memory>

// Takes the lock of the set whose key is `keyName` in the folder (RunLock) for a run of
// `program`: a run that never overwrites shares it. Taken while no other run holds it, it first
// removes the empty files that runs which were killed had made to hold the names of their tones
// (`prefix`, a number, `extension`). Throws Failure as RunLock does, and on Windows when a tone's
// path there would be longer than the tool can open.
std::unique_ptr<RunLock> lockedSet(const QString& folder, const QString& keyName,
                                   const QString& prefix, const QString& extension,
                                   bool neverOverwrite, const QString& program);

// The name of tone `number` of a set: the prefix, the number padded with zeros to `digits`, the
// extension.
QString toneFileName(const QString& prefix, qint64 number, int digits, const QString& extension);

// The files of a batch, numbered from 1 after the prefix. With "never overwrite" the numbers
// go on after the highest of the files in the folder that have the prefix (as it is, no
// pattern) and the extension, hidden ones included, and each number is taken by creating its
// file exclusively: one that another run or the user took meanwhile is passed over, so that
// no file is ever written over.
class ToneNumbering {
public:
    // Throws Failure when `count` numbers after the files there would not fit in 64 bits.
    // Without "never overwrite" the numbers start at `first`. Numbers are padded with zeros
    // to `digits` digits, so that the names sort.
    ToneNumbering(const QString& folder, const QString& prefix, const QString& extension,
                  bool neverOverwrite, qint64 count, qint64 first = 1, int digits = 0);

    // The next tone's file; with "never overwrite", made empty here to hold the name. Throws
    // Failure.
    QString nextPath();
    // The number of the file nextPath() gave last.
    qint64 lastNumber() const { return m_last; }
    // Whether the names given are held by empty files of ours.
    bool namesReserved() const { return m_neverOverwrite; }

private:
    QString m_folder;
    QString m_prefix;
    QString m_extension;
    bool m_neverOverwrite;
    qint64 m_last = 0;
    int m_digits;
};
