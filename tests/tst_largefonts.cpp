// SPDX-License-Identifier: GPL-3.0-or-later
// The window at the font resolution QT_FONT_DPI gives, on a 1280-pixel-wide screen: run once for
// each resolution (96, 144, 192).
#include "WindowFixture.h"
#include "app/options/OptionsPanel.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>

class TestLargeFonts : public QObject {
    Q_OBJECT

private slots:
    void designedGeometryAt96Dpi();
    void everyControlReachable();
    void noCaptionCut();
    void noBarWhereTheWindowFits();
    void grownWindowStaysOnScreen();
};

namespace {

int fontDpi() {
    return qEnvironmentVariableIntValue("QT_FONT_DPI");
}

std::unique_ptr<WindowFixture> shownWindow(bool optionsOpen) {
    auto fixture = std::make_unique<WindowFixture>();
    if (!fixture->loadAndShow())
        return nullptr;
    if (optionsOpen)
        fixture->window->moreOptions->click();
    return fixture;
}

} // namespace

// At the standard resolution nothing moves: the layout as designed, in twips / 15.
void TestLargeFonts::designedGeometryAt96Dpi() {
    if (fontDpi() != 96)
        QSKIP("for 96 dots per inch");
    const std::unique_ptr<WindowFixture> fixture = shownWindow(false);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    QVERIFY(!qobject_cast<QScrollArea*>(w.centralWidget()));
    QCOMPARE(w.centralWidget()->size(), QSize(536, 467));
    QCOMPARE(w.frame1->geometry(), QRect(8, 8, 520, 55));
    QCOMPARE(w.fromField->geometry(), QRect(56, 20, 129, 23));
    QCOMPARE(w.pushButton2->geometry(), QRect(8, 376, 520, 27));
    QCOMPARE(w.moreOptions->geometry(), QRect(8, 436, 120, 23));
}

// The window fits on the screen, and each control the keyboard reaches is in sight once it
// has the focus, scrolled there when the window holds more than the screen.
void TestLargeFonts::everyControlReachable() {
    const std::unique_ptr<WindowFixture> fixture = shownWindow(true);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    // Qt scales the whole window by the font resolution: the screen holds fewer pixels of it.
    QCOMPARE(qRound(w.screen()->size().width() * w.screen()->devicePixelRatio()), 1280);
    QVERIFY2(w.screen()->availableGeometry().contains(w.frameGeometry()),
             qPrintable(QStringLiteral("%1x%2").arg(w.width()).arg(w.height())));
    // In the screen's own pixels too: a fractional scale rounds the screen's size.
    const qreal ratio = w.screen()->devicePixelRatio();
    QVERIFY(std::ceil((w.frameGeometry().bottom() + 1) * ratio) <=
            std::floor(w.screen()->availableGeometry().height() * ratio));
    // What shows of the window's content: the scroller's view when it scrolls.
    auto* scroller = qobject_cast<QScrollArea*>(w.centralWidget());
    QWidget* view = scroller ? scroller->viewport() : w.centralWidget();
    const QRect visible(view->mapTo(&w, QPoint(0, 0)), view->size());
    int reached = 0;
    for (QWidget* control : w.findChildren<QWidget*>()) {
        if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisible() ||
            !control->isEnabled() || control->focusProxy() ||
            !w.centralWidget()->isAncestorOf(control))
            continue;
        control->setFocus(Qt::TabFocusReason);
        QTRY_VERIFY(control->hasFocus());
        const QRect shown(control->mapTo(&w, QPoint(0, 0)), control->size());
        QVERIFY2(visible.contains(shown),
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 outside %6,%7 %8x%9")
                                .arg(control->accessibleName())
                                .arg(shown.x())
                                .arg(shown.y())
                                .arg(shown.width())
                                .arg(shown.height())
                                .arg(visible.x())
                                .arg(visible.y())
                                .arg(visible.width())
                                .arg(visible.height())));
        ++reached;
    }
    QVERIFY2(reached >= 20, qPrintable(QString::number(reached)));
}

// Each caption fits its control: the ink of its text, in the control's own font.
void TestLargeFonts::noCaptionCut() {
    const std::unique_ptr<WindowFixture> fixture = shownWindow(true);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    QStringList cut;
    const auto check = [&cut](QWidget* control, const QString& text, int room) {
        const int needed =
            control->fontMetrics().tightBoundingRect(QString(text).remove('&')).right() + 1;
        if (needed > room)
            cut << QStringLiteral("\"%1\" %2 > %3").arg(text).arg(needed).arg(room);
    };
    for (QLabel* label : w.findChildren<QLabel*>())
        if (label->isVisible() && !label->text().isEmpty())
            check(label, label->text(), label->contentsRect().width());
    for (QPushButton* button : w.findChildren<QPushButton*>())
        if (button->isVisible())
            check(button, button->text(), button->width() - 4);
    for (QCheckBox* box : w.findChildren<QCheckBox*>())
        if (box->isVisible())
            check(box, box->text() + QStringLiteral("MM"), box->width());
    for (QGroupBox* frame : w.findChildren<QGroupBox*>())
        check(frame, frame->title(), frame->width() - 8);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
}

// With More options closed the window scrolls only when the screen cannot hold it.
void TestLargeFonts::noBarWhereTheWindowFits() {
    const std::unique_ptr<WindowFixture> fixture = shownWindow(false);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    const QSize frame = w.frameGeometry().size() - w.geometry().size();
    const bool fits = QSize(536, 467).boundedTo(w.screen()->availableGeometry().size() - frame) ==
                      QSize(536, 467);
    const auto* scroller = qobject_cast<QScrollArea*>(w.centralWidget());
    QCOMPARE(scroller && scroller->verticalScrollBar()->isVisible(), !fits);
}

// A window low on the screen that grows (here by More options; after a batch by the set's list)
// moves up rather than past the screen's bottom.
void TestLargeFonts::grownWindowStaysOnScreen() {
    const std::unique_ptr<WindowFixture> fixture = shownWindow(false);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    const QRect room = w.screen()->availableGeometry();
    w.move(room.left() + 10, std::max(room.top(), room.bottom() - w.frameGeometry().height() - 5));
    QTRY_VERIFY(room.contains(w.frameGeometry()));
    w.moreOptions->click();
    QTRY_VERIFY2(room.contains(w.frameGeometry()),
                 qPrintable(QStringLiteral("%1,%2 %3x%4")
                                .arg(w.frameGeometry().x())
                                .arg(w.frameGeometry().y())
                                .arg(w.frameGeometry().width())
                                .arg(w.frameGeometry().height())));
}

QTEST_MAIN(TestLargeFonts)
#include "tst_largefonts.moc"
