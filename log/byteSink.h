// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/outputFiles.h"

#include <cstddef>
#include <string_view>

namespace eventlog {

// Where the log's bytes go, with the semantics of write(2): a write may take
// all, some or none of the bytes, and says why it took none.
class ByteSink {
  public:
    using Written = WrittenBytes;

    virtual ~ByteSink() = default;
    virtual Written write(std::string_view bytes) = 0;
    // Removes the last `bytes` bytes written, so that a line that can never be
    // completed does not stay cut in the file. False if that failed.
    virtual bool takeBack(std::size_t bytes) = 0;
};

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
