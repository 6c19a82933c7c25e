// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// Tells the user, on stderr and, where there is a display, in a message box,
// that another copy of the program is logging to `logPath` (relative to the
// working directory) and that this one must be started in another directory or
// with another log.
void sayAnotherCopyIsLogging(const QByteArray& logPath);
