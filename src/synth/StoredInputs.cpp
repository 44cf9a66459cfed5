#include "synth/StoredInputs.h"

#include "runner/FileProbes.h"
#include "runner/IniText.h"

#include <QStandardPaths>

namespace {

// The stored whole number when it lies between the limits; the default otherwise.
int storedNumber(const QString& text, int lowest, int highest, int defaultValue) {
    bool number = false;
    const int value = text.toInt(&number);
    return number && value >= lowest && value <= highest ? value : defaultValue;
}

} // namespace

ToneOptions storedToneOptions(const std::function<QString(const SettingKey&)>& stored) {
    ToneOptions options;
    const int rate = stored(Setting::optionRate).toInt();
    if (offeredSampleRates.contains(rate))
        options.sampleRate = rate;
    const int bits = stored(Setting::optionSize).toInt();
    if (bits == 16 || bits == 24)
        options.sampleBits = bits;
    options.levelDb = storedNumber(stored(Setting::optionLevel), -60, 0, options.levelDb);
    options.fadeMs = storedNumber(stored(Setting::optionFade), 0, 500, options.fadeMs);
    options.channel = static_cast<ToneOptions::Channel>(
        std::max(0, int(channelWords.indexOf(stored(Setting::optionChannel)))));
    options.pitchDraw = static_cast<ToneOptions::PitchDraw>(
        std::max(0, int(pitchDrawWords.indexOf(stored(Setting::optionPitchDraw)))));
    options.prefix = safePrefix(stored(Setting::optionPrefix));
    options.neverOverwrite = stored(Setting::optionNeverOverwrite) == QLatin1String("1");
    return options;
}

QString storedInputsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Korvane/Ziravel.conf");
}

QSettings::SettingsMap readStoredInputs() {
#ifdef Q_OS_WIN
    QSettings settings(QStringLiteral("Korvane"), QStringLiteral("Ziravel"));
    QSettings::SettingsMap values;
    for (const QString& key : settings.allKeys())
        values.insert(key, settings.value(key));
    return values;
#else
    const QString file = storedInputsFile();
    if (!fileExists(file))
        return {};
    return readIniText(readRegularFile(file, largestSettingsFile));
#endif
}
