// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/DisplayCheck.h"

#include <QtGlobal>

bool displayMissing() {
    return qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
           qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}
