// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string_view>

namespace eventlog {

// Where the log's bytes go, with the semantics of write(2): a write may take
// all, some or none of the bytes, and says why it took none.
class ByteSink {
  public:
    struct Written {
        std::size_t bytes = 0; // taken, from the front of what was offered
        int error = 0;         // errno of a failed write when not all was taken, else 0
    };

    virtual ~ByteSink() = default;
    virtual Written write(std::string_view bytes) = 0;
    // Removes the last `bytes` bytes written, so that a line that can never be
    // completed does not stay cut in the file. False if that failed.
    virtual bool takeBack(std::size_t bytes) = 0;
};

// Writes `bytes` to the descriptor, going on after short and interrupted
// writes, until all are taken or a write takes none. Returns the bytes taken
// and, where that is not all, errno of the write that failed (0 if it took no
// byte without saying why). The log's file and the evaluation's files are
// written through it.
ByteSink::Written writeFully(int fd, std::string_view bytes);

// An open file descriptor, owned: closed (and so unlocked) on destruction.
class FileSink : public ByteSink {
  public:
    explicit FileSink(int descriptor) : fd(descriptor) {}
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    Written write(std::string_view bytes) override;
    bool takeBack(std::size_t bytes) override;

  private:
    int fd;
};

} // namespace eventlog
