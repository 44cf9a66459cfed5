// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/options/OptionsPanel.h"

#include "options/OptionTable.h"
#include "options/Presets.h"
#include "settings/SettingsStore.h"
#include "tone/NumberText.h"
#include "tone/ToneLimits.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <cmath>

using Kind = OptionRow::Kind;

namespace {

// A number kept to some places after the point, in a spin box that counts in those steps, so
// that skins styling spin boxes style it too. Shown as short as it goes: "-6", "-6.5".
class DecimalSpinBox : public QSpinBox {
public:
    DecimalSpinBox(int decimals, QWidget* parent)
        : QSpinBox(parent), m_scale(std::pow(10.0, decimals)) {}

    double decimalValue() const { return value() / m_scale; }
    void setDecimalValue(double decimal) { setValue(int(std::lround(decimal * m_scale))); }

protected:
    QString textFromValue(int steps) const override {
        return QString::number(steps / m_scale + 0.0, 'f', QLocale::FloatingPointShortest);
    }
    int valueFromText(const QString& text) const override {
        double decimal = 0;
        parseNumberText(QString(text).remove(suffix()), decimal);
        return int(std::lround(decimal * m_scale));
    }
    QValidator::State validate(QString& text, int&) const override {
        double decimal = 0;
        const QString number = QString(text).remove(suffix()).trimmed();
        if (number.isEmpty() || number == QLatin1String("-"))
            return QValidator::Intermediate;
        return parseNumberText(number, decimal) ? QValidator::Acceptable : QValidator::Invalid;
    }

private:
    double m_scale;
};

} // namespace

OptionsPanel::OptionsPanel(SettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    // Presets across the top; below, the groups in two columns, read down the left first.
    auto* columns = new QGridLayout(this);
    columns->setContentsMargins(0, 0, 0, 0);
    auto* presets = new QGroupBox(QStringLiteral("Presets"), this);
    columns->addWidget(presets, 0, 0, 1, 2);
    addPresetRows(new QFormLayout(presets));
    const struct {
        PanelGroup group;
        const char* title;
        int column;
    } groups[] = {{PanelGroup::sound, "Sound", 0},
                  {PanelGroup::pitch, "Pitch", 0},
                  {PanelGroup::shape, "Shape", 1},
                  {PanelGroup::noise, "Noise", 1},
                  {PanelGroup::files, "Files", 1}};
    QVBoxLayout* column[] = {new QVBoxLayout, new QVBoxLayout};
    for (const auto& group : groups) {
        auto* box = new QGroupBox(QString::fromLatin1(group.title), this);
        auto* form = new QFormLayout(box);
        for (const OptionRow& option : toneOptionTable()) {
            if (option.place != OptionRow::Place::panel || option.group != group.group)
                continue;
            QWidget* control = makeControl(option);
            control->setAccessibleName(option.name);
            control->setObjectName(option.key);
            form->addRow(option.label, control);
            m_controls.insert(option.id, control);
        }
        column[group.column]->addWidget(box);
    }
    for (int at = 0; at < 2; ++at) {
        column[at]->addStretch();
        columns->addLayout(column[at], 1, at);
    }
    sampleRate = control<QComboBox>(Option::sampleRate);
    sampleSize = control<QComboBox>(Option::sampleSize);
    level = control<QSpinBox>(Option::level);
    fade = control<QSpinBox>(Option::fade);
    channel = control<QComboBox>(Option::channel);
    pitchDraw = control<QComboBox>(Option::pitchDraw);
    prefix = control<QLineEdit>(Option::prefix);
    neverOverwrite = control<QCheckBox>(Option::neverOverwrite);
    pitchList = control<QLineEdit>(Option::pitchList);
    balanced = control<QCheckBox>(Option::balanced);
    noiseBand = control<QCheckBox>(Option::noiseBand);
    shape = control<QComboBox>(Option::shape);
    tonesPerFile = control<QSpinBox>(Option::tonesPerFile);
    gap = control<QSpinBox>(Option::gap);
    connect(this, &OptionsPanel::optionsChanged, this, &OptionsPanel::enableRows);
    enableRows();
}

void OptionsPanel::setNoiseType(bool noise) {
    m_noiseType = noise;
    enableRows();
}

void OptionsPanel::enableRows() {
    const ToneOptions shown = options();
    for (auto control = m_controls.cbegin(); control != m_controls.cend(); ++control) {
        const OptionRow& option = optionRow(control.key());
        const QString idle = idleReason(option.id, shown, m_noiseType);
        // A disabled row says why, to the pointer and to screen readers; the level's row, a
        // level its samples cannot hold well.
        const QString note =
            option.id == Option::level ? levelCaution(shown.levelDb, shown, false) : idle;
        const QString description =
            note.isEmpty() ? option.description : option.description + QLatin1Char(' ') + note;
        control.value()->setEnabled(idle.isEmpty());
        control.value()->setToolTip(description);
        control.value()->setAccessibleDescription(description);
        if (auto* form = qobject_cast<QFormLayout*>(control.value()->parentWidget()->layout()))
            if (QWidget* label = form->labelForField(control.value()))
                label->setEnabled(idle.isEmpty());
    }
}

void OptionsPanel::addPresetRows(QFormLayout* form) {
    auto* presets = new QWidget(this);
    auto* row = new QHBoxLayout(presets);
    row->setContentsMargins(0, 0, 0, 0);
    presetList = new QComboBox(presets);
    presetList->setEditable(true);
    presetList->setInsertPolicy(QComboBox::NoInsert);
    presetList->setAccessibleName(QStringLiteral("Preset"));
    applyPreset = new QPushButton(QStringLiteral("&Apply"), presets);
    applyPreset->setAccessibleName(QStringLiteral("Apply preset"));
    savePreset = new QPushButton(QStringLiteral("Save"), presets);
    savePreset->setAccessibleName(QStringLiteral("Save preset"));
    deletePreset = new QPushButton(QStringLiteral("Delete"), presets);
    deletePreset->setAccessibleName(QStringLiteral("Delete preset"));
    row->addWidget(presetList, 1);
    for (QPushButton* button : {applyPreset, savePreset, deletePreset})
        row->addWidget(button);
    form->addRow(QStringLiteral("Preset:"), presets);
    connect(applyPreset, &QPushButton::clicked, this, &OptionsPanel::applyNamedPreset);
    connect(savePreset, &QPushButton::clicked, this, &OptionsPanel::saveNamedPreset);
    connect(deletePreset, &QPushButton::clicked, this, &OptionsPanel::deleteNamedPreset);
    connect(presetList, &QComboBox::currentTextChanged, this, &OptionsPanel::enablePresetButtons);
    fillPresetList(QString());

    resetButton = new QPushButton(QStringLiteral("Reset to defaults"), this);
    resetButton->setAccessibleDescription(QStringLiteral("Sets every option back to its default."));
    connect(resetButton, &QPushButton::clicked, this, &OptionsPanel::resetToDefaults);
    form->addRow(QString(), resetButton);
}

void OptionsPanel::fillPresetList(const QString& current) {
    const QSignalBlocker quiet(presetList);
    presetList->clear();
    const QSettings::SettingsMap stored = m_settings.values();
    for (const QString& name : presetNames(stored)) {
        presetList->addItem(name);
        if (const std::optional<Preset> preset = findPreset(name, stored))
            presetList->setItemData(presetList->count() - 1, presetSummary(*preset),
                                    Qt::ToolTipRole);
    }
    presetList->setCurrentIndex(presetList->findText(current));
    presetList->setEditText(current);
    enablePresetButtons();
}

void OptionsPanel::enablePresetButtons() {
    const QString name = presetList->currentText();
    const bool builtIn = builtInPreset(name) != nullptr;
    const int row = presetList->findText(name);
    const bool known = builtIn || row >= 0;
    applyPreset->setEnabled(known);
    // Built-in presets are never replaced or deleted.
    savePreset->setEnabled(isFreePresetName(name));
    deletePreset->setEnabled(known && !builtIn);
    // What the chosen preset sets, else what the list is for.
    const QString summary = row >= 0 ? presetList->itemData(row, Qt::ToolTipRole).toString()
                                     : QStringLiteral("A named set of options: choose one, or "
                                                      "type a name to save under.");
    presetList->setToolTip(summary);
    presetList->setAccessibleDescription(summary);
}

void OptionsPanel::setControls(const QMap<QString, QString>& values) {
    m_restored = false;
    for (const OptionRow& option : toneOptionTable())
        if (option.place == OptionRow::Place::panel && values.contains(option.key))
            setControlText(option, values[option.key]);
    m_restored = true;
    storeOnChange();
}

namespace {

QMap<QString, QString> defaultValues() {
    QMap<QString, QString> defaults;
    for (const OptionRow& option : toneOptionTable())
        defaults.insert(option.key, option.defaultValue);
    return defaults;
}

} // namespace

void OptionsPanel::resetToDefaults() {
    setControls(defaultValues());
}

void OptionsPanel::applyNamedPreset() {
    const QString name = presetList->currentText();
    const std::optional<Preset> preset = findPreset(name, m_settings.values());
    if (!preset)
        return;
    // Every option: those the preset does not name go to their defaults.
    QMap<QString, QString> values = defaultValues();
    values.insert(preset->values);
    setControls(values);
    if (preset->waveformRow)
        emit waveformRowAsked(*preset->waveformRow);
}

void OptionsPanel::saveNamedPreset() {
    const QString name = presetList->currentText();
    if (!isFreePresetName(name))
        return;
    // Saved again under the same name, it holds only what it holds now.
    m_settings.removeAll(presetKey(name, QString()));
    QSettings::SettingsMap values;
    for (const OptionRow& option : toneOptionTable())
        if (option.place == OptionRow::Place::panel)
            values.insert(presetKey(name, option.key), controlText(option));
    m_settings.saveAll(values);
    fillPresetList(name);
}

void OptionsPanel::deleteNamedPreset() {
    const QString name = presetList->currentText();
    if (builtInPreset(name))
        return;
    m_settings.removeAll(presetKey(name, QString()));
    fillPresetList(QString());
}

int OptionsPanel::changedCount() const {
    int changed = 0;
    for (const OptionRow& option : toneOptionTable())
        changed +=
            option.place == OptionRow::Place::panel && controlText(option) != option.defaultValue
                ? 1
                : 0;
    return changed;
}

QWidget* OptionsPanel::makeControl(const OptionRow& option) {
    switch (option.kind) {
    case Kind::words: {
        auto* box = new QComboBox(this);
        for (qsizetype row = 0; row < option.words.size(); ++row)
            box->addItem(option.rows[row], option.words[row]);
        connect(box, &QComboBox::currentIndexChanged, this, &OptionsPanel::storeOnChange);
        return box;
    }
    case Kind::number: {
        const int scale = int(std::lround(std::pow(10.0, option.decimals)));
        QSpinBox* box =
            option.decimals > 0 ? new DecimalSpinBox(option.decimals, this) : new QSpinBox(this);
        box->setRange(option.lowest * scale, option.highest * scale);
        box->setSingleStep(scale);
        box->setSuffix(option.unit);
        connect(box, &QSpinBox::valueChanged, this, &OptionsPanel::storeOnChange);
        return box;
    }
    case Kind::text:
    case Kind::form:
    case Kind::pitches:
    case Kind::seconds:
    case Kind::row:
    case Kind::folder: {
        auto* field = new QLineEdit(option.defaultValue, this);
        // A list pasted whole is never cut short into another list: one too long for the
        // settings or the list's limit is refused, and said so.
        if (option.kind == Kind::pitches)
            field->setMaxLength(int(largestSettingsFile));
        connect(field, &QLineEdit::textChanged, this, &OptionsPanel::storeOnChange);
        return field;
    }
    case Kind::flag:
        break;
    }
    auto* box = new QCheckBox(option.name, this);
    connect(box, &QCheckBox::toggled, this, &OptionsPanel::storeOnChange);
    return box;
}

QString OptionsPanel::controlText(const OptionRow& option) const {
    QWidget* const widget = m_controls.value(option.id);
    if (!widget)
        return option.defaultValue;
    switch (option.kind) {
    case Kind::words:
        return static_cast<QComboBox*>(widget)->currentData().toString();
    case Kind::number:
        if (option.decimals > 0)
            return QString::number(static_cast<DecimalSpinBox*>(widget)->decimalValue());
        return QString::number(static_cast<QSpinBox*>(widget)->value());
    case Kind::text:
    case Kind::form:
    case Kind::pitches:
    case Kind::seconds:
    case Kind::row:
    case Kind::folder:
        return static_cast<QLineEdit*>(widget)->text();
    case Kind::flag:
        break;
    }
    return static_cast<QCheckBox*>(widget)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void OptionsPanel::setControlText(const OptionRow& option, const QString& text) {
    QWidget* const widget = m_controls.value(option.id);
    if (!widget)
        return;
    switch (option.kind) {
    case Kind::words: {
        auto* box = static_cast<QComboBox*>(widget);
        box->setCurrentIndex(box->findData(text));
        return;
    }
    case Kind::number:
        if (option.decimals > 0)
            static_cast<DecimalSpinBox*>(widget)->setDecimalValue(numberInText(text));
        else
            static_cast<QSpinBox*>(widget)->setValue(int(std::lround(numberInText(text))));
        return;
    case Kind::text:
    case Kind::form:
    case Kind::pitches:
    case Kind::seconds:
    case Kind::row:
    case Kind::folder:
        static_cast<QLineEdit*>(widget)->setText(text);
        return;
    case Kind::flag:
        static_cast<QCheckBox*>(widget)->setChecked(text == QLatin1String("1"));
        return;
    }
}

void OptionsPanel::restore() {
    const ToneOptions stored = toneOptionsFrom([this](const OptionRow& option) {
        return m_settings.value(option.key, option.defaultValue);
    });
    for (const OptionRow& option : toneOptionTable())
        setControlText(option, option.get(stored));
    m_restored = true;
    fillPresetList(QString());
    emit optionsChanged();
}

void OptionsPanel::storeOnChange() {
    if (!m_restored)
        return;
    emit optionsChanged();
    QSettings::SettingsMap values;
    for (const OptionRow& option : toneOptionTable())
        if (option.place == OptionRow::Place::panel)
            values.insert(option.key, controlText(option));
    m_settings.saveAll(values);
}

ToneOptions OptionsPanel::options() const {
    return toneOptionsFrom([this](const OptionRow& option) { return controlText(option); });
}
