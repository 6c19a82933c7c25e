// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/logCheck.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace eventlog {

bool lockHeldElsewhere(const std::string& path) {
    // Read-only and without following a link or blocking on a FIFO: nothing
    // about the file changes. The lock is the one open() takes, and closing
    // the descriptor gives it back at once.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
    ::close(fd);
    return held;
}

} // namespace eventlog
