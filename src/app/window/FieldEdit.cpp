// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/FieldEdit.h"

#include <QFocusEvent>

void FieldEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    selectAll();
    // The click that brings the focus would place the cursor and drop the selection.
    m_enteredByClick = event->reason() == Qt::MouseFocusReason;
}

void FieldEdit::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    if (m_enteredByClick)
        selectAll();
    m_enteredByClick = false;
}

void FieldEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    m_enteredByClick = false;
    // Switching to another program, or a box popping up over the window, is no leave.
    if (event->reason() == Qt::ActiveWindowFocusReason || event->reason() == Qt::PopupFocusReason)
        return;
    emit left(event->reason());
}
