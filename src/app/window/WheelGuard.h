// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QWidget;

// Lists and number fields under the root take the mouse wheel only while they have the focus:
// scrolling the form past them never changes a setting. The wheel then scrolls what holds them.
// They still take the focus by Tab and by a click.
void guardWheel(QWidget* root);
