// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/Form1.h"
#include "app/Modals.h"
#include "app/ModuleSound.h"
#include "runner/ShellWait.h"
#include "runner/StopSignals.h"
#include "settings/SettingsStore.h"

#include <QApplication>
#include <cstdio>

namespace {

// Without a display the toolkit would abort with a long message about plugins.
bool displayMissing() {
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    return false;
#endif
}

} // namespace

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
    ModuleSound player({programFolder, programFolder + QStringLiteral("/" ZIRAVEL_MODULE_DIR)});
    Form1 window(
        {modals, settings, player, QCoreApplication::applicationDirPath(), endProgramNow, &player});
    modals.setOwner(&window);
    window.closeOnStopSignals(stopSignals);
    window.formLoad();
    window.show();
    return QApplication::exec();
}
