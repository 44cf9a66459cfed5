// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/DisplayCheck.h"
#include "app/window/Form1.h"
#include "app/window/Modals.h"
#include "app/window/SoundModuleLoader.h"
#include "runner/ChildRun.h"
#include "runner/StopSignals.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char* argv[]) {
    if (displayMissing()) {
        std::fputs("Ziravel needs a graphical display and found none (DISPLAY is not set): start "
                   "it in a desktop session, or set QT_QPA_PLATFORM=offscreen.\n",
                   stderr);
        return 1;
    }
    QApplication app(argc, argv);
    StopSignals stopSignals;
    QtModals modals;
    SettingsStore settings(noticesTo(modals));
    // Beside the program in a build, in the library folder once installed.
    const QString programFolder = QCoreApplication::applicationDirPath();
    SoundModuleLoader player(
        {programFolder, programFolder + QStringLiteral("/" ZIRAVEL_MODULE_DIR)});
    Form1 window(
        {modals, settings, player, QCoreApplication::applicationDirPath(), endProgramNow, &player});
    modals.setOwner(&window);
    window.closeOnStopSignals(stopSignals);
    window.formLoad();
    window.show();
    return QApplication::exec();
}
