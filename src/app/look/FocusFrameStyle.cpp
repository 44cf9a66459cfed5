// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/look/FocusFrameStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOption>

namespace {

// As in other programs, the frame shows once the keyboard has moved the focus.
void drawFocusFrame(const QStyleOption* option, QPainter* painter) {
    constexpr QStyle::State keyboardFocus =
        QStyle::State_HasFocus | QStyle::State_KeyboardFocusChange;
    if ((option->state & keyboardFocus) != keyboardFocus)
        return;
    constexpr int width = 2;
    painter->save();
    painter->setPen(QPen(option->palette.color(QPalette::WindowText), width));
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(
        QRectF(option->rect).adjusted(width / 2.0, width / 2.0, -width / 2.0, -width / 2.0));
    painter->restore();
}

} // namespace

FocusFrameStyle::FocusFrameStyle() : QProxyStyle(QApplication::style()->name()) {}

void FocusFrameStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                    QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    // A field inside a spin box draws no frame of its own; the spin box frames both.
    const auto* field = qstyleoption_cast<const QStyleOptionFrame*>(option);
    if (element == PE_PanelLineEdit && field && field->lineWidth > 0)
        drawFocusFrame(option, painter);
}

void FocusFrameStyle::drawControl(ControlElement element, const QStyleOption* option,
                                  QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_PushButton || element == CE_CheckBox)
        drawFocusFrame(option, painter);
}

void FocusFrameStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                         QPainter* painter, const QWidget* widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox || control == CC_SpinBox)
        drawFocusFrame(option, painter);
}
