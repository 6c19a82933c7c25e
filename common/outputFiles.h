// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/refusal.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <string_view>
#include <sys/types.h>
#include <utility>
#include <vector>

// The files a program writes, checked before anything is written and written
// so that a run that fails or is refused destroys nothing: a file is replaced
// only once its successor is complete. Names are the file system's own bytes.

// What a write of several bytes took.
struct WrittenBytes {
    std::size_t bytes = 0; // taken, from the front of what was offered
    int error = 0;         // errno of a failed write when not all was taken, else 0
};

// Writes `bytes` to the descriptor, going on after short and interrupted
// writes, until all are taken or a write takes none. Returns the bytes taken
// and, where that is not all, errno of the write that failed (0 if it took no
// byte without saying why). Every file the programs write goes through it.
WrittenBytes writeFully(int fd, std::string_view bytes);

// How an output reaches its file.
enum class Writing {
    Replaced, // written to a temporary file in the same folder, renamed over the name
    InPlace,  // written into the file itself (a log as it goes, a table appended to)
};

// Why a file of this kind is no place for an output, in words that follow
// "it": symbolic links are never followed and only regular files written.
// Null for a regular file.
const char* notARegularFile(mode_t mode);

// Whether `name` can be an output written that way, found from the file system
// alone without creating or changing anything: refused, with the reason, for a
// symbolic link (never followed), a directory, a FIFO, a device or a socket, a
// folder that does not exist or may not be written. With
// `refuseHardLink` a file with more than one name is refused as well (a log
// that is emptied would empty the other name's file too).
Refusable<> checkOutput(const QByteArray& name, Writing writing, bool refuseHardLink = false);

// One file of a command line, for the check that no output is also an input
// or another output.
struct NamedFile {
    QString option; // "--log", "VIDEO"
    QByteArray name;
    bool output = false;
};

// The first output that is the same file as another of `files` (the same
// device and inode where it exists, the same path with every symbolic link of
// its folder resolved where it does not): the output's index and the other's.
// None when every output is a file of its own.
std::optional<std::pair<std::size_t, std::size_t>>
sameFileTwice(const std::vector<NamedFile>& files);

// A file written whole or not at all. The bytes go to a new file beside
// `name` ("name.XXXXXX"); commit() puts it in the place of `name` with one
// rename, so that readers see the old file or the whole new one, never a part.
// Without commit() the temporary file is removed and `name` stays as it was.
class ReplacingFile {
  public:
    explicit ReplacingFile(QByteArray name);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False if the temporary file could not be made (error() says why).
    bool isOpen() const { return fd >= 0; }
    // False once a write has failed; what follows is not written.
    bool write(std::string_view bytes);
    bool write(const QByteArray& bytes) {
        return write(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    }
    // Flushes the bytes to the disk, checks that the file holds all of them,
    // and renames it into place. False if anything failed on the way, with
    // the temporary file removed.
    bool commit();
    // The system's reason for the first failure ("No space left on device").
    const QString& error() const { return problem; }
    const QByteArray& temporaryName() const { return temporary; }

  private:
    void fail(int error);

    QByteArray name;
    QByteArray temporary;
    int fd = -1;
    std::size_t bytesWritten = 0;
    QString problem;
};

// Writes `bytes` as the whole content of `name` through a ReplacingFile;
// refused with the system's reason on failure.
Refusable<> replaceFile(const QByteArray& name, const QByteArray& bytes);
