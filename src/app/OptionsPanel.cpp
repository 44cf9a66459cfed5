#include "app/OptionsPanel.h"

#include "app/SettingsStore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QSpinBox>

namespace {

// A list whose rows stand for stored words.
QComboBox* choices(QWidget* parent, const QList<std::pair<QString, QString>>& rows) {
    auto* box = new QComboBox(parent);
    for (const auto& [text, word] : rows)
        box->addItem(text, word);
    return box;
}

QSpinBox* numberBox(QWidget* parent, int lowest, int highest, const QString& suffix) {
    auto* box = new QSpinBox(parent);
    box->setRange(lowest, highest);
    box->setSuffix(suffix);
    return box;
}

void describe(QWidget* control, const QString& name, const QString& description) {
    control->setAccessibleName(name);
    control->setAccessibleDescription(description);
    control->setToolTip(description);
}

} // namespace

OptionsPanel::OptionsPanel(SettingsStore& settings, QWidget* parent)
    : QWidget(parent), m_settings(settings) {
    QList<std::pair<QString, QString>> rates;
    for (const int rate : offeredSampleRates)
        rates.append({QStringLiteral("%1 Hz").arg(rate), QString::number(rate)});
    sampleRate = choices(this, rates);
    sampleSize = choices(this, {{QStringLiteral("As SoX chooses"), QStringLiteral("0")},
                                {QStringLiteral("16-bit"), QStringLiteral("16")},
                                {QStringLiteral("24-bit"), QStringLiteral("24")}});
    level = numberBox(this, -60, 0, QStringLiteral(" dBFS"));
    fade = numberBox(this, 0, 500, QStringLiteral(" ms"));
    channel = choices(this, {{QStringLiteral("Mono"), QStringLiteral("mono")},
                             {QStringLiteral("Left ear only"), QStringLiteral("left")},
                             {QStringLiteral("Right ear only"), QStringLiteral("right")},
                             {QStringLiteral("Both ears"), QStringLiteral("both")}});
    pitchDraw = choices(this, {{QStringLiteral("Hz, even"), QStringLiteral("hz")},
                               {QStringLiteral("Even per octave"), QStringLiteral("octave")},
                               {QStringLiteral("Musical notes"), QStringLiteral("notes")}});
    prefix = new QLineEdit(ToneOptions().prefix, this);
    neverOverwrite = new QCheckBox(QStringLiteral("Never overwrite"), this);

    describe(sampleRate, QStringLiteral("Sample rate"),
             QStringLiteral("The lowest sample rate; a pitch that needs more gets more."));
    describe(sampleSize, QStringLiteral("Sample size"),
             QStringLiteral("Bits per sample of WAV files; many players refuse 32 bits."));
    describe(level, QStringLiteral("Level"), QStringLiteral("The tone's peak level."));
    describe(fade, QStringLiteral("Fade in and out"),
             QStringLiteral("A raised-cosine ramp at each end, against the click."));
    describe(channel, QStringLiteral("Channel"),
             QStringLiteral("One ear at a time for hearing checks, or both."));
    describe(pitchDraw, QStringLiteral("Pitch draw"),
             QStringLiteral("How frequencies are drawn between the bounds."));
    describe(prefix, QStringLiteral("Name prefix"),
             QStringLiteral("The start of every file name, before the tone number."));
    describe(neverOverwrite, QStringLiteral("Never overwrite"),
             QStringLiteral("Number on after the files already in the folder, and add to "
                            "their answer key."));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Sample rate:"), sampleRate);
    form->addRow(QStringLiteral("Sample size:"), sampleSize);
    form->addRow(QStringLiteral("Level:"), level);
    form->addRow(QStringLiteral("Fade in/out:"), fade);
    form->addRow(QStringLiteral("Channel:"), channel);
    form->addRow(QStringLiteral("Pitch draw:"), pitchDraw);
    form->addRow(QStringLiteral("Name prefix:"), prefix);
    form->addRow(QString(), neverOverwrite);

    for (QComboBox* box : {sampleRate, sampleSize, channel, pitchDraw})
        connect(box, &QComboBox::currentIndexChanged, this, &OptionsPanel::storeOnChange);
    for (QSpinBox* box : {level, fade})
        connect(box, &QSpinBox::valueChanged, this, &OptionsPanel::storeOnChange);
    connect(prefix, &QLineEdit::textChanged, this, &OptionsPanel::storeOnChange);
    connect(neverOverwrite, &QCheckBox::toggled, this, &OptionsPanel::storeOnChange);
}

void OptionsPanel::restore() {
    const ToneOptions stored =
        storedToneOptions([this](const SettingKey& key) { return m_settings.value(key); });
    sampleRate->setCurrentIndex(sampleRate->findData(QString::number(stored.sampleRate)));
    sampleSize->setCurrentIndex(sampleSize->findData(QString::number(stored.sampleBits)));
    level->setValue(stored.levelDb);
    fade->setValue(stored.fadeMs);
    channel->setCurrentIndex(int(stored.channel));
    pitchDraw->setCurrentIndex(int(stored.pitchDraw));
    prefix->setText(stored.prefix);
    neverOverwrite->setChecked(stored.neverOverwrite);
    m_restored = true;
}

void OptionsPanel::storeOnChange() {
    if (!m_restored)
        return;
    m_settings.save(Setting::optionRate.name, sampleRate->currentData().toString());
    m_settings.save(Setting::optionSize.name, sampleSize->currentData().toString());
    m_settings.save(Setting::optionLevel.name, QString::number(level->value()));
    m_settings.save(Setting::optionFade.name, QString::number(fade->value()));
    m_settings.save(Setting::optionChannel.name, channel->currentData().toString());
    m_settings.save(Setting::optionPitchDraw.name, pitchDraw->currentData().toString());
    m_settings.save(Setting::optionPrefix.name, prefix->text());
    m_settings.save(Setting::optionNeverOverwrite.name,
                    neverOverwrite->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
}

ToneOptions OptionsPanel::options() const {
    ToneOptions options;
    options.sampleRate = sampleRate->currentData().toInt();
    options.sampleBits = sampleSize->currentData().toInt();
    options.levelDb = level->value();
    options.fadeMs = fade->value();
    options.channel = static_cast<ToneOptions::Channel>(channel->currentIndex());
    options.pitchDraw = static_cast<ToneOptions::PitchDraw>(pitchDraw->currentIndex());
    options.prefix = safePrefix(prefix->text());
    options.neverOverwrite = neverOverwrite->isChecked();
    return options;
}
