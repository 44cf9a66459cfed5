// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/look/ProgramIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

// The icon on its 64-unit square.
void paintIcon(QPainter& painter) {
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x1f, 0x4e, 0x79));
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 12, 12);
    // The wave: three cubic arcs, each after the first mirroring the one before at the join.
    QPainterPath wave(QPointF(6, 32));
    wave.cubicTo(12, 8, 18, 8, 24, 32);
    wave.cubicTo(30, 56, 36, 56, 42, 32);
    wave.cubicTo(48, 8, 52, 14, 58, 32);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(QColor(0xff, 0xd1, 0x66), 5, Qt::SolidLine, Qt::RoundCap));
    painter.drawPath(wave);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0xef, 0x47, 0x6f));
    painter.drawEllipse(QPointF(46, 46), 6, 6);
    painter.setBrush(QColor(0x06, 0xd6, 0xa0));
    painter.drawEllipse(QPointF(20, 48), 4, 4);
}

} // namespace

QIcon programIcon() {
    QIcon icon;
    for (const int size : {16, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 64.0, size / 64.0);
        paintIcon(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}
