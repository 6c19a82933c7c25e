// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/videoFileCheck.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString quoted(const QByteArray& bytes) {
    return "\"" + QFile::decodeName(bytes) + "\"";
}

} // namespace

const char* specialFileKind(mode_t mode) {
    if (S_ISFIFO(mode)) {
        return "a named pipe (FIFO)";
    }
    if (S_ISCHR(mode)) {
        return "a character device";
    }
    if (S_ISBLK(mode)) {
        return "a block device";
    }
    if (S_ISSOCK(mode)) {
        return "a socket";
    }
    return "a special file";
}

namespace {

// The first folder on the way to `name` that may not be entered, or an empty
// array if every one may. Like stat and open, and unlike plain access, the
// check goes by the effective user and capabilities.
QByteArray folderThatMayNotBeEntered(const QByteArray& name) {
    for (qsizetype slash = name.indexOf('/'); slash >= 0; slash = name.indexOf('/', slash + 1)) {
        const QByteArray folder = slash == 0 ? QByteArray("/") : name.left(slash);
        if (faccessat(AT_FDCWD, folder.constData(), X_OK, AT_EACCESS) != 0 && errno == EACCES) {
            return folder;
        }
    }
    return {};
}

QString whyItCannotBeFound(const QByteArray& name, int error) {
    switch (error) {
    case ENOENT: {
        struct stat link {};
        if (lstat(name.constData(), &link) == 0 && S_ISLNK(link.st_mode)) {
            return "it is a symbolic link to a file that does not exist";
        }
        return "there is no such file";
    }
    case ELOOP:
        return "its symbolic links lead round in a loop";
    case EACCES: {
        const QByteArray folder = folderThatMayNotBeEntered(name);
        if (folder.isEmpty()) {
            return "permission denied on a folder on the way to it";
        }
        return "permission denied on the folder " + quoted(folder) + " on the way to it";
    }
    case ENOTDIR:
        return "a part of the path on the way to it is not a folder";
    case ENAMETOOLONG:
        return "the name is too long";
    default:
        return QString::fromLocal8Bit(std::strerror(error));
    }
}

} // namespace

VideoFileName nameAsGiven(const QString& decoded, int argc, char** argv) {
    for (int index = argc - 1; index > 0; --index) {
        if (QFile::decodeName(argv[index]) == decoded) {
            return VideoFileName::fromBytes(argv[index]);
        }
    }
    return decoded;
}

Refusable<> checkVideoFile(const QByteArray& name) {
    if (name.isEmpty()) {
        return Refusal{"no file name was given"};
    }
    // Follows symbolic links, so that /dev/stdin counts as whatever it stands for.
    struct stat file {};
    if (stat(name.constData(), &file) != 0) {
        return Refusal{whyItCannotBeFound(name, errno)};
    }
    if (S_ISDIR(file.st_mode)) {
        return Refusal{"it is a directory; choose a video file in it"};
    }
    if (!S_ISREG(file.st_mode)) {
        return Refusal{QStringLiteral("it is not a regular file but ") +
                       specialFileKind(file.st_mode)};
    }
    if (faccessat(AT_FDCWD, name.constData(), R_OK, AT_EACCESS) != 0) {
        return Refusal{"permission denied: the file may not be read"};
    }
    if (file.st_size == 0) {
        return Refusal{"the file is empty"};
    }
    return {};
}
