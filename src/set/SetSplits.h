// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <optional>
#include <vector>

// A set parted into named splits (train, validation, test, ...), each tone's split drawn from
// the set's seed and its number alone: the same set splits the same, made whole or in shards.
// Each split gets its share of the tones exactly, as far as whole tones allow (the largest
// remainders get the tones left over). In a balanced design each cell of the design (its
// pitch, level, ear and direction) is split on its own, across the rounds, so that every split
// is as balanced as its size allows.
class SetSplits {
public:
    struct Share {
        QString name;
        double share = 0;
    };

    // The splits as typed, "train=0.8,validation=0.1,test=0.1": names of letters, digits, "_"
    // and "-", shares that add up to 1. Nothing for a text that is not.
    static std::optional<SetSplits> read(const QString& text);
    // As read.
    QString text() const;

    // The split of the tone at `position` among `count` tones that are split together, drawn
    // with the key: a permutation of the positions, cut in the shares.
    QString splitOf(qint64 position, qint64 count, quint64 key) const;
    // The split of a balanced design's tone of `round` in `cell`, of `rounds` rounds of `cells`
    // cells: the set gets its shares exactly, each cell as near its own as whole tones allow.
    // The cell's tones are drawn with its key, which cells take the leftovers with the set's.
    QString splitInCell(qint64 round, qint64 rounds, qint64 cell, qint64 cells, quint64 cellKey,
                        quint64 setKey) const;
    // The split of tone `number` drawn from the key and the number alone: a set grown from the
    // same seed keeps each tone's split, the shares then only near the asked ones.
    QString splitOfNumber(qint64 number, quint64 key) const;

private:
    QString nameAt(const std::vector<qint64>& sizes, qint64 place) const;

    QList<Share> m_shares;
    QString m_text;
};
