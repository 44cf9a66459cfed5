// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/look/WindowPointer.h"

#include "app/window/ToneWindow.h"

#include <QMouseEvent>
#include <QWidget>

WindowPointer::WindowPointer(QWidget* window, const QList<QWidget*>& buttons,
                             const QList<QWidget*>& background)
    : QObject(window), m_window(window), m_buttons(buttons), m_background(background) {
    for (QWidget* widget : m_window->findChildren<QWidget*>())
        if (widget->testAttribute(Qt::WA_SetCursor))
            m_ownCursors.insert(widget, widget->cursor());
    for (QWidget* widget : m_buttons + m_background) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
}

void WindowPointer::setShape(int shape) {
    m_shape = shape;
    // The shape belongs to the whole window: every control shows it, but for the
    // arrow, where each control has its usual pointer again (the I-beam of a field).
    const QList<QWidget*> widgets = m_window->findChildren<QWidget*>() << m_window;
    for (QWidget* widget : widgets) {
        if (shape == PointerShape::busy)
            widget->setCursor(Qt::WaitCursor);
        else if (shape == PointerShape::hand)
            widget->setCursor(m_hand.value_or(QCursor(Qt::ArrowCursor)));
        else if (m_ownCursors.contains(widget))
            widget->setCursor(m_ownCursors.value(widget));
        else
            widget->unsetCursor();
    }
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::MouseMove || m_shape == PointerShape::busy)
        return QObject::eventFilter(watched, event);
    const auto* widget = static_cast<QWidget*>(watched);
    // A move that a control inside passed up to its frame is not a move over the frame.
    const QPoint position = static_cast<QMouseEvent*>(event)->position().toPoint();
    if (widget->childAt(position))
        return QObject::eventFilter(watched, event);
    const int wanted = m_buttons.contains(widget) ? PointerShape::hand : PointerShape::arrow;
    if (wanted != m_shape)
        setShape(wanted);
    return QObject::eventFilter(watched, event);
}
