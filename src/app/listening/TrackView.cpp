// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/listening/TrackView.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

TrackView::TrackView(QWidget* parent) : QWidget(parent) {
    setAccessibleName(QStringLiteral("Track"));
}

void TrackView::setTrack(const QList<ForcedChoiceSession::TrackPoint>& track,
                         std::optional<double> threshold, bool logScale) {
    m_track = track;
    m_threshold = threshold;
    m_logScale = logScale;
    update();
}

QSize TrackView::sizeHint() const {
    return {fontMetrics().averageCharWidth() * 60, fontMetrics().height() * 10};
}

void TrackView::paintEvent(QPaintEvent*) {
    if (m_track.isEmpty())
        return;
    const auto scaled = [this](double value) {
        return m_logScale ? std::log(std::max(value, 1e-9)) : value;
    };
    double low = scaled(m_track.first().value);
    double high = low;
    for (const ForcedChoiceSession::TrackPoint& point : m_track) {
        low = std::min(low, scaled(point.value));
        high = std::max(high, scaled(point.value));
    }
    if (high - low < 1e-9)
        high = low + 1;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const int margin = fontMetrics().height();
    const QRectF plot = QRectF(rect()).adjusted(margin, margin / 2.0, -margin / 2.0, -margin);
    const auto at = [&](qsizetype trial, double value) {
        const double x = m_track.size() > 1 ? double(trial) / double(m_track.size() - 1) : 0.5;
        return QPointF(plot.left() + x * plot.width(),
                       plot.bottom() - (scaled(value) - low) / (high - low) * plot.height());
    };
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(plot);
    if (m_threshold) {
        painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        const double y = at(0, *m_threshold).y();
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
    }
    painter.setPen(palette().color(QPalette::WindowText));
    for (qsizetype trial = 1; trial < m_track.size(); ++trial)
        painter.drawLine(at(trial - 1, m_track[trial - 1].value), at(trial, m_track[trial].value));
    const double radius = margin / 4.0;
    for (qsizetype trial = 0; trial < m_track.size(); ++trial) {
        const ForcedChoiceSession::TrackPoint& point = m_track[trial];
        const QPointF centre = at(trial, point.value);
        painter.setBrush(point.correct ? palette().color(QPalette::WindowText) : Qt::transparent);
        painter.drawEllipse(centre, radius, radius);
        if (point.reversal) {
            painter.setBrush(Qt::NoBrush);
            painter.drawEllipse(centre, radius * 2, radius * 2);
        }
    }
}
