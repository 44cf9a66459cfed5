#pragma once

#include "synth/ToneOptions.h"

#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class SettingsStore;

// The listening-test options under "More options". Each is stored under its own key at
// every change and restored at start, a stored value that is not one of its own giving
// way to the default.
class OptionsPanel : public QWidget {
    Q_OBJECT

public:
    OptionsPanel(SettingsStore& settings, QWidget* parent);

    // Reads the stored options into the controls; changes are stored from then on.
    void restore();
    ToneOptions options() const;

    QComboBox* sampleRate;
    QComboBox* sampleSize;
    QSpinBox* level;
    QSpinBox* fade;
    QComboBox* channel;
    QComboBox* pitchDraw;
    QLineEdit* prefix;
    QCheckBox* neverOverwrite;

private:
    void storeOnChange();

    SettingsStore& m_settings;
    bool m_restored = false;
};
