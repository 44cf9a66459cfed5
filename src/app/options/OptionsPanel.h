// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "options/OptionTable.h"
#include "tone/ToneOptions.h"

#include <QMap>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;
class SettingsStore;
struct OptionRow;

// The listening-test options under "More options", a row for each option of the option
// table, in groups. Each is stored under its own key at every change and restored at start, a
// stored value that is not one of its own giving way to the default. Below them: a reset to the
// defaults, and named presets, built in or saved by the user in the settings.
class OptionsPanel : public QWidget {
    Q_OBJECT

public:
    OptionsPanel(SettingsStore& settings, QWidget* parent);

    // Reads the stored options into the controls; changes are stored from then on.
    void restore();
    ToneOptions options() const;
    // How many options differ from their defaults.
    int changedCount() const;
    // The waveform chosen is a noise: the rows only noise uses are enabled.
    void setNoiseType(bool noise);

    QComboBox* sampleRate;
    QComboBox* sampleSize;
    QSpinBox* level; // in tenths of a dB
    QSpinBox* fade;
    QComboBox* channel;
    QComboBox* pitchDraw;
    QLineEdit* prefix;
    QCheckBox* neverOverwrite;
    QLineEdit* pitchList;
    QCheckBox* balanced;
    QCheckBox* noiseBand;
    QComboBox* shape;
    QSpinBox* tonesPerFile;
    QSpinBox* gap;
    QPushButton* resetButton;
    QComboBox* presetList; // editable: a new name is typed here
    QPushButton* applyPreset;
    QPushButton* savePreset;
    QPushButton* deletePreset;

signals:
    // An option's value changed, or all of them.
    void optionsChanged();
    // A preset asks for a waveform row.
    void waveformRowAsked(int row);

private:
    QWidget* makeControl(const OptionRow& option);
    template <typename Control> Control* control(Option option) const {
        return qobject_cast<Control*>(m_controls.value(option));
    }
    // What the option's control holds, as stored; and the control set from such a text.
    QString controlText(const OptionRow& option) const;
    void setControlText(const OptionRow& option, const QString& text);
    void storeOnChange();
    // Disables the rows that cannot matter with the options shown, each saying why.
    void enableRows();
    void addPresetRows(class QFormLayout* form);
    void resetToDefaults();
    void applyNamedPreset();
    void saveNamedPreset();
    void deleteNamedPreset();
    // The preset list filled again, with `current` chosen; the buttons enabled for it.
    void fillPresetList(const QString& current);
    void enablePresetButtons();
    // The controls set from values by option key, each one of its option's own; stored once.
    void setControls(const QMap<QString, QString>& values);

    SettingsStore& m_settings;
    QMap<Option, QWidget*> m_controls;
    bool m_restored = false;
    bool m_noiseType = false;
};
