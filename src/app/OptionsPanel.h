#pragma once

#include "synth/ToneOptions.h"

#include <QMap>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class SettingsStore;
struct OptionSpec;

// The listening-test options under "More options", a row for each option of the option
// table. Each is stored under its own key at every change and restored at start, a stored
// value that is not one of its own giving way to the default.
class OptionsPanel : public QWidget {
    Q_OBJECT

public:
    OptionsPanel(SettingsStore& settings, QWidget* parent);

    // Reads the stored options into the controls; changes are stored from then on.
    void restore();
    ToneOptions options() const;

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

private:
    QWidget* makeControl(const OptionSpec& option);
    template <typename Control> Control* control(const QString& key) const {
        return qobject_cast<Control*>(m_controls.value(key));
    }
    // What the option's control holds, as stored; and the control set from such a text.
    QString controlText(const OptionSpec& option) const;
    void setControlText(const OptionSpec& option, const QString& text);
    void storeOnChange();

    SettingsStore& m_settings;
    QMap<QString, QWidget*> m_controls; // by settings key
    bool m_restored = false;
};
