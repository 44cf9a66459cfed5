// SPDX-License-Identifier: GPL-3.0-or-later
#include "options/Presets.h"

#include "options/OptionTable.h"
#include "settings/StoredPresets.h"
#include "tone/ToneCommand.h"

#include <algorithm>

const QList<Preset>& builtInPresets() {
    static const QList<Preset> presets{
        // Python's wave module and many players refuse the 32-bit files SoX writes.
        {QStringLiteral("Compatible WAV"),
         {{optionRow(Option::sampleSize).key, QStringLiteral("16")},
          {optionRow(Option::sampleRate).key, QStringLiteral("44100")}},
         std::nullopt},
        {QStringLiteral("Hearing check"),
         {{optionRow(Option::level).key, QStringLiteral("-40")},
          {optionRow(Option::fade).key, QStringLiteral("20")},
          {optionRow(Option::sampleSize).key, QStringLiteral("16")},
          {optionRow(Option::sampleRate).key, QStringLiteral("48000")}},
         std::nullopt},
        // At 8000 Hz a sawtooth's harmonics fold back into the band; a triangle at 48000 Hz
        // stays clean.
        {QStringLiteral("Ear training"),
         {{optionRow(Option::pitchDraw).key, QStringLiteral("notes")},
          {optionRow(Option::sampleRate).key, QStringLiteral("48000")},
          {optionRow(Option::fade).key, QStringLiteral("20")}},
         2},
    };
    return presets;
}

const Preset* builtInPreset(const QString& name) {
    const QList<Preset>& presets = builtInPresets();
    const auto found = std::find_if(presets.begin(), presets.end(),
                                    [&name](const Preset& preset) { return preset.name == name; });
    return found != presets.end() ? &*found : nullptr;
}

namespace {

// The names of the user's presets among the settings, sorted.
QStringList userPresetNames(const QSettings::SettingsMap& stored) {
    QStringList names = storedPresetNames(stored.keys());
    names.removeIf([](const QString& name) { return !isFreePresetName(name); });
    names.sort(Qt::CaseInsensitive);
    return names;
}

} // namespace

QStringList presetNames(const QSettings::SettingsMap& stored) {
    QStringList names;
    for (const Preset& preset : builtInPresets())
        names << preset.name;
    return names + userPresetNames(stored);
}

bool isFreePresetName(const QString& name) {
    // A control character would cut the name in a shell's completion, and a replacement
    // character stands for bytes that were no text: no name could be typed to find it.
    const bool typable = std::none_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.unicode() == 0x7F || c == QChar::ReplacementCharacter;
    });
    return !name.trimmed().isEmpty() && name.size() <= 60 && typable && !builtInPreset(name);
}

std::optional<Preset> findPreset(const QString& name, const QSettings::SettingsMap& stored) {
    if (const Preset* builtIn = builtInPreset(name))
        return *builtIn;
    if (!userPresetNames(stored).contains(name))
        return std::nullopt;
    Preset preset{name, {}, std::nullopt};
    for (const OptionRow& option : toneOptionTable())
        if (const auto value = stored.constFind(presetKey(name, option.key));
            value != stored.cend())
            preset.values.insert(
                option.key, readOption(option, value->toString()).value_or(option.defaultValue));
    return preset;
}

QString presetSummary(const Preset& preset) {
    QStringList parts;
    if (preset.waveformRow && *preset.waveformRow >= 0 && *preset.waveformRow < waveformRows.size())
        parts << QStringLiteral("Type: ") + waveformRows[*preset.waveformRow];
    for (const OptionRow& option : toneOptionTable()) {
        const auto value = preset.values.constFind(option.key);
        if (value == preset.values.cend())
            continue;
        QString shown = *value + option.unit;
        if (const qsizetype row = option.words.indexOf(*value);
            row >= 0 && row < option.rows.size())
            shown = option.rows[row];
        else if (option.kind == OptionRow::Kind::flag)
            shown = *value == QLatin1String("1") ? QStringLiteral("on") : QStringLiteral("off");
        parts << option.name + QStringLiteral(": ") + shown;
    }
    parts << QStringLiteral("every other option at its default.");
    return parts.join(QStringLiteral("; "));
}
