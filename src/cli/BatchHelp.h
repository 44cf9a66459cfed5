// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/BatchOptions.h"

#include <QString>

// What ziravel-batch says of its options, all made from batchOptions() so that they never
// disagree with what it takes: --help, grouped by section; the manual page ziravel-batch(1),
// in roff; and the completion script for bash, zsh or fish (empty text for another shell),
// which completes the options' listed values and the preset names (from --preset-names).
QString helpText(const QList<BatchOption>& options);
QString manualPage(const QList<BatchOption>& options);
QString completionScript(const QString& shell, const QList<BatchOption>& options);
