#include "app/OptionsPanel.h"

#include "app/SettingsStore.h"
#include "synth/OptionTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

using Kind = OptionSpec::Kind;

OptionsPanel::OptionsPanel(SettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    auto* form = new QFormLayout(this);
    for (const OptionSpec& option : toneOptionTable()) {
        QWidget* control = makeControl(option);
        control->setAccessibleName(option.name);
        control->setAccessibleDescription(option.description);
        control->setToolTip(option.description);
        form->addRow(option.label, control);
        m_controls.insert(option.key, control);
    }
    sampleRate = control<QComboBox>(OptionKey::sampleRate);
    sampleSize = control<QComboBox>(OptionKey::sampleSize);
    level = control<QSpinBox>(OptionKey::level);
    fade = control<QSpinBox>(OptionKey::fade);
    channel = control<QComboBox>(OptionKey::channel);
    pitchDraw = control<QComboBox>(OptionKey::pitchDraw);
    prefix = control<QLineEdit>(OptionKey::prefix);
    neverOverwrite = control<QCheckBox>(OptionKey::neverOverwrite);
}

QWidget* OptionsPanel::makeControl(const OptionSpec& option) {
    switch (option.kind) {
    case Kind::words: {
        auto* box = new QComboBox(this);
        for (qsizetype row = 0; row < option.words.size(); ++row)
            box->addItem(option.rows[row], option.words[row]);
        connect(box, &QComboBox::currentIndexChanged, this, &OptionsPanel::storeOnChange);
        return box;
    }
    case Kind::number: {
        auto* box = new QSpinBox(this);
        box->setRange(option.lowest, option.highest);
        box->setSuffix(option.unit);
        connect(box, &QSpinBox::valueChanged, this, &OptionsPanel::storeOnChange);
        return box;
    }
    case Kind::text: {
        auto* field = new QLineEdit(option.defaultValue, this);
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

QString OptionsPanel::controlText(const OptionSpec& option) const {
    QWidget* const widget = m_controls.value(option.key);
    switch (option.kind) {
    case Kind::words:
        return static_cast<QComboBox*>(widget)->currentData().toString();
    case Kind::number:
        return QString::number(static_cast<QSpinBox*>(widget)->value());
    case Kind::text:
        return static_cast<QLineEdit*>(widget)->text();
    case Kind::flag:
        break;
    }
    return static_cast<QCheckBox*>(widget)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void OptionsPanel::setControlText(const OptionSpec& option, const QString& text) {
    QWidget* const widget = m_controls.value(option.key);
    switch (option.kind) {
    case Kind::words: {
        auto* box = static_cast<QComboBox*>(widget);
        box->setCurrentIndex(box->findData(text));
        return;
    }
    case Kind::number:
        static_cast<QSpinBox*>(widget)->setValue(text.toInt());
        return;
    case Kind::text:
        static_cast<QLineEdit*>(widget)->setText(text);
        return;
    case Kind::flag:
        static_cast<QCheckBox*>(widget)->setChecked(text == QLatin1String("1"));
        return;
    }
}

void OptionsPanel::restore() {
    const ToneOptions stored = toneOptionsFrom([this](const OptionSpec& option) {
        return m_settings.value(option.key, option.defaultValue);
    });
    for (const OptionSpec& option : toneOptionTable())
        setControlText(option, option.get(stored));
    m_restored = true;
}

void OptionsPanel::storeOnChange() {
    if (!m_restored)
        return;
    for (const OptionSpec& option : toneOptionTable())
        m_settings.save(option.key, controlText(option));
}

ToneOptions OptionsPanel::options() const {
    return toneOptionsFrom([this](const OptionSpec& option) { return controlText(option); });
}
