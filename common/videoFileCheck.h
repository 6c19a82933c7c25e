// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <optional>
#include <sys/types.h>

// A file name as the file system stores it: bytes that need not be valid in the
// locale's encoding. A name written on an older Windows machine keeps its
// Latin-1 bytes (0xC5 for Å) on a UTF-8 system, and a QString cannot carry
// those back to the file system, so the bytes themselves are kept.
struct VideoFileName {
    VideoFileName() = default;
    // A name typed or chosen in Qt: the locale's encoding of it.
    VideoFileName(const QString& name) : bytes(QFile::encodeName(name)) {}
    static VideoFileName fromBytes(const QByteArray& bytes) {
        VideoFileName name;
        name.bytes = bytes;
        return name;
    }
    // For messages and the log: undecodable bytes become U+FFFD, which
    // QString::toLatin1 writes as '?'.
    QString shown() const { return QFile::decodeName(bytes); }
    bool isEmpty() const { return bytes.isEmpty(); }

    QByteArray bytes;
};

// Any file's name, not only a video's, is kept the same way.
using FileName = VideoFileName;

// What a file that is no regular file and no directory is, for a message:
// "a named pipe (FIFO)", "a character device".
const char* specialFileKind(mode_t mode);

// The name that the command line gave as `decoded`, in its own bytes: a
// QString decoded from them loses those that are not valid in the locale's
// encoding (a Latin-1 name on a UTF-8 system). The last matching argument of
// main's `argv` is taken; `decoded` itself if none matches.
VideoFileName nameAsGiven(const QString& decoded, int argc, char** argv);

// Why `name` cannot be a video to open, found from the file system alone
// (stat, lstat and faccessat), without opening anything: opening a named pipe
// blocks until someone writes to it, and a device never ends. None when
// nothing speaks against opening the file; the decoder has the last word.
std::optional<QString> videoFileRefusal(const QByteArray& name);
