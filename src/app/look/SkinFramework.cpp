// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/look/SkinFramework.h"

#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QDir>
#include <QStringDecoder>
#include <QWidget>

namespace {

// Qt reports a style sheet it cannot parse only as a warning while it styles a widget.
bool qtCanParse(const QString& styleSheet) {
    static bool parseFailed = false;
    parseFailed = false;
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext&, const QString& message) {
            if (type == QtWarningMsg && message.startsWith(QLatin1String("Could not parse")))
                parseFailed = true;
        });
    QWidget probe;
    probe.setStyleSheet(styleSheet);
    probe.ensurePolished();
    qInstallMessageHandler(previous);
    return !parseFailed;
}

} // namespace

void setBackgroundColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void SkinFramework::loadSkin(const QString& path, const QString& section) {
    Q_UNUSED(section);
    // Qt's style sheet parser takes seconds and hundreds of megabytes for each megabyte.
    constexpr qint64 largestSkin = 1 << 20;
    const QByteArray bytes = readRegularFile(path, largestSkin);
    QStringDecoder decode(QStringDecoder::Utf8);
    const QString text = decode(bytes);
    if (decode.hasError() || bytes.contains('\0'))
        throw Failure(QStringLiteral("The skin %1 is not a text file.").arg(path));
    if (!qtCanParse(text))
        throw Failure(QStringLiteral("The skin %1 is not a style sheet.").arg(path));
    m_styleSheet = text;
}

void SkinFramework::applyWindow(QWidget& window) const {
    window.setStyleSheet(m_styleSheet);
}

void applySkin(QWidget& window, const QList<QWidget*>& framesAndLabels,
               const QString& programFolder, SkinFramework& skin) {
    const QString path = QDir::toNativeSeparators(programFolder + QStringLiteral("/x/o.cjs"));
    if (!ordinaryFileExists(path))
        return;
    const QColor buttonFace = window.palette().color(QPalette::Button);
    setBackgroundColour(&window, buttonFace);
    for (QWidget* control : framesAndLabels)
        setBackgroundColour(control, buttonFace);
    skin.loadSkin(path, QString());
    skin.applyWindow(window);
}
