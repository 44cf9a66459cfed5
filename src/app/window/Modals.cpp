// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/Modals.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QUrl>

QString errorReportText(const QString& description, const QString& location, int line) {
    return description + QStringLiteral("\r\n") + location + QStringLiteral("at line ") +
           QString::number(line) + QStringLiteral("\r\r") +
           QStringLiteral("Please email screenshot of this message to " ZIRAVEL_SUPPORT_EMAIL);
}

namespace {

// Qt breaks lines at line feeds only; a lone carriage return is a line break too.
QString shownText(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

void showBox(QWidget* owner, QMessageBox::Icon icon, const QString& title, const QString& text) {
    QMessageBox box(icon, title, shownText(text), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.exec();
}

} // namespace

void QtModals::showNotice(const QString& text) {
    showBox(m_owner, QMessageBox::NoIcon, m_title, text);
}

void QtModals::reportError(const QString& description, const QString& location, int line) {
    showBox(m_owner, QMessageBox::Warning, QStringLiteral("Application Error"),
            errorReportText(description, location, line));
}

QString QtModals::chooseFolder(QWidget* owner, const QString& prompt,
                               const QString& initialFolder) {
    return QDir::toNativeSeparators(
        QFileDialog::getExistingDirectory(owner, prompt, initialFolder, QFileDialog::ShowDirsOnly));
}

QString QtModals::chooseAnswerKey(QWidget* owner, const QString& initialFolder) {
    return QFileDialog::getOpenFileName(owner, QStringLiteral("Open a set's answer key"),
                                        initialFolder,
                                        QStringLiteral("Answer keys (*.csv);;All files (*)"));
}

bool QtModals::showFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

bool QtModals::confirm(QWidget* owner, const QString& question) {
    return QMessageBox::question(owner, m_title, question) == QMessageBox::Yes;
}

QString handlerLocation(const QString& handlerName) {
    return QStringLiteral("in Ziravel2021/08/31.Form1.") + handlerName + QLatin1Char(' ');
}
