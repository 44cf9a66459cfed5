// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "app/window/Modals.h"

#include <QList>
#include <QStringList>
#include <functional>

// Answers every box at once and remembers what was shown.
class RecordingModals : public Modals {
public:
    struct Report {
        QString description;
        QString location;
        int line;
    };

    void setApplicationTitle(const QString& title) override { applicationTitle = title; }
    void showNotice(const QString& text) override {
        notices.append(text);
        if (whileNoticeShown)
            whileNoticeShown();
    }
    void reportError(const QString& description, const QString& location, int line) override {
        reports.append({description, location, line});
    }
    QString chooseFolder(QWidget*, const QString& prompt, const QString& initialFolder) override {
        folderPrompts.append(prompt);
        folderStarts.append(initialFolder);
        return folderAnswer;
    }

    QString chooseAnswerKey(QWidget*, const QString&) override { return keyAnswer; }
    bool showFolder(const QString& folder) override {
        shownFolders.append(folder);
        return true;
    }
    bool confirm(QWidget*, const QString& question) override {
        questions.append(question);
        return confirmAnswer;
    }

    QList<int> reportLines() const {
        QList<int> lines;
        for (const Report& report : reports)
            lines.append(report.line);
        return lines;
    }

    QString applicationTitle = productName;
    QStringList notices;
    QList<Report> reports;
    std::function<void()> whileNoticeShown;
    QStringList folderPrompts;
    QStringList folderStarts;
    QString folderAnswer;
    QString keyAnswer;
    QStringList shownFolders;
    QStringList questions;
    bool confirmAnswer = true;
};
