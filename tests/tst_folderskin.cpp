// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "WindowFixture.h"
#include "app/look/CursorFile.h"
#include "app/window/ToneWindow.h"

#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QtEndian>

using TestSupport::writeFile;

namespace {

// A 16 x 16 Windows cursor file, solid colour, with the given hotspot.
QByteArray cursorFileBytes(int hotX, int hotY) {
    constexpr int size = 16;
    QByteArray image;
    auto put32 = [&image](quint32 v) { image.append(reinterpret_cast<const char*>(&v), 4); };
    auto put16 = [&image](quint16 v) { image.append(reinterpret_cast<const char*>(&v), 2); };
    put32(40);       // header size
    put32(size);     // width
    put32(size * 2); // height: picture and mask
    put16(1);        // planes
    put16(32);       // bits per pixel
    put32(0);        // no compression
    put32(0);        // image size
    put32(0);
    put32(0);
    put32(0);
    put32(0);
    for (int i = 0; i < size * size; ++i)
        put32(qToLittleEndian(0xFF2060C0u));
    image.append(QByteArray(size * 4, '\0')); // the mask: all shown

    QByteArray file;
    auto fput16 = [&file](quint16 v) { file.append(reinterpret_cast<const char*>(&v), 2); };
    auto fput32 = [&file](quint32 v) { file.append(reinterpret_cast<const char*>(&v), 4); };
    fput16(0);
    fput16(2); // cursor
    fput16(1);
    file.append(char(size));
    file.append(char(size));
    file.append('\0');
    file.append('\0');
    fput16(quint16(hotX));
    fput16(quint16(hotY));
    fput32(quint32(image.size()));
    fput32(6 + 16);
    return file + image;
}

QColor backgroundOf(const QWidget* widget) {
    return widget->palette().color(QPalette::Window);
}

} // namespace

class TestFolderSkin : public QObject {
    Q_OBJECT

private slots:
    void cancelChangesNothing();
    void chosenFolder_data();
    void chosenFolder();
    void typedFolderLeavesDialogStart();
    void withoutSkinNothingChanges_data();
    void withoutSkinNothingChanges();
    void validSkinIsApplied();
    void brokenSkin_data();
    void brokenSkin();
    void cursorFileHotspot();
    void brokenCursorFileIsReported();
    void pointerFollowsMouse();
    void busyPointerWins();
    void handWithoutCursorFileShowsArrow();
};

void TestFolderSkin::cancelChangesNothing() {
    WindowFixture fixture;
    fixture.window->formLoad();
    const QString before = fixture.window->folderField->text();
    fixture.window->chooseFolderButton->click();
    QCOMPARE(fixture.modals.folderPrompts, QStringList{"Please select folder:"});
    QCOMPARE(fixture.modals.folderStarts, QStringList{QString()});
    QCOMPARE(fixture.window->folderField->text(), before);
    QCOMPARE(fixture.stored("LastFolderDot"), QStringLiteral("<missing>"));
    QVERIFY(fixture.modals.reports.isEmpty());
}

void TestFolderSkin::chosenFolder_data() {
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("folderText");
    QTest::newRow("folder") << "/music"
                            << "/music/";
    QTest::newRow("folder with blank") << "/my music"
                                       << "/my music/";
    QTest::newRow("root keeps its own separator") << "/"
                                                  << "/";
}

void TestFolderSkin::chosenFolder() {
    QFETCH(QString, chosen);
    QFETCH(QString, folderText);
    WindowFixture fixture;
    fixture.window->formLoad();
    fixture.modals.folderAnswer = chosen;
    for (int click = 0; click < 2; ++click) {
        fixture.window->chooseFolderButton->click();
        QCOMPARE(fixture.window->folderField->text(), folderText);
        QCOMPARE(fixture.stored("Text5"), folderText);
        QCOMPARE(fixture.stored("LastFolderDot"), chosen);
    }
    QCOMPARE(fixture.modals.folderStarts, (QStringList{QString(), chosen}));
}

void TestFolderSkin::typedFolderLeavesDialogStart() {
    WindowFixture fixture;
    fixture.window->formLoad();
    fixture.modals.folderAnswer = QStringLiteral("/chosen");
    fixture.window->chooseFolderButton->click();
    fixture.modals.folderAnswer.clear();
    fixture.window->folderField->setText(fixture.folder());
    fixture.window->chooseFolderButton->click();
    QCOMPARE(fixture.modals.folderStarts.last(), QStringLiteral("/chosen"));
    QCOMPARE(fixture.window->folderField->text(), fixture.folder());
}

void TestFolderSkin::withoutSkinNothingChanges_data() {
    QTest::addColumn<bool>("folderNamedLikeSkin");
    QTest::newRow("no skin") << false;
    QTest::newRow("a folder named o.cjs") << true;
}

void TestFolderSkin::withoutSkinNothingChanges() {
    QFETCH(bool, folderNamedLikeSkin);
    QTemporaryDir program;
    if (folderNamedLikeSkin)
        QDir(program.path()).mkpath(QStringLiteral("x/o.cjs"));
    WindowFixture fixture(program.path());
    fixture.window->formLoad();
    QVERIFY(fixture.modals.reports.isEmpty());
    QCOMPARE(backgroundOf(fixture.window.get()), QColor(Qt::white));
    QCOMPARE(backgroundOf(fixture.window->frame5), QColor(Qt::white));
    QCOMPARE(backgroundOf(fixture.window->label4), QColor(Qt::white));
    QVERIFY(fixture.window->styleSheet().isEmpty());
}

void TestFolderSkin::validSkinIsApplied() {
    QTemporaryDir program;
    const QByteArray sheet = "QPushButton { color: #204080; }";
    writeFile(program.filePath(QStringLiteral("x/o.cjs")), sheet);
    WindowFixture fixture(program.path());
    QVERIFY(fixture.loadAndShow());
    QVERIFY(fixture.modals.reports.isEmpty());
    QCOMPARE(fixture.window->styleSheet(), QString::fromLatin1(sheet));
    const QColor buttonFace = fixture.window->palette().color(QPalette::Button);
    QCOMPARE(backgroundOf(fixture.window->frame1), buttonFace);
    QCOMPARE(backgroundOf(fixture.window->label1), buttonFace);
    QCOMPARE(fixture.window->pushButton1->palette().color(QPalette::ButtonText), QColor("#204080"));
}

void TestFolderSkin::brokenSkin_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("not a style sheet") << QByteArray("QPushButton { color: red; ");
    QTest::newRow("not text") << QByteArray("\x7f"
                                            "ELF\0\0\x01\x02",
                                            8);
    QTest::newRow("invalid UTF-8") << QByteArray("QLabel { color: \xff\xfe; }");
}

void TestFolderSkin::brokenSkin() {
    QFETCH(QByteArray, content);
    QTemporaryDir program;
    writeFile(program.filePath(QStringLiteral("x/o.cjs")), content);
    WindowFixture fixture(program.path());
    fixture.window->formLoad();
    QCOMPARE(fixture.modals.reportLines(), QList<int>{100});
    QCOMPARE(fixture.modals.reports[0].location,
             QStringLiteral("in Ziravel2021/08/31.Form1.Form_Load "));
    // The colours set before the failure stay; the start-up goes on.
    QCOMPARE(backgroundOf(fixture.window->frame2),
             fixture.window->palette().color(QPalette::Button));
    QVERIFY(fixture.window->styleSheet().isEmpty());
    QCOMPARE(fixture.window->windowTitle(), QStringLiteral("Ziravel"));
    QCOMPARE(fixture.window->countField->text(), QStringLiteral("3"));
}

void TestFolderSkin::cursorFileHotspot() {
    QTemporaryDir program;
    writeFile(program.filePath(QStringLiteral("HAND-M.CUR")), cursorFileBytes(5, 3));
    QCOMPARE(cursorHotspot(cursorFileBytes(5, 3)), QPoint(5, 3));
    WindowFixture fixture(program.path());
    fixture.window->formLoad();
    QVERIFY(fixture.modals.reports.isEmpty());
    fixture.window->setPointerShape(PointerShape::hand);
    const QCursor hand = fixture.window->pushButton2->cursor();
    QCOMPARE(hand.shape(), Qt::BitmapCursor);
    QCOMPARE(hand.hotSpot(), QPoint(5, 3));
    QCOMPARE(hand.pixmap().size(), QSize(16, 16));
}

void TestFolderSkin::brokenCursorFileIsReported() {
    QTemporaryDir program;
    writeFile(program.filePath(QStringLiteral("HAND-M.CUR")), "not a cursor");
    WindowFixture fixture(program.path());
    fixture.window->formLoad();
    QCOMPARE(fixture.modals.reportLines(), QList<int>{108});
    QCOMPARE(fixture.modals.reports[0].description, QStringLiteral("Invalid picture"));
    QCOMPARE(fixture.window->waveformList->count(), 9);
}

void TestFolderSkin::pointerFollowsMouse() {
    QTemporaryDir program;
    writeFile(program.filePath(QStringLiteral("HAND-M.CUR")), cursorFileBytes(1, 1));
    WindowFixture fixture(program.path());
    QVERIFY(fixture.loadAndShow());
    Form1& w = *fixture.window;
    QTest::mouseMove(w.pushButton1);
    QCOMPARE(w.pointerShape(), PointerShape::hand);
    QCOMPARE(w.frame1->cursor().shape(), Qt::BitmapCursor);
    QTest::mouseMove(w.frame4, QPoint(3, 3));
    QCOMPARE(w.pointerShape(), PointerShape::arrow);
    QTest::mouseMove(w.chooseFolderButton);
    QCOMPARE(w.pointerShape(), PointerShape::hand);
    // Over a field, nothing changes: the pointer crossed the frame on its way.
    QTest::mouseMove(w.folderField);
    QCOMPARE(w.pointerShape(), PointerShape::hand);
    QTest::mouseMove(w.centralWidget(), QPoint(2, 2));
    QCOMPARE(w.pointerShape(), PointerShape::arrow);
    QCOMPARE(w.lengthField->cursor().shape(), Qt::IBeamCursor);
}

void TestFolderSkin::busyPointerWins() {
    WindowFixture fixture;
    QVERIFY(fixture.loadAndShow());
    Form1& w = *fixture.window;
    w.setPointerShape(PointerShape::busy);
    QTest::mouseMove(w.pushButton3);
    QCOMPARE(w.pointerShape(), PointerShape::busy);
    QTest::mouseMove(w.frame2, QPoint(3, 3));
    QCOMPARE(w.pointerShape(), PointerShape::busy);
    QCOMPARE(w.pushButton3->cursor().shape(), Qt::WaitCursor);
    QCOMPARE(w.lengthField->cursor().shape(), Qt::WaitCursor);
}

void TestFolderSkin::handWithoutCursorFileShowsArrow() {
    WindowFixture fixture;
    QVERIFY(fixture.loadAndShow());
    Form1& w = *fixture.window;
    QTest::mouseMove(w.pushButton1);
    QCOMPARE(w.pointerShape(), PointerShape::hand);
    QCOMPARE(w.pushButton1->cursor().shape(), Qt::ArrowCursor);
}

QTEST_MAIN(TestFolderSkin)
#include "tst_folderskin.moc"
