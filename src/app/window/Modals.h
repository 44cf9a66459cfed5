// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/Guard.h"

#include <QString>
#include <functional>

class QWidget;

// The product's name: the window caption, and the notices' caption until start-up sets
// the application title.
inline const QString productName = QStringLiteral("Ziravel");

// Everything that waits for the user or leaves the program for the desktop: plain notices, the
// error report, the folder and file dialogs, the file manager. The window talks to this wrapper
// only, so that tests can answer instead.
class Modals : public ErrorReporter {
public:
    // The caption of every notice from now on.
    virtual void setApplicationTitle(const QString& title) = 0;
    // A box with the application title, no icon and an OK button.
    virtual void showNotice(const QString& text) = 0;
    // Folder dialog: the chosen folder, or empty text on cancel.
    virtual QString chooseFolder(QWidget* owner, const QString& prompt,
                                 const QString& initialFolder) = 0;
    // A set's answer key to open: its path, or empty text on cancel.
    virtual QString chooseAnswerKey(QWidget* owner, const QString& initialFolder) = 0;
    // Shows the folder in the desktop's file manager; false when none would open it.
    virtual bool showFolder(const QString& folder) = 0;
    // A question with Yes and No buttons: whether Yes was chosen.
    virtual bool confirm(QWidget* owner, const QString& question) = 0;
};

// The settings store's notices, shown as the window's own.
inline std::function<void(const QString&)> noticesTo(Modals& modals) {
    return [&modals](const QString& text) { modals.showNotice(text); };
}

// The location a window handler's error reports name, e.g. "in Ziravel2021/08/31.Form1.Form_Load ".
QString handlerLocation(const QString& handlerName);

// The error report's text: description, location and line, and the request to send a
// screenshot, with exactly the line breaks the report has always had.
QString errorReportText(const QString& description, const QString& location, int line);

// The real dialogs, modal to the given window.
class QtModals : public Modals {
public:
    explicit QtModals(QWidget* owner = nullptr) : m_owner(owner) {}
    void setOwner(QWidget* owner) { m_owner = owner; }

    // Kept here rather than as the application's display name, which the window system
    // would append to the title of every window.
    void setApplicationTitle(const QString& title) override { m_title = title; }
    void showNotice(const QString& text) override;
    void reportError(const QString& description, const QString& location, int line) override;
    QString chooseFolder(QWidget* owner, const QString& prompt,
                         const QString& initialFolder) override;
    QString chooseAnswerKey(QWidget* owner, const QString& initialFolder) override;
    bool showFolder(const QString& folder) override;
    bool confirm(QWidget* owner, const QString& question) override;

private:
    QWidget* m_owner;
    QString m_title = productName;
};
