// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QIcon>

// The program's icon for its window, painted as resources/ziravel.svg draws it (which the
// desktop entry uses), at the sizes title bars and task bars show. Painting it takes no image
// plugin and no SVG renderer, which a file would load before the first frame.
QIcon programIcon();
