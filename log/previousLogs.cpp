// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/previousLogs.h"

#include "log/byteSink.h"
#include "log/logText.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

namespace eventlog {

namespace {

std::string numbered(const std::string& path, int number) {
    return path + "." + std::to_string(number);
}

// The last part of a path, as a message shows it.
std::string shownBaseName(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    return escapedForTerminal(QFile::decodeName(base.c_str())).toStdString();
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

const char* kindOf(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "a symbolic link";
    }
    if (S_ISDIR(mode)) {
        return "a directory";
    }
    if (S_ISFIFO(mode)) {
        return "a FIFO";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "a device";
    }
    return "a special file";
}

struct OldLog {
    bool exists = false;
    mode_t mode = 0;
};

// A new file beside the log that receives the copy; removed again unless
// released, so that a failed copy leaves nothing behind.
class CopyFile {
  public:
    explicit CopyFile(const std::string& path) : name(path + ".1-XXXXXX") {
        fd = ::mkostemp(name.data(), O_CLOEXEC);
    }
    ~CopyFile() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (!released) {
            ::unlink(name.c_str());
        }
    }
    CopyFile(const CopyFile&) = delete;
    CopyFile& operator=(const CopyFile&) = delete;

    bool created() const { return fd >= 0; }
    int descriptor() const { return fd; }
    const std::string& path() const { return name; }
    // Closes the file; false (with errno) if what was written may not be there.
    bool close() {
        const int closing = fd;
        fd = -1;
        return ::close(closing) == 0;
    }
    void release() { released = true; }

  private:
    std::string name;
    int fd = -1;
    bool released = false;
};

// Copies every byte of `from` into `to`; why not, if that failed.
std::optional<std::string> copyAll(int from, int to) {
    std::vector<char> buffer(1 << 16);
    off_t offset = 0;
    for (;;) {
        const ssize_t got = ::pread(from, buffer.data(), buffer.size(), offset);
        if (got == 0) {
            return std::nullopt;
        }
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            // A log that may be written but not read (mode 0200).
            return errno == EBADF ? "the log may not be read" : std::strerror(errno);
        }
        const ByteSink::Written written =
            writeFully(to, std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        if (written.bytes < static_cast<std::size_t>(got)) {
            return whyNotWritten(written.error);
        }
        offset += got;
    }
}

} // namespace

std::optional<std::string> keepPreviousLog(int fd, const std::string& path,
                                           const struct stat& status) {
    // Everything that the shift would move or replace must be an old log: a
    // link, a directory or a FIFO in the way is left alone, and so is the log.
    std::array<OldLog, keptLogs + 1> old{};
    for (int number = 1; number <= keptLogs; ++number) {
        struct stat file {};
        if (::lstat(numbered(path, number).c_str(), &file) == 0) {
            old[number] = {true, file.st_mode};
        } else if (errno != ENOENT) {
            return shownBaseName(numbered(path, number)) + ": " + std::strerror(errno);
        }
    }
    for (int number = 1; number <= keptLogs; ++number) {
        const bool moved = number < keptLogs && old[number].exists;
        const bool replaced = old[number - 1].exists || number == 1;
        if (old[number].exists && (moved || replaced) && !S_ISREG(old[number].mode)) {
            return shownBaseName(numbered(path, number)) + " is " + kindOf(old[number].mode) +
                   ", not an old log";
        }
    }

    // The copy is made first, in full and on disk, so that the most likely
    // failure (a full disk) comes before any name has changed.
    CopyFile copy(path);
    if (!copy.created()) {
        return std::strerror(errno);
    }
    if (const std::optional<std::string> problem = copyAll(fd, copy.descriptor())) {
        return problem;
    }
    // The copy keeps the log's permissions and its times: the time of the run's
    // last line.
    const struct timespec times[2] = {status.st_atim, status.st_mtim};
    if (::fchmod(copy.descriptor(), status.st_mode & 07777) != 0 ||
        ::futimens(copy.descriptor(), times) != 0 || ::fsync(copy.descriptor()) != 0 ||
        !copy.close()) {
        return std::strerror(errno);
    }

    for (int number = keptLogs - 1; number >= 1; --number) {
        if (old[number].exists &&
            ::rename(numbered(path, number).c_str(), numbered(path, number + 1).c_str()) != 0) {
            return "cannot rename " + shownBaseName(numbered(path, number)) + ": " +
                   std::strerror(errno);
        }
    }
    if (::rename(copy.path().c_str(), numbered(path, 1).c_str()) != 0) {
        return std::strerror(errno);
    }
    copy.release();
    // The new names reach the disk before the log is emptied.
    const int folder = ::open(folderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        ::fsync(folder);
        ::close(folder);
    }
    return std::nullopt;
}

} // namespace eventlog
