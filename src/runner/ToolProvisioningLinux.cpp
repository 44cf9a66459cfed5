// SPDX-License-Identifier: GPL-3.0-or-later
#include "runner/ToolProvisioning.h"

bool holdsForeignTool(const QString&) {
    return false;
}
