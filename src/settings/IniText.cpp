// SPDX-License-Identifier: GPL-3.0-or-later
#include "settings/IniText.h"

#include <QIODevice>
#include <QList>
#include <QStringDecoder>
#include <QStringList>
#include <QStringView>

namespace {

// Escapes by letter for control characters: "\n" and the like.
constexpr struct {
    char letter;
    char code;
} letterEscapes[] = {{'a', '\a'}, {'b', '\b'}, {'f', '\f'}, {'n', '\n'},
                     {'r', '\r'}, {'t', '\t'}, {'v', '\v'}};

// The character an escape "\c" stands for when it stands for one by itself; 0 otherwise.
char escapedCharacter(char c) {
    for (const auto& escape : letterEscapes)
        if (escape.letter == c)
            return escape.code;
    return c == '"' || c == '?' || c == '\'' || c == '\\' ? c : 0;
}

// The letter that escapes a control character; 0 when there is none.
char escapeLetter(char16_t code) {
    for (const auto& escape : letterEscapes)
        if (char16_t(escape.code) == code)
            return escape.letter;
    return 0;
}

int digitValue(char c, int base) {
    int value = -1;
    if (c >= '0' && c <= '9')
        value = c - '0';
    else if (c >= 'a' && c <= 'f')
        value = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        value = c - 'A' + 10;
    return value < base ? value : -1;
}

// UTF-8 as it stands: a byte order mark is a character like any other here, where
// QString::fromUtf8 would drop one that begins the bytes.
QString utf8Text(QByteArrayView bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom);
    return decoder(bytes);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// One list item as Qt stores a string: "@@" stands for a leading "@", and "@String(...)"
// for a text that holds NUL. Any other "@..." is taken as the text it is.
QString storedText(const QString& item) {
    if (item.startsWith(QLatin1String("@@")))
        return item.mid(1);
    if (item.startsWith(QLatin1String("@String(")) && item.endsWith(QLatin1Char(')')))
        return item.mid(8).chopped(1);
    return item;
}

// A value after "=": quotes group, backslashes escape, commas outside quotes part items,
// and blanks around unquoted items go.
QString valueText(QByteArrayView raw) {
    QStringList items;
    QString item;
    bool inQuotes = false;
    bool itemQuoted = false;
    qsizetype choppableFrom = 0; // blanks after this point of an unquoted item are dropped
    qsizetype i = 0;
    const auto skipBlanks = [&] {
        while (i < raw.size() && isBlank(raw[i]))
            ++i;
        choppableFrom = item.size();
    };
    const auto endItem = [&] {
        if (!itemQuoted)
            while (item.size() > choppableFrom && isBlank(item.back().toLatin1()))
                item.chop(1);
        items.append(storedText(item));
        item.clear();
        itemQuoted = false;
    };
    skipBlanks();
    while (i < raw.size()) {
        const char c = raw[i];
        if (c == '\\') {
            ++i;
            if (i >= raw.size())
                break;
            const char code = raw[i++];
            if (const char named = escapedCharacter(code)) {
                item += QLatin1Char(named);
            } else if (code == 'x' || digitValue(code, 8) >= 0) {
                const int base = code == 'x' ? 16 : 8;
                char16_t value = code == 'x' ? 0 : char16_t(digitValue(code, 8));
                bool any = code != 'x';
                for (; i < raw.size() && digitValue(raw[i], base) >= 0; ++i, any = true)
                    value = char16_t(value * base + digitValue(raw[i], base));
                if (any)
                    item += QChar(value);
            }
            choppableFrom = item.size();
        } else if (c == '"') {
            ++i;
            itemQuoted = true;
            inQuotes = !inQuotes;
            if (!inQuotes)
                skipBlanks();
        } else if (c == ',' && !inQuotes) {
            ++i;
            endItem();
            skipBlanks();
        } else {
            qsizetype end = i + 1;
            while (end < raw.size() && raw[end] != '\\' && raw[end] != '"' &&
                   (raw[end] != ',' || inQuotes))
                ++end;
            item += utf8Text(raw.sliced(i, end - i));
            i = end;
        }
    }
    endItem();
    return items.join(QStringLiteral(", "));
}

bool isOurKey(QStringView key) {
    // Keys without a section are written under [General]: one there would be read back
    // without it.
    if (key.isEmpty() || key.startsWith(QLatin1Char('/')) || key.endsWith(QLatin1Char('/')) ||
        key.startsWith(QLatin1String("General/")) || key.contains(QLatin1String("//")))
        return false;
    for (const QChar c : key)
        if (!(c.isLetterOrNumber() && c.unicode() < 0x80) && c != QLatin1Char('_') &&
            c != QLatin1Char('-') && c != QLatin1Char('.') && c != QLatin1Char('/'))
            return false;
    return true;
}

QByteArrayView trimmedLine(QByteArrayView line) {
    while (!line.isEmpty() && (isBlank(line.front()) || line.front() == '\r'))
        line = line.sliced(1);
    while (!line.isEmpty() && (isBlank(line.back()) || line.back() == '\r'))
        line.chop(1);
    return line;
}

bool isHexDigit(QChar c) {
    return c.unicode() < 0x80 && digitValue(char(c.unicode()), 16) >= 0;
}

// A value the way Qt writes a string, so that both readers give it back unchanged.
QByteArray escapedValue(const QString& value) {
    QString text = value;
    if (text.contains(QChar(0)))
        text = QStringLiteral("@String(") + text + QLatin1Char(')');
    else if (text.startsWith(QLatin1Char('@')))
        text.prepend(QLatin1Char('@'));

    QByteArray escaped;
    QString plainRun; // written as UTF-8
    bool needsQuotes = false;
    bool escapeHexDigit = false; // a hex digit right after "\0" or "\x.." would join it
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == ';' || code == ',' || code == '=')
            needsQuotes = true;
        QByteArray escape;
        if (escapeHexDigit && isHexDigit(c))
            escape = "\\x" + QByteArray::number(code, 16);
        else if (code == 0)
            escape = "\\0";
        else if (code == '"' || code == '\\')
            escape = QByteArray("\\") + char(code);
        else if (const char letter = escapeLetter(code))
            escape = QByteArray("\\") + letter;
        // A lone surrogate has no UTF-8, and a byte order mark would be dropped by readers
        // that take it for one.
        else if (code <= 0x1F || c.isSurrogate() || code == 0xFEFF)
            escape = "\\x" + QByteArray::number(code, 16);
        escapeHexDigit = escape == "\\0" || escape.startsWith("\\x");
        if (escape.isEmpty()) {
            plainRun += c;
            continue;
        }
        escaped += plainRun.toUtf8() + escape;
        plainRun.clear();
    }
    escaped += plainRun.toUtf8();
    if (needsQuotes || escaped.startsWith(' ') || escaped.endsWith(' '))
        escaped = '"' + escaped + '"';
    return escaped;
}

} // namespace

QSettings::SettingsMap readIniText(QByteArrayView text) {
    QSettings::SettingsMap values;
    QString section;
    qsizetype start = 0;
    while (start < text.size()) {
        qsizetype end = start;
        while (end < text.size() && text[end] != '\n' && text[end] != '\r')
            ++end;
        const QByteArrayView line = trimmedLine(text.sliced(start, end - start));
        start = end + 1;
        if (line.isEmpty() || line.front() == ';' || line.front() == '#')
            continue;
        if (line.front() == '[') {
            const qsizetype close = line.indexOf(']');
            const QString name =
                close < 0 ? QString() : QString::fromUtf8(line.sliced(1, close - 1)).trimmed();
            section = name == QLatin1String("General") || name.isEmpty() ? QString()
                                                                         : name + QLatin1Char('/');
            continue;
        }
        const qsizetype equals = line.indexOf('=');
        if (equals < 0)
            continue;
        const QString key = section + QString::fromUtf8(trimmedLine(line.first(equals)));
        if (isOurKey(key))
            values.insert(key, valueText(line.sliced(equals + 1)));
    }
    return values;
}

QByteArray writeIniText(const QSettings::SettingsMap& values) {
    // Keys without a section go under [General], as Qt keeps them.
    QMap<QString, QByteArray> sections;
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        const qsizetype slash = it.key().lastIndexOf(QLatin1Char('/'));
        const QString section = slash < 0 ? QStringLiteral("General") : it.key().first(slash);
        sections[section] +=
            it.key().sliced(slash + 1).toUtf8() + '=' + escapedValue(it.value().toString()) + '\n';
    }
    QByteArray text;
    const auto writeSection = [&](const QString& name) {
        if (!text.isEmpty())
            text += '\n';
        text += '[' + name.toUtf8() + "]\n" + sections.take(name);
    };
    if (sections.contains(QStringLiteral("General")))
        writeSection(QStringLiteral("General"));
    while (!sections.isEmpty())
        writeSection(sections.firstKey());
    return text;
}
