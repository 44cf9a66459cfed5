// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: starts a WAV batch of three quarter-second tones into the folder given as
// its first argument, and closes the window after the milliseconds given as its second,
// as a user would while the batch runs; or, with a signal number as its third, sends itself
// that signal then, as the system would. Closing ends the program.
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "app/window/Modals.h"
#include "runner/ChildRun.h"
#include "runner/StopSignals.h"
#include "settings/SettingsStore.h"
#include "sound/SoundPlayer.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <csignal>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    if (argc < 3)
        return 2;
    StopSignals stopSignals;
    QtModals modals;
    SettingsStore settings(noticesTo(modals));
    AudioPlayer player;
    Form1 window({modals, settings, player, QCoreApplication::applicationDirPath(), endProgramNow});
    window.closeOnStopSignals(stopSignals);
    window.formLoad();
    window.lengthField->setText(QStringLiteral("0.25"));
    window.countField->setText(QStringLiteral("3"));
    window.folderField->setText(QString::fromLocal8Bit(argv[1]));
    const int signal = argc > 3 ? QString::fromLocal8Bit(argv[3]).toInt() : 0;
    QTimer::singleShot(QString::fromLocal8Bit(argv[2]).toInt(), &window, [&window, signal] {
        if (signal != 0)
            std::raise(signal);
        else
            window.close();
    });
    window.pushButton1->click();
    return 3; // the batch ended before the window was closed
}
