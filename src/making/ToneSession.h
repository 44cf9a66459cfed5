// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "runner/ChildRun.h"

// The tool runs under way, owned by the window or by ziravel-batch's run: Stop and closing go
// through it. A run it ends is judged not made, and its tone leaves nothing.
class ToneSession {
public:
    ChildrenInFlight& children() { return m_children; }
    // Ends the tool runs under way; files already made stay.
    void stop();

private:
    ChildrenInFlight m_children;
};
