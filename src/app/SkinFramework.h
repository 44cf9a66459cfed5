#pragma once

#include <QList>
#include <QString>

class QColor;

class QWidget;

// Restyles a window from a skin file, which holds a Qt style sheet. The calls are made
// in a fixed order: load, read and write the apply options, switch on applying to new
// windows and threads, apply to the main window.
class SkinFramework {
public:
    // Reads and checks the skin. Throws Failure when the file cannot be read, is not
    // text, or is no style sheet Qt can parse. The second argument names a part of the
    // skin file to use; empty for the whole file.
    void loadSkin(const QString& path, const QString& section);

    int applyOptions() const { return m_applyOptions; }
    void setApplyOptions(int options) { m_applyOptions = options; }
    void setAutoApplyNewWindows(bool on) { m_autoApplyNewWindows = on; }
    void setAutoApplyNewThreads(bool on) { m_autoApplyNewThreads = on; }

    // Applies the loaded skin to the window and all its controls.
    void applyWindow(QWidget& window) const;

private:
    QString m_styleSheet;
    int m_applyOptions = 0;
    bool m_autoApplyNewWindows = false;
    bool m_autoApplyNewThreads = false;
};

// Fills the widget's background with the colour.
void setBackgroundColour(QWidget* widget, const QColor& colour);

// Looks for the skin file "x/o.cjs" beside the program. When it is there, gives the
// window and the given frames and labels the button-face colour and restyles the
// window through the skin component. Throws Failure, leaving the colours set, when
// the skin cannot be applied.
void applySkin(QWidget& window, const QList<QWidget*>& framesAndLabels,
               const QString& programFolder, SkinFramework& skin);
