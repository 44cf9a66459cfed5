// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the window has no display to open on: without one the toolkit would abort with a long
// message about plugins. Never on Windows, whose programs always have a desktop.
bool displayMissing();
