// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/window/DisplayCheck.h"

bool displayMissing() {
    return false;
}
