// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProgressBar>

// The batch's progress bar. Screen readers hear "Tone k of N" as its value rather than
// a bare number, the words the label beside it shows.
class ToneProgress : public QProgressBar {
    Q_OBJECT

public:
    explicit ToneProgress(QWidget* parent = nullptr);

    // Shows that tone `tone` of `count` is being made.
    void showTone(int tone, int count);
    QString valueText() const { return m_valueText; }

private:
    QString m_valueText;
};
