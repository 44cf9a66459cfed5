// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Opens a program file to run it from the descriptor, so that the file checked is the file
// that runs. Gives -1 and sets errno when the file cannot be opened (ENOENT when it is
// missing) or is not trusted as isTrustedProgramFile() says, a link included (EACCES).
// The descriptor closes on exec.
int openTrustedProgram(const QString& path);
