// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/ToneProgress.h"

#include <QAccessibleWidget>

namespace {

// Qt's own progress bar interface has a number for its value and no words.
class ToneProgressAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit ToneProgressAccessible(ToneProgress* bar)
        : QAccessibleWidget(bar, QAccessible::ProgressBar) {}

    QString text(QAccessible::Text kind) const override {
        return kind == QAccessible::Value ? bar()->valueText() : QAccessibleWidget::text(kind);
    }
    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }
    QVariant currentValue() const override { return bar()->value(); }
    // The user cannot move it.
    void setCurrentValue(const QVariant&) override {}
    QVariant maximumValue() const override { return bar()->maximum(); }
    QVariant minimumValue() const override { return bar()->minimum(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    ToneProgress* bar() const { return static_cast<ToneProgress*>(widget()); }
};

QAccessibleInterface* toneProgressInterface(const QString& className, QObject* object) {
    if (className == QLatin1String(ToneProgress::staticMetaObject.className()))
        return new ToneProgressAccessible(static_cast<ToneProgress*>(object));
    return nullptr;
}

} // namespace

ToneProgress::ToneProgress(QWidget* parent) : QProgressBar(parent) {
    static const bool installed = (QAccessible::installFactory(toneProgressInterface), true);
    Q_UNUSED(installed);
    setTextVisible(false);
}

void ToneProgress::showTone(int tone, int count) {
    // The words first: the value change below is what screen readers announce.
    m_valueText = QStringLiteral("Tone %1 of %2").arg(tone).arg(count);
    setRange(0, count);
    setValue(tone - 1);
}
