// SPDX-License-Identifier: GPL-3.0-or-later
#include "WindowFixture.h"
#include "app/window/Modals.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <functional>

namespace {

// Relative luminance and contrast ratio as the web's accessibility guidelines define them.
double luminance(QRgb colour) {
    const auto channel = [](int value) {
        const double c = value / 255.0;
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(colour)) + 0.7152 * channel(qGreen(colour)) +
           0.0722 * channel(qBlue(colour));
}

double contrast(QRgb a, QRgb b) {
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QImage shot(QWidget* window) {
    return window->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pictures go to the folder ZIRAVEL_SHOTS names, for people to look at.
void keepShot(const QImage& image, const QString& name) {
    const QString folder = qEnvironmentVariable("ZIRAVEL_SHOTS");
    if (!folder.isEmpty())
        image.save(QDir(folder).filePath(name + QStringLiteral(".png")));
}

QString describe(const QWidget* widget) {
    QString text = widget->property("text").toString();
    if (text.isEmpty())
        text = widget->property("title").toString();
    if (text.isEmpty())
        text = widget->property("currentText").toString();
    return QStringLiteral("%1 \"%2\"")
        .arg(QLatin1String(widget->metaObject()->className()), text.left(30));
}

// The part of the window a widget paints itself: its rectangle less its visible children.
QRegion ownArea(const QWidget* widget, const QWidget* window) {
    QRegion area(QRect(widget->mapTo(window, QPoint(0, 0)), widget->size()));
    for (const QWidget* child : widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child->isVisible() && !child->isWindow())
            area -= QRect(child->mapTo(window, QPoint(0, 0)), child->size());
    return area;
}

struct TextContrast {
    QString widget;
    double ratio;
};

// A rule that draws every text of the program transparent. It names every class in use,
// and the parts of them a skin may colour, so that it is as specific as the skin's rules
// and, coming after them, wins.
QString transparentTexts() {
    QSet<QString> classes;
    for (const QWidget* widget : QApplication::allWidgets())
        for (const QMetaObject* type = widget->metaObject(); type; type = type->superClass())
            classes.insert(QLatin1String(type->className()));
    QStringList selectors;
    for (const QString& name : classes)
        for (const char* part : {"", "::item", "::section", "::title"})
            selectors << name + QLatin1String(part);
    return selectors.join(QStringLiteral(", ")) +
           QStringLiteral(" { color: transparent; selection-color: transparent; }");
}

// For every enabled widget of the window that draws text: the strongest contrast between
// one of its text pixels and the background under it. The text pixels are those that
// change when the window is drawn again with every text colour transparent. The skin is
// the sheet of `skinned`, the main window, whose boxes and lists take it from there.
QList<TextContrast> textContrasts(QWidget* window, QWidget* skinned, const QString& shotName) {
    keepShot(shot(window), shotName);
    const QString skin = skinned->styleSheet();
    const auto restyle = [&](bool withTexts) {
        skinned->setStyleSheet(withTexts ? skin : skin + QLatin1Char('\n') + transparentTexts());
    };
    // Restyled, a window can come out in the default font and lay itself out again; one
    // round first lets it settle, so that both pictures show the same layout.
    restyle(false);
    restyle(true);
    const QImage asShown = shot(window);
    restyle(false);
    const QImage withoutText = shot(window);
    restyle(true);
    if (asShown.size() != withoutText.size())
        return {{QStringLiteral("the window changing its size"), 0}};

    QList<QWidget*> widgets = window->findChildren<QWidget*>();
    widgets.prepend(window);

    QList<TextContrast> found;
    for (QWidget* widget : widgets) {
        if (!widget->isVisible() || !widget->isEnabled())
            continue;
        // Texts on different backgrounds, such as a list's chosen row and the others,
        // are judged apart: per background, the text pixel that stands out most.
        struct OnBackground {
            int pixels = 0;
            double strongest = 0;
        };
        QHash<QRgb, OnBackground> texts;
        for (const QRect& rect : ownArea(widget, window))
            for (int y = rect.top(); y <= rect.bottom(); ++y)
                for (int x = rect.left(); x <= rect.right(); ++x) {
                    const QRgb text = asShown.pixel(x, y);
                    const QRgb background = withoutText.pixel(x, y);
                    if (text == background)
                        continue;
                    OnBackground& on = texts[background];
                    ++on.pixels;
                    on.strongest = std::max(on.strongest, contrast(text, background));
                }
        // A few pixels on a background of their own are the edges of shaded corners.
        constexpr int fewestTextPixels = 12;
        for (auto on = texts.cbegin(); on != texts.cend(); ++on)
            if (on->pixels >= fewestTextPixels)
                found.append(
                    {QStringLiteral("%1 on %2").arg(describe(widget), QColor(on.key()).name()),
                     on->strongest});
    }
    return found;
}

// Checks every text of the window, naming each one that is too faint.
void checkTextContrast(QWidget* window, QWidget* skinned, const QString& shotName,
                       int textsAtLeast) {
    const QList<TextContrast> texts = textContrasts(window, skinned, shotName);
    QStringList faint;
    for (const TextContrast& text : texts)
        if (text.ratio < 4.5)
            faint << QStringLiteral("%1 %2:1").arg(text.widget).arg(text.ratio, 0, 'f', 2);
    QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
    QVERIFY2(texts.size() >= textsAtLeast, qPrintable(QString::number(texts.size())));
}

QRgb mostCommonColour(const QImage& image, const QRegion& area) {
    QHash<QRgb, int> counts;
    for (const QRect& rect : area)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x)
                ++counts[image.pixel(x, y)];
    return std::max_element(counts.cbegin(), counts.cend()).key();
}

// The labels of a box sit on the box's own background, not on patches of their own.
void checkLabelsHaveNoPatches(QWidget* box) {
    const QImage image = shot(box);
    const QString boxBackground = QColor(mostCommonColour(image, ownArea(box, box))).name();
    QStringList patches;
    for (const QLabel* label : box->findChildren<QLabel*>()) {
        // The box's icon is a picture, not a patch.
        if (!label->pixmap().isNull())
            continue;
        const QRect area(label->mapTo(box, QPoint(0, 0)), label->size());
        const QString background = QColor(mostCommonColour(image, area)).name();
        if (label->isVisible() && background != boxBackground)
            patches << QStringLiteral("%1 on %2").arg(describe(label), background);
    }
    QVERIFY2(patches.isEmpty(),
             qPrintable(boxBackground + QStringLiteral(": ") + patches.join(QStringLiteral(", "))));
}

// The window has no edges darker than the darkest colour of the skin, as the black one
// the drop-down's arrow once had.
void checkNoBlackEdges(QWidget* window) {
    const QImage image = shot(window);
    const double darkest = luminance(QColor(QStringLiteral("#1d222c")).rgb());
    QList<QPoint> black;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (luminance(image.pixel(x, y)) < darkest * 0.9)
                black << QPoint(x, y);
    QVERIFY2(black.isEmpty(), qPrintable(QStringLiteral("%1 pixels, the first at %2, %3")
                                             .arg(black.size())
                                             .arg(black.value(0).x())
                                             .arg(black.value(0).y())));
}

// Runs `inBox` on the next modal window once it is shown, then closes it.
void whenModalShown(const std::function<void(QWidget*)>& inBox) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, inBox] {
        QWidget* box = QApplication::activeModalWidget();
        if (!box || !box->isVisible())
            return;
        poll->stop();
        poll->deleteLater();
        inBox(box);
        box->close();
    });
    poll->start(20);
}

// The strongest change in the ring of pixels along the edge of a control when it takes
// the focus: a focus frame must stand out from what was there before.
struct FocusFrame {
    int strongPixels;
    int ringPixels;
};

FocusFrame focusFrame(QWidget* window, QWidget* control, QWidget* elsewhere) {
    // Frames show once the keyboard has moved the focus, as Tab does.
    window->setAttribute(Qt::WA_KeyboardFocusChange);
    elsewhere->setFocus();
    const QImage before = shot(window);
    control->setFocus();
    const QImage focused = shot(window);
    keepShot(focused, QStringLiteral("focus-") + control->objectName());
    const QRect outer(control->mapTo(window, QPoint(0, 0)), control->size());
    // The text cursor and the selection inside a field are no frame.
    const QRegion ring = QRegion(outer) - QRegion(outer.adjusted(2, 2, -2, -2));
    FocusFrame frame{0, 0};
    for (const QRect& rect : ring)
        for (int y = rect.top(); y <= rect.bottom(); ++y)
            for (int x = rect.left(); x <= rect.right(); ++x) {
                ++frame.ringPixels;
                if (contrast(before.pixel(x, y), focused.pixel(x, y)) >= 3)
                    ++frame.strongPixels;
            }
    return frame;
}

} // namespace

class TestContrast : public QObject {
    Q_OBJECT

private slots:
    void init();
    void exampleSkinIsReadable_data();
    void exampleSkinIsReadable();
    void focusFrameStandsOut_data();
    void focusFrameStandsOut();

private:
    // A window as the program shows it, with the example skin beside it when asked.
    std::unique_ptr<WindowFixture> showWindow(bool skinned);

    QTemporaryDir m_program;
};

void TestContrast::init() {
    QFile::remove(m_program.filePath(QStringLiteral("x/o.cjs")));
}

std::unique_ptr<WindowFixture> TestContrast::showWindow(bool skinned) {
    if (skinned) {
        QDir(m_program.path()).mkpath(QStringLiteral("x"));
        QFile::copy(QStringLiteral(ZIRAVEL_EXAMPLE_SKIN),
                    m_program.filePath(QStringLiteral("x/o.cjs")));
    }
    auto fixture = std::make_unique<WindowFixture>(m_program.path());
    if (!fixture->loadAndShow() || !QTest::qWaitForWindowActive(fixture->window.get()))
        return nullptr;
    if (skinned && fixture->window->styleSheet().isEmpty())
        return nullptr;
    return fixture;
}

void TestContrast::exampleSkinIsReadable_data() {
    QTest::addColumn<QString>("surface");
    QTest::addColumn<int>("textsAtLeast");
    QTest::newRow("main window") << "main window" << 16;
    QTest::newRow("more options") << "more options" << 20;
    QTest::newRow("open drop-down") << "open drop-down" << 1;
    QTest::newRow("notice") << "notice" << 2;
    QTest::newRow("error report") << "error report" << 2;
    QTest::newRow("folder dialog") << "folder dialog" << 6;
}

void TestContrast::exampleSkinIsReadable() {
    QFETCH(QString, surface);
    QFETCH(int, textsAtLeast);
    const std::unique_ptr<WindowFixture> fixture = showWindow(true);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    QtModals boxes(&w);
    const QString shotName = QStringLiteral("skin-") + QString(surface).replace(' ', '-');
    const auto checkBox = [&](QWidget* box) {
        checkTextContrast(box, &w, shotName, textsAtLeast);
        checkLabelsHaveNoPatches(box);
    };
    if (surface == QLatin1String("main window")) {
        w.showProgress(2, 5);
        w.setBusy(true);
        checkTextContrast(&w, &w, shotName, textsAtLeast);
        checkNoBlackEdges(&w);
        w.setBusy(false);
    } else if (surface == QLatin1String("more options")) {
        w.moreOptions->click();
        QTRY_VERIFY(w.height() >= w.centralWidget()->height());
        checkTextContrast(&w, &w, shotName, textsAtLeast);
        checkNoBlackEdges(&w);
    } else if (surface == QLatin1String("open drop-down")) {
        w.waveformList->showPopup();
        QWidget* list = w.waveformList->view()->window();
        QVERIFY(QTest::qWaitForWindowExposed(list));
        checkTextContrast(list, &w, shotName, textsAtLeast);
        w.waveformList->hidePopup();
    } else if (surface == QLatin1String("notice")) {
        whenModalShown(checkBox);
        boxes.showNotice(QStringLiteral("Done.\r\n2 of 3 tones could not be made."));
    } else if (surface == QLatin1String("error report")) {
        whenModalShown(checkBox);
        boxes.reportError(QStringLiteral("Overflow"),
                          handlerLocation(QStringLiteral("PushButton1_Click")), 120);
    } else {
        QTemporaryDir start;
        for (const char* name : {"alto", "bass", "tenor"})
            QDir(start.path()).mkdir(QLatin1String(name));
        whenModalShown([&](QWidget* dialog) {
            // The folder list fills in from another thread.
            auto* files = dialog->findChild<QAbstractItemView*>(QStringLiteral("listView"));
            QTRY_VERIFY(files && files->model()->rowCount(files->rootIndex()) == 3);
            checkBox(dialog);
        });
        boxes.chooseFolder(&w, QStringLiteral("Please select folder:"), start.path());
    }
}

void TestContrast::focusFrameStandsOut_data() {
    QTest::addColumn<bool>("skinned");
    QTest::newRow("plain look") << false;
    QTest::newRow("example skin") << true;
}

void TestContrast::focusFrameStandsOut() {
    QFETCH(bool, skinned);
    const std::unique_ptr<WindowFixture> fixture = showWindow(skinned);
    QVERIFY(fixture);
    Form1& w = *fixture->window;
    w.moreOptions->click();
    QTRY_VERIFY(w.height() >= w.centralWidget()->height());
    // Every control the keyboard reaches, the options' too.
    QStringList faint;
    int controls = 0;
    for (QWidget* control : w.findChildren<QWidget*>()) {
        // A disabled control (a preset button with nothing to act on) takes no focus.
        if (!(control->focusPolicy() & Qt::TabFocus) || !control->isVisible() ||
            !control->isEnabled() || control->focusProxy())
            continue;
        ++controls;
        const QString name =
            control->accessibleName().isEmpty() ? describe(control) : control->accessibleName();
        control->setObjectName(QString(name).replace(QRegularExpression("\\W+"), "-") +
                               QLatin1String(skinned ? "-skin" : "-plain"));
        QWidget* elsewhere = control == w.countField ? w.lengthField : w.countField;
        const FocusFrame frame = focusFrame(&w, control, elsewhere);
        // At least a whole line along two sides of the control.
        if (frame.strongPixels < control->width() + control->height())
            faint << QStringLiteral("%1 %2 of %3")
                         .arg(name)
                         .arg(frame.strongPixels)
                         .arg(frame.ringPixels);
    }
    QVERIFY2(faint.isEmpty(), qPrintable(faint.join(QStringLiteral(", "))));
    QVERIFY(controls >= 19);
}

QTEST_MAIN(TestContrast)
#include "tst_contrast.moc"
