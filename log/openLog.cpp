// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/outputFiles.h"
#include "log/eventLog.h"
#include "log/logText.h"
#include "log/previousLogs.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace eventlog {

namespace {

// Why opening failed: the kind of file if that is the reason, else errno's text.
std::string whyNotOpened(const std::string& path, int error) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) {
        if (const char* reason = notARegularFile(status.st_mode)) {
            return reason;
        }
    }
    return std::strerror(error);
}

// The log's name in messages: the path, and for a relative one the directory.
std::string shownName(const std::string& path, bool withDirectory = true) {
    const QString name = QFile::decodeName(path.c_str());
    QByteArray shown = escapedForTerminal(name);
    if (withDirectory && !QDir::isAbsolutePath(name)) {
        shown += " in " + escapedForTerminal(QDir::currentPath());
    }
    return shown.toStdString();
}

Opening notLogged(const std::string& path, const std::string& reason) {
    Opening refused{nullptr, Opening::Outcome::NotLogged, {}};
    refused.problem = "cannot create " + shownName(path, false) + " (" + reason + ")";
    reportProblem("warning: cannot create " + shownName(path) + " (" + reason +
                  "); this run is not logged");
    return refused;
}

Opening previousNotKept(const std::string& path, const std::string& reason) {
    Opening refused{nullptr, Opening::Outcome::NotLogged, {}};
    const std::string kept = shownName(path + ".1", false);
    refused.problem = "cannot keep the previous log " + shownName(path, false) + " as " + kept +
                      " (" + reason + ")";
    reportProblem("warning: cannot keep the previous log " + shownName(path) + " as " + kept +
                  " (" + reason + "); it is left as it was, and this run is not logged");
    return refused;
}

// Opens for reading too where the file allows it: the previous log is read to
// be kept. One that may only be written is opened all the same, and is kept
// only if it is empty.
int openForLog(const std::string& path) {
    // No O_TRUNC: the file is emptied only once it is known to be a regular
    // file whose lock is ours. O_NONBLOCK keeps a FIFO from blocking the open.
    const int flags = O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
    const int fd = ::open(path.c_str(), O_RDWR | flags, 0666);
    if (fd < 0 && errno == EACCES) {
        return ::open(path.c_str(), O_WRONLY | flags, 0666);
    }
    return fd;
}

} // namespace

Opening open(const std::string& path) {
    const int fd = openForLog(path);
    if (fd < 0) {
        const int error = errno;
        return notLogged(path, whyNotOpened(path, error));
    }
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return notLogged(path, std::strerror(error));
    }
    if (!S_ISREG(status.st_mode)) {
        ::close(fd);
        const char* reason = notARegularFile(status.st_mode);
        return notLogged(path, reason ? reason : "it is not a regular file");
    }
    if (status.st_nlink > 1) {
        // Another name for some other file: emptying it would destroy that file.
        ::close(fd);
        return notLogged(path, "it is a hard link to another file");
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        if (error == EWOULDBLOCK) {
            // Refused before anything is renamed or emptied: the copy that
            // holds the lock finds every file as it left it.
            ::close(fd);
            return {nullptr, Opening::Outcome::HeldByAnotherProcess, {}};
        }
        // A file system without locks (ENOLCK): the log is still written, and
        // the previous one still kept.
    }
    // What the previous holder of the lock wrote up to its end.
    if (::fstat(fd, &status) != 0) {
        const int error = errno;
        ::close(fd);
        return notLogged(path, std::strerror(error));
    }
    if (status.st_size > 0) {
        if (const std::optional<std::string> why = keepPreviousLog(fd, path, status)) {
            ::close(fd);
            return previousNotKept(path, *why);
        }
    }
    if (::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return notLogged(path, std::strerror(error));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {std::make_unique<EventLog>(std::make_unique<FileSink>(fd), shownName(path)),
            Opening::Outcome::Opened,
            {}};
}

} // namespace eventlog
