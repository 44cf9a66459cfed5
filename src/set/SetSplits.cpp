// SPDX-License-Identifier: GPL-3.0-or-later
#include "set/SetSplits.h"

#include "tone/NumberText.h"
#include "tone/ToneCommand.h"
#include "tone/ToneDraws.h"
#include "tone/ToneOptions.h"

#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <numeric>
#include <vector>

namespace {

quint64 mixed(quint64 value) {
    return splitMix64(value + splitMix64Increment);
}

// A permutation of 0..count-1 keyed by `key`, one position at a time, with no table: a
// four-round Feistel network over the smallest even number of bits that holds count, walked
// again while it lands past the end.
qint64 permuted(qint64 position, qint64 count, quint64 key) {
    int bits = 2;
    while ((qint64(1) << bits) < count)
        bits += 2;
    const int half = bits / 2;
    const quint64 mask = (quint64(1) << half) - 1;
    quint64 value = quint64(position);
    do {
        quint64 left = value >> half;
        quint64 right = value & mask;
        for (quint64 round = 0; round < 4; ++round) {
            const quint64 next = left ^ (mixed(right ^ mixed(key + round)) & mask);
            left = right;
            right = next;
        }
        value = (left << half) | right;
    } while (value >= quint64(count));
    return qint64(value);
}

} // namespace

std::optional<SetSplits> SetSplits::read(const QString& text) {
    static const QRegularExpression part(QStringLiteral("^([A-Za-z0-9_-]+)=(.+)$"));
    SetSplits splits;
    splits.m_text = text;
    double total = 0;
    for (const QString& piece : text.split(QLatin1Char(','))) {
        const QRegularExpressionMatch match = part.match(piece);
        double share = 0;
        if (!match.hasMatch() || beginsAsFormula(match.captured(1)) ||
            !parseNumberText(match.captured(2), share) || !(share > 0) ||
            std::any_of(splits.m_shares.begin(), splits.m_shares.end(),
                        [&](const Share& known) { return known.name == match.captured(1); }))
            return std::nullopt;
        splits.m_shares.append({match.captured(1), share});
        total += share;
    }
    if (std::abs(total - 1) > 1e-9)
        return std::nullopt;
    return splits;
}

QString SetSplits::text() const {
    return m_text;
}

namespace {

// Whole tones for each share of `count`, the ones left over to the largest remainders.
std::vector<qint64> wholeShares(const QList<SetSplits::Share>& shares, qint64 count) {
    std::vector<qint64> sizes;
    std::vector<double> remainders;
    qint64 given = 0;
    for (const SetSplits::Share& share : shares) {
        const double exact = share.share * double(count);
        sizes.push_back(qint64(std::floor(exact)));
        remainders.push_back(exact - std::floor(exact));
        given += sizes.back();
    }
    std::vector<std::size_t> order(sizes.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return remainders[a] > remainders[b]; });
    for (std::size_t at = 0; given < count; ++at, ++given)
        ++sizes[order[at % order.size()]];
    return sizes;
}

} // namespace

QString SetSplits::nameAt(const std::vector<qint64>& sizes, qint64 place) const {
    for (std::size_t share = 0; share < sizes.size(); ++share) {
        if (place < sizes[share])
            return m_shares[qsizetype(share)].name;
        place -= sizes[share];
    }
    return m_shares.last().name;
}

QString SetSplits::splitOf(qint64 position, qint64 count, quint64 key) const {
    // Only a set's own numbers are split: a number past them has no place in the permutation.
    if (position < 0 || position >= count)
        return {};
    return nameAt(wholeShares(m_shares, count), permuted(position, count, key));
}

QString SetSplits::splitInCell(qint64 round, qint64 rounds, qint64 cell, qint64 cells,
                               quint64 cellKey, quint64 setKey) const {
    if (round < 0 || round >= rounds || cell < 0 || cell >= cells)
        return {};
    // Each cell takes the whole part of each share of its rounds. The tones left over in every
    // cell (as many in each) are the set's whole shares less those parts: laid out split after
    // split and dealt to the cells in turn, in an order drawn from the set's key, so that the
    // set gets its shares exactly and no cell takes two of one split's leftovers.
    const std::vector<qint64> totals = wholeShares(m_shares, rounds * cells);
    std::vector<qint64> quotas;
    std::vector<qint64> leftovers;
    qint64 left = rounds;
    for (std::size_t share = 0; share < totals.size(); ++share) {
        quotas.push_back(qint64(std::floor(m_shares[qsizetype(share)].share * double(rounds))));
        leftovers.push_back(std::max<qint64>(0, totals[share] - cells * quotas.back()));
        left -= quotas.back();
    }
    const qint64 dealtAt = permuted(cell, cells, setKey);
    for (qint64 turn = 0; turn < left; ++turn) {
        qint64 place = dealtAt + turn * cells;
        for (std::size_t share = 0; share < leftovers.size(); ++share) {
            if (place < leftovers[share]) {
                ++quotas[share];
                break;
            }
            place -= leftovers[share];
        }
    }
    return nameAt(quotas, permuted(round, rounds, cellKey));
}

QString SetSplits::splitOfNumber(qint64 number, quint64 key) const {
    std::mt19937_64 generator(toneSeed(key, number));
    const double draw = unitDraw(generator);
    double below = 0;
    for (const Share& share : m_shares) {
        below += share.share;
        if (draw < below)
            return share.name;
    }
    return m_shares.last().name;
}
