#include "app/OptionsPanel.h"

#include "app/SettingsStore.h"
#include "synth/NumberText.h"
#include "synth/OptionTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QLocale>
#include <QSpinBox>
#include <cmath>

using Kind = OptionSpec::Kind;

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
    auto* form = new QFormLayout(this);
    for (const OptionSpec& option : toneOptionTable()) {
        if (!option.inWindow)
            continue;
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
    pitchList = control<QLineEdit>(OptionKey::pitchList);
    balanced = control<QCheckBox>(OptionKey::balanced);
    noiseBand = control<QCheckBox>(OptionKey::noiseBand);
    shape = control<QComboBox>(OptionKey::shape);
    tonesPerFile = control<QSpinBox>(OptionKey::tonesPerFile);
    gap = control<QSpinBox>(OptionKey::gap);
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
    case Kind::pitches: {
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
    case Kind::pitches:
        return static_cast<QLineEdit*>(widget)->text();
    case Kind::flag:
        break;
    }
    return static_cast<QCheckBox*>(widget)->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void OptionsPanel::setControlText(const OptionSpec& option, const QString& text) {
    QWidget* const widget = m_controls.value(option.key);
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
            static_cast<DecimalSpinBox*>(widget)->setDecimalValue(text.toDouble());
        else
            static_cast<QSpinBox*>(widget)->setValue(text.toInt());
        return;
    case Kind::text:
    case Kind::pitches:
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
        if (option.inWindow)
            m_settings.save(option.key, controlText(option));
}

ToneOptions OptionsPanel::options() const {
    return toneOptionsFrom([this](const OptionSpec& option) { return controlText(option); });
}
