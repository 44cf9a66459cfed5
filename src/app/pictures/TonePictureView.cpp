// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/pictures/TonePictureView.h"

#include "set/AnswerKey.h"
#include "tone/NumberText.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace {

// The spectrum shows this far below its strongest bin.
constexpr double spectrumFloorDb = -80;
constexpr double lowestShownHz = 20;

// The samples as a line across the rectangle, -1 at its bottom and 1 at its top.
QPainterPath waveLine(const std::vector<float>& samples, const QRectF& area) {
    QPainterPath line;
    const double last = std::max<double>(1, double(samples.size()) - 1);
    for (std::size_t at = 0; at < samples.size(); ++at) {
        const QPointF point(area.left() + area.width() * double(at) / last,
                            area.center().y() - area.height() / 2 * double(samples[at]));
        if (at == 0)
            line.moveTo(point);
        else
            line.lineTo(point);
    }
    return line;
}

} // namespace

TonePictureView::TonePictureView(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Tone picture"));
    setAccessibleDescription(QStringLiteral("No tone shown yet."));
}

QSize TonePictureView::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 9};
}

std::optional<double> TonePictureView::markedPitch() const {
    return m_picture && m_pitched ? m_picture->pitchHz : std::nullopt;
}

QString TonePictureView::markText() const {
    const std::optional<double> pitch = markedPitch();
    return pitch ? pitchText(*pitch) : QString();
}

void TonePictureView::showPicture(const std::optional<TonePicture>& picture,
                                  const QString& fileName, bool pitched) {
    m_picture = picture;
    m_pitched = pitched;
    if (fileName.isEmpty()) {
        setAccessibleDescription(QStringLiteral("No tone shown."));
    } else if (!picture) {
        setAccessibleDescription(QStringLiteral("No picture of %1: it is no WAV file that can be "
                                                "read.")
                                     .arg(fileName));
    } else {
        QString text = QStringLiteral("%1: %2 s at %3 Hz.")
                           .arg(fileName, decimalText(std::round(picture->seconds * 1000) / 1000))
                           .arg(picture->sampleRate);
        if (const QString mark = markText(); !mark.isEmpty())
            text += QStringLiteral(" Strongest at %1.").arg(mark);
        setAccessibleDescription(text);
    }
    update();
}

void TonePictureView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette& colours = palette();
    painter.fillRect(rect(), colours.base());
    const QRectF whole = QRectF(rect()).adjusted(4, 4, -4, -4);
    painter.setPen(colours.text().color());
    if (!m_picture) {
        painter.drawText(whole, Qt::AlignCenter, QStringLiteral("No picture"));
        return;
    }
    const int lineHeight = fontMetrics().height();
    const QRectF left(whole.left(), whole.top(), whole.width() * 0.45, whole.height());
    const QRectF right(left.right() + 8, whole.top(), whole.right() - left.right() - 8,
                       whole.height());
    // Left: the periods above, the envelope below, each under its caption.
    const QRectF periods(left.left(), left.top() + lineHeight, left.width(),
                         left.height() / 2 - lineHeight - 2);
    const QRectF envelope(left.left(), left.center().y() + lineHeight, left.width(),
                          left.height() / 2 - lineHeight);
    painter.drawText(QRectF(left.left(), left.top(), left.width(), lineHeight), Qt::AlignLeft,
                     QStringLiteral("Waveform"));
    painter.drawText(QRectF(left.left(), left.center().y(), left.width(), lineHeight),
                     Qt::AlignLeft,
                     QStringLiteral("Envelope, %1 s")
                         .arg(decimalText(std::round(m_picture->seconds * 1000) / 1000)));
    painter.setPen(QPen(colours.mid().color(), 1));
    for (const QRectF& frame : {periods, envelope, right.adjusted(0, lineHeight, 0, 0)})
        painter.drawRect(frame);
    painter.setPen(QPen(colours.text().color(), 1.5));
    painter.drawPath(waveLine(m_picture->periods, periods));
    QPainterPath hull =
        waveLine(m_picture->envelope, envelope.adjusted(0, 0, 0, envelope.height()));
    hull.lineTo(envelope.bottomRight());
    hull.lineTo(envelope.bottomLeft());
    hull.closeSubpath();
    painter.fillPath(hull, colours.highlight());

    // Right: the spectrum in dB, the pitch marked.
    const QRectF spectrum = right.adjusted(0, lineHeight, 0, 0);
    const std::vector<float>& db = m_picture->spectrumDb;
    // Pitch as the ear hears it: octaves equally wide, from the lowest audible one up.
    const double topHz = double(m_picture->sampleRate) / 2;
    const auto xOf = [&](double hertz) {
        return spectrum.left() + spectrum.width() *
                                     std::log(std::max(hertz, lowestShownHz) / lowestShownHz) /
                                     std::log(topHz / lowestShownHz);
    };
    QPainterPath curve;
    for (std::size_t k = std::size_t(lowestShownHz / m_picture->binHz); k < db.size(); ++k) {
        const double level = std::max(spectrumFloorDb, double(db[k]));
        const QPointF point(xOf(double(k) * m_picture->binHz),
                            spectrum.top() + spectrum.height() * level / spectrumFloorDb);
        if (curve.elementCount() == 0)
            curve.moveTo(point);
        else
            curve.lineTo(point);
    }
    painter.drawPath(curve);
    QString caption =
        QStringLiteral("Spectrum, %1 to %2 Hz").arg(decimalText(lowestShownHz), decimalText(topHz));
    if (const std::optional<double> pitch = markedPitch()) {
        const double x = xOf(*pitch);
        painter.setPen(QPen(colours.highlight().color(), 2, Qt::DashLine));
        painter.drawLine(QPointF(x, spectrum.top()), QPointF(x, spectrum.bottom()));
        // Named for what it is: a complex's strongest harmonic is not the fundamental the set
        // list gives.
        caption += QStringLiteral(": strongest at ") + markText();
    }
    painter.setPen(colours.text().color());
    painter.drawText(QRectF(right.left(), right.top(), right.width(), lineHeight), Qt::AlignLeft,
                     caption);
}
