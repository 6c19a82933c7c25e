// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace eventlog {

// Whether another process holds the lock of the log at `path` now, found
// without creating, changing or keeping the file: a program that must not
// empty a log before its other checks have passed asks first. False where
// there is no file to lock.
bool lockHeldElsewhere(const std::string& path);

} // namespace eventlog
