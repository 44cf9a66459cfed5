#include "synth/OptionTable.h"

#include "runner/Failure.h"
#include "synth/NumberText.h"

namespace {

using Kind = OptionSpec::Kind;

QStringList rateWords() {
    QStringList words;
    for (const int rate : offeredSampleRates)
        words << QString::number(rate);
    return words;
}

QStringList rateRows() {
    QStringList rows;
    for (const int rate : offeredSampleRates)
        rows << QStringLiteral("%1 Hz").arg(rate);
    return rows;
}

QString number(int value) {
    return QString::number(value);
}

// Options stored as one of their words, the word's place being the value.
template <typename Enum>
std::function<QString(const ToneOptions&)> wordOf(Enum ToneOptions::*member,
                                                  const QStringList& words) {
    return [member, words](const ToneOptions& options) { return words[int(options.*member)]; };
}

template <typename Enum>
std::function<void(ToneOptions&, const QString&)> placeOf(Enum ToneOptions::*member,
                                                          const QStringList& words) {
    return [member, words](ToneOptions& options, const QString& word) {
        options.*member = static_cast<Enum>(words.indexOf(word));
    };
}

std::function<QString(const ToneOptions&)> numberOf(int ToneOptions::*member) {
    return [member](const ToneOptions& options) { return number(options.*member); };
}

std::function<void(ToneOptions&, const QString&)> setNumber(int ToneOptions::*member) {
    return [member](ToneOptions& options, const QString& text) { options.*member = text.toInt(); };
}

QList<OptionSpec> makeTable() {
    const QStringList channels{QStringLiteral("mono"), QStringLiteral("left"),
                               QStringLiteral("right"), QStringLiteral("both")};
    const QStringList draws{QStringLiteral("hz"), QStringLiteral("octave"),
                            QStringLiteral("notes")};
    const QStringList sizes{QStringLiteral("0"), QStringLiteral("16"), QStringLiteral("24")};
    QList<OptionSpec> table;

    OptionSpec rate{OptionKey::sampleRate, QStringLiteral("8000"), Kind::words};
    rate.words = rateWords();
    rate.rows = rateRows();
    rate.flag = QStringLiteral("rate");
    rate.valueName = QStringLiteral("hz");
    rate.help = QStringLiteral("Lowest sample rate in Hz; a pitch that needs more gets more");
    rate.label = QStringLiteral("Sample rate:");
    rate.name = QStringLiteral("Sample rate");
    rate.description = QStringLiteral("The lowest sample rate; a pitch that needs more gets more.");
    rate.get = numberOf(&ToneOptions::sampleRate);
    rate.set = setNumber(&ToneOptions::sampleRate);
    table << rate;

    OptionSpec size{OptionKey::sampleSize, QStringLiteral("0"), Kind::words};
    size.words = sizes;
    size.rows = QStringList{QStringLiteral("As SoX chooses"), QStringLiteral("16-bit"),
                            QStringLiteral("24-bit")};
    size.flag = QStringLiteral("sample-size");
    size.valueName = QStringLiteral("bits");
    size.help = QStringLiteral("Bits per sample: 16, 24, or 0 for as SoX chooses");
    size.label = QStringLiteral("Sample size:");
    size.name = QStringLiteral("Sample size");
    size.description = QStringLiteral("Bits per sample of WAV files; many players refuse 32 bits.");
    size.get = numberOf(&ToneOptions::sampleBits);
    size.set = setNumber(&ToneOptions::sampleBits);
    table << size;

    OptionSpec level{OptionKey::level, QStringLiteral("0"), Kind::number};
    level.lowest = -60;
    level.highest = 0;
    level.what = QStringLiteral("a level in dBFS");
    level.unit = QStringLiteral(" dBFS");
    level.flag = QStringLiteral("level");
    level.valueName = QStringLiteral("db");
    level.help = QStringLiteral("Peak level in dBFS, -60 to 0");
    level.label = QStringLiteral("Level:");
    level.name = QStringLiteral("Level");
    level.description = QStringLiteral("The tone's peak level.");
    level.get = numberOf(&ToneOptions::levelDb);
    level.set = setNumber(&ToneOptions::levelDb);
    table << level;

    OptionSpec fade{OptionKey::fade, QStringLiteral("0"), Kind::number};
    fade.lowest = 0;
    fade.highest = 500;
    fade.what = QStringLiteral("a fade in ms");
    fade.unit = QStringLiteral(" ms");
    fade.flag = QStringLiteral("fade");
    fade.valueName = QStringLiteral("ms");
    fade.help = QStringLiteral("Fade in and out in ms, 0 to 500");
    fade.label = QStringLiteral("Fade in/out:");
    fade.name = QStringLiteral("Fade in and out");
    fade.description = QStringLiteral("A raised-cosine ramp at each end, against the click.");
    fade.get = numberOf(&ToneOptions::fadeMs);
    fade.set = setNumber(&ToneOptions::fadeMs);
    table << fade;

    OptionSpec channel{OptionKey::channel, QStringLiteral("mono"), Kind::words};
    channel.words = channels;
    channel.rows = QStringList{QStringLiteral("Mono"), QStringLiteral("Left ear only"),
                               QStringLiteral("Right ear only"), QStringLiteral("Both ears")};
    channel.flag = QStringLiteral("channel");
    channel.valueName = QStringLiteral("channel");
    channel.help = QStringLiteral("Channel: %1").arg(channels.join(QStringLiteral(", ")));
    channel.label = QStringLiteral("Channel:");
    channel.name = QStringLiteral("Channel");
    channel.description = QStringLiteral("One ear at a time for hearing checks, or both.");
    channel.get = wordOf(&ToneOptions::channel, channels);
    channel.set = placeOf(&ToneOptions::channel, channels);
    table << channel;

    OptionSpec draw{OptionKey::pitchDraw, QStringLiteral("hz"), Kind::words};
    draw.words = draws;
    draw.rows = QStringList{QStringLiteral("Hz, even"), QStringLiteral("Even per octave"),
                            QStringLiteral("Musical notes")};
    draw.flag = QStringLiteral("pitch-draw");
    draw.valueName = QStringLiteral("draw");
    draw.help = QStringLiteral("Pitch draw: %1").arg(draws.join(QStringLiteral(", ")));
    draw.label = QStringLiteral("Pitch draw:");
    draw.name = QStringLiteral("Pitch draw");
    draw.description = QStringLiteral("How frequencies are drawn between the bounds.");
    draw.get = wordOf(&ToneOptions::pitchDraw, draws);
    draw.set = placeOf(&ToneOptions::pitchDraw, draws);
    table << draw;

    OptionSpec prefix{OptionKey::prefix, QStringLiteral("Ziravel_"), Kind::text};
    prefix.flag = QStringLiteral("prefix");
    prefix.valueName = QStringLiteral("prefix");
    prefix.help = QStringLiteral("Start of every file name");
    prefix.label = QStringLiteral("Name prefix:");
    prefix.name = QStringLiteral("Name prefix");
    prefix.description = QStringLiteral("The start of every file name, before the tone number.");
    prefix.get = [](const ToneOptions& options) { return options.prefix; };
    prefix.set = [](ToneOptions& options, const QString& text) { options.prefix = text; };
    table << prefix;

    OptionSpec never{OptionKey::neverOverwrite, QStringLiteral("0"), Kind::flag};
    never.flag = QStringLiteral("never-overwrite");
    never.help = QStringLiteral("Number on after the files already in the folder, and add to "
                                "their answer key");
    never.name = QStringLiteral("Never overwrite");
    never.description = never.help + QLatin1Char('.');
    never.get = [](const ToneOptions& options) {
        return options.neverOverwrite ? QStringLiteral("1") : QStringLiteral("0");
    };
    never.set = [](ToneOptions& options, const QString& text) {
        options.neverOverwrite = text == QLatin1String("1");
    };
    table << never;
    return table;
}

} // namespace

const QList<OptionSpec>& toneOptionTable() {
    static const QList<OptionSpec> table = makeTable();
    return table;
}

std::optional<QString> readOption(const OptionSpec& option, const QString& text) {
    switch (option.kind) {
    case Kind::words:
        if (const qsizetype at = option.words.indexOf(text.toLower()); at >= 0)
            return option.words[at];
        break;
    case Kind::number:
        try {
            const int value = toInt16(text);
            if (value >= option.lowest && value <= option.highest)
                return number(value);
        } catch (const Failure&) {
        }
        break;
    case Kind::text:
        if (safePrefix(text) == text)
            return text;
        break;
    case Kind::flag:
        if (text == QLatin1String("0") || text == QLatin1String("1"))
            return text;
        break;
    }
    return std::nullopt;
}

QString optionRefusal(const OptionSpec& option) {
    switch (option.kind) {
    case Kind::words:
        return QStringLiteral("not one of %1.").arg(option.words.join(QStringLiteral(", ")));
    case Kind::number:
        return QStringLiteral("not %1 from %2 to %3.")
            .arg(option.what)
            .arg(option.lowest)
            .arg(option.highest);
    case Kind::text:
        return QStringLiteral("a prefix names a file in the folder: no separator, no control "
                              "character, not \".\" or \"..\".");
    case Kind::flag:
        break;
    }
    return QStringLiteral("not 0 or 1.");
}

ToneOptions toneOptionsFrom(const std::function<QString(const OptionSpec&)>& texts) {
    ToneOptions options;
    for (const OptionSpec& option : toneOptionTable()) {
        option.set(options, readOption(option, texts(option)).value_or(option.defaultValue));
    }
    return options;
}
