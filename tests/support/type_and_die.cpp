// SPDX-License-Identifier: GPL-3.0-or-later
// Test helper: opens the window, types its first argument at the end of the tone
// length and is killed at once, before anything else can run.
#include "app/window/FieldEdit.h"
#include "app/window/Form1.h"
#include "app/window/Modals.h"
#include "settings/SettingsStore.h"
#include "sound/SoundPlayer.h"

#include <QApplication>
#include <QTest>
#include <csignal>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QtModals modals;
    SettingsStore settings(noticesTo(modals));
    AudioPlayer player;
    Form1 window({modals, settings, player, QCoreApplication::applicationDirPath(), [] {}});
    window.formLoad();
    window.lengthField->end(false);
    QTest::keyClicks(window.lengthField, QString::fromLocal8Bit(argv[1]));
    std::raise(SIGKILL);
}
