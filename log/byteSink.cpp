// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/byteSink.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace eventlog {

FileSink::~FileSink() {
    ::close(fd);
}

ByteSink::Written FileSink::write(std::string_view bytes) {
    return writeFully(fd, bytes);
}

bool FileSink::takeBack(std::size_t bytes) {
    const off_t end = ::lseek(fd, 0, SEEK_CUR);
    if (end < 0 || static_cast<std::size_t>(end) < bytes) {
        return false;
    }
    const off_t cut = end - static_cast<off_t>(bytes);
    return ::ftruncate(fd, cut) == 0 && ::lseek(fd, cut, SEEK_SET) == cut;
}

} // namespace eventlog
