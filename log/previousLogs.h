// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"

#include <optional>
#include <string>
#include <sys/stat.h>

namespace eventlog {

inline constexpr int keptLogs = defaults::keptLogs;

// Keeps the content of the open log `fd` at `path`, whose lock this process
// holds, as `path`.1 before the log is emptied: PATH.8 becomes PATH.9 (the old
// PATH.9 is dropped), ..., PATH.1 becomes PATH.2, and a copy of the log
// becomes PATH.1. The log itself is neither renamed nor emptied here, so that
// its inode, and the lock on it, stay where a second copy of the program looks.
// `status` is the log's fstat, taken under the lock.
//
// Returns why the log cannot be kept, and then nothing is lost: the log is as
// it was and must not be emptied.
std::optional<std::string> keepPreviousLog(int fd, const std::string& path,
                                           const struct stat& status);

} // namespace eventlog
