// SPDX-License-Identifier: GPL-3.0-or-later
#include "tone/PitchLists.h"

#include "tone/NumberText.h"

#include <QRegularExpression>
#include <QStringList>
#include <cmath>

std::optional<QList<double>> frequencyList(const QString& text) {
    QList<double> frequencies;
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() > longestPitchList)
        return std::nullopt;
    for (const QString& part : parts) {
        double hertz = 0;
        if (!parseNumberText(part, hertz) || !(hertz >= 1 && hertz <= 32767))
            return std::nullopt;
        frequencies.append(hertz);
    }
    return frequencies;
}

namespace {

// A note's distance from A4 in semitones.
std::optional<int> semitonesFromA4(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^([A-Ga-g])([#b]?)(-1|\\d|10)$"));
    const QRegularExpressionMatch match = pattern.match(name.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    static const int fromC[] = {9, 11, 0, 2, 4, 5, 7}; // A B C D E F G
    const int letter = match.captured(1).toUpper().at(0).unicode() - 'A';
    const QString accidental = match.captured(2);
    const int step = fromC[letter] + (accidental == QLatin1String("#")   ? 1
                                      : accidental == QLatin1String("b") ? -1
                                                                         : 0);
    const int octave = match.captured(3).toInt();
    // C4 is nine semitones below A4.
    return (octave - 4) * 12 + step - 9;
}

double noteFrequency(int semitones) {
    return 440.0 * std::pow(2.0, semitones / 12.0);
}

} // namespace

std::optional<QList<double>> noteList(const QString& text) {
    QList<double> frequencies;
    if (text.contains(QStringLiteral(".."))) {
        const QStringList ends = text.split(QStringLiteral(".."));
        const std::optional<int> first = semitonesFromA4(ends.value(0));
        const std::optional<int> last = semitonesFromA4(ends.value(1));
        if (ends.size() != 2 || !first || !last || *first > *last)
            return std::nullopt;
        for (int note = *first; note <= *last; ++note)
            frequencies.append(noteFrequency(note));
    } else {
        const QStringList names = text.split(QLatin1Char(','));
        if (names.size() > longestPitchList)
            return std::nullopt;
        for (const QString& name : names) {
            const std::optional<int> note = semitonesFromA4(name);
            if (!note)
                return std::nullopt;
            frequencies.append(noteFrequency(*note));
        }
    }
    for (const double hertz : frequencies)
        if (hertz > 32767)
            return std::nullopt;
    return frequencies;
}

QMap<double, QString> noteSpellings(const QString& text) {
    QMap<double, QString> spellings;
    if (!noteList(text))
        return spellings;
    for (const QString& name : text.split(QRegularExpression(QStringLiteral(",|\\.\\."))))
        if (const std::optional<int> note = semitonesFromA4(name))
            spellings.insert(noteFrequency(*note), name.trimmed());
    return spellings;
}

std::optional<QList<double>> pitchesOf(const QString& text) {
    if (const std::optional<QList<double>> notes = noteList(text))
        return notes;
    return frequencyList(text);
}
