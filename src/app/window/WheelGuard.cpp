// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/WheelGuard.h"

#include <QAbstractSpinBox>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace {

class WheelFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        // Not taken here: the wheel goes on to the widgets that hold it.
        event->ignore();
        return true;
    }
};

} // namespace

void guardWheel(QWidget* root) {
    auto* filter = new WheelFilter(root);
    QList<QWidget*> controls;
    for (QComboBox* list : root->findChildren<QComboBox*>())
        controls << list;
    for (QAbstractSpinBox* number : root->findChildren<QAbstractSpinBox*>())
        controls << number;
    for (QWidget* control : controls) {
        control->setFocusPolicy(Qt::StrongFocus);
        control->installEventFilter(filter);
    }
}
