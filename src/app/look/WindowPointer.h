// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCursor>
#include <QHash>
#include <QList>
#include <QObject>
#include <optional>

class QWidget;

// Made once the window's controls exist. The window-wide pointer: 0 the arrow, 11 the busy pointer,
// 99 the hand image. It turns into the hand over the push buttons and back into the arrow over the
// window's background and frames, except while a run holds the busy pointer.
class WindowPointer : public QObject {
    Q_OBJECT

public:
    WindowPointer(QWidget* window, const QList<QWidget*>& buttons,
                  const QList<QWidget*>& background);

    int shape() const { return m_shape; }
    void setShape(int shape);
    // The image of shape 99; without one the hand shows the arrow.
    void setHandImage(const QCursor& cursor) { m_hand = cursor; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_window;
    QList<QWidget*> m_buttons;
    QList<QWidget*> m_background;
    std::optional<QCursor> m_hand;
    QHash<QWidget*, QCursor> m_ownCursors;
    int m_shape = 0;
};
