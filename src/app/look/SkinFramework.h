// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class QColor;

class QWidget;

// Restyles a window from a skin file, which holds a Qt style sheet: load, then apply to the
// main window. A style sheet reaches every control of the window, those made later
// included, so there is nothing more to switch on.
class SkinFramework {
public:
    // Reads and checks the skin. Throws Failure when the file cannot be read, is not
    // text, or is no style sheet Qt can parse. The second argument names a part of the
    // skin file to use; empty for the whole file.
    void loadSkin(const QString& path, const QString& section);

    // Applies the loaded skin to the window and all its controls.
    void applyWindow(QWidget& window) const;

private:
    QString m_styleSheet;
};

// Fills the widget's background with the colour.
void setBackgroundColour(QWidget* widget, const QColor& colour);

// Looks for the skin file "x/o.cjs" beside the program. When it is there, gives the
// window and the given frames and labels the button-face colour and restyles the
// window through the skin component. Throws Failure, leaving the colours set, when
// the skin cannot be applied.
void applySkin(QWidget& window, const QList<QWidget*>& framesAndLabels,
               const QString& programFolder, SkinFramework& skin);
