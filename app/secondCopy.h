// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"

#include <QByteArray>

// The window refused because another copy of the program is logging to
// `logPath` (relative to the working directory): this one must be started in
// another directory or with another log.
Refusal anotherCopyIsLogging(const QByteArray& logPath);

// The same in a message box, where there is a display and nobody reads stderr.
void showAnotherCopyIsLogging(const QByteArray& logPath);
