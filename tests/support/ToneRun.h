// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "TestSupport.h"
#include "WindowFixture.h"
#include "app/set/ListenPanel.h"
#include "app/window/ToneWindow.h"
#include "set/AnswerKey.h"

#include "app/window/ToneProgress.h"
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <functional>

// The lines of a text file.
inline QStringList linesOf(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A field of an answer key's row, found by its column's name.
inline QString keyField(const QString& row, const QString& column) {
    const qsizetype at = answerKeyColumns().indexOf(column);
    return row.section(QLatin1Char(','), at, at);
}

// Several fields of an answer key's row, by their columns' names, joined as the key joins them.
inline QString keyFields(const QString& row, const QStringList& columns) {
    QStringList fields;
    for (const QString& column : columns)
        fields << keyField(row, column);
    return fields.join(QLatin1Char(','));
}

// Whether an answer key's row says its tone was made: "yes" or "no".
inline QString madeColumn(const QString& row) {
    return keyField(row, QStringLiteral("made"));
}

// Presses an access key or shortcut on the window as the user does.
inline void press(QWidget& window, int key, Qt::KeyboardModifiers modifiers = Qt::AltModifier) {
    QTest::keyClick(window.windowHandle(), Qt::Key(key), modifiers);
}

class ToneRun;
// A shown window that has made a set of `count` WAV tones, listed below it.
void makeSet(ToneRun& run, int count);

// A window ready for a run: tool folder and output folder of the test's own.
class ToneRun {
public:
    ToneRun() {
        fixture.window->formLoad();
        output = tools.filePath(QStringLiteral("out"));
        QDir().mkpath(output);
        w.folderField->setText(output + QLatin1Char('/'));
        w.lengthField->setText(QStringLiteral("0.25"));
    }
    ~ToneRun() {
        qunsetenv("ZIRAVEL_FAKE_SOX_MS");
        qunsetenv("ZIRAVEL_FAKE_SOX_LOG");
    }

    // A stand-in for the tool that takes its time and logs each run.
    QString useFakeTool(int milliseconds) {
        tools.installTool(QStringLiteral(ZIRAVEL_FAKE_SOX));
        qputenv("ZIRAVEL_FAKE_SOX_MS", QByteArray::number(milliseconds));
        qputenv("ZIRAVEL_FAKE_SOX_STARTED", startedLog().toLocal8Bit());
        const QString log = tools.filePath(QStringLiteral("runs.log"));
        qputenv("ZIRAVEL_FAKE_SOX_LOG", log.toLocal8Bit());
        return log;
    }

    // Runs the action, inside the window's wait, once the stand-in's run number `toolRun` (from
    // 1) has started: what the test does then happens while that run is under way, however long
    // starting it took.
    void whenToolRunStarts(int toolRun, std::function<void()> action) {
        auto* watch = new QTimer(&w);
        QObject::connect(watch, &QTimer::timeout, watch, [=, this] {
            if (linesOf(startedLog()).size() < toolRun)
                return;
            watch->stop();
            watch->deleteLater();
            action();
        });
        watch->start(1);
    }

    // The tone files in the output folder; the answer key beside them is not one.
    QStringList outputFiles() const {
        return QDir(output).entryList({QStringLiteral("*.wav"), QStringLiteral("*.mp3")},
                                      QDir::Files, QDir::Name);
    }

    void checkIdle() const {
        QVERIFY(!fixture.window->isBusy());
        QCOMPARE(fixture.window->pointerShape(), PointerShape::arrow);
        QVERIFY(!fixture.window->progressBar->isVisible());
        QVERIFY(fixture.window->stopButton->isHidden());
    }

    QString startedLog() const { return tools.filePath(QStringLiteral("started.log")); }

    TestSupport::TemporaryToolFolder tools;
    WindowFixture fixture;
    Form1& w = *fixture.window;
    QString output;
};

inline void makeSet(ToneRun& run, int count) {
    run.w.countField->setText(QString::number(count));
    run.w.show();
    QVERIFY(QTest::qWaitForWindowActive(&run.w));
    run.w.pushButton1->click();
    QVERIFY(run.w.listenPanel());
    QTRY_COMPARE(run.w.listenPanel()->rowCount(), count);
}
