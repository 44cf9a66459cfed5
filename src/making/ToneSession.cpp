// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/ToneSession.h"

void ToneSession::stop() {
    m_children.stopAll();
}
