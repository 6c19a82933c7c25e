#include "log/eventLog.h"
#include "log/logText.h"

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

// Why a file of this kind is not taken for the log.
const char* notALogFile(mode_t mode) {
    if (S_ISLNK(mode)) {
        return "it is a symbolic link, which is not followed";
    }
    if (S_ISDIR(mode)) {
        return "it is a directory";
    }
    if (S_ISFIFO(mode)) {
        return "it is a FIFO, not a regular file";
    }
    if (S_ISCHR(mode) || S_ISBLK(mode)) {
        return "it is a device, not a regular file";
    }
    if (S_ISSOCK(mode)) {
        return "it is a socket, not a regular file";
    }
    return nullptr;
}

// Why opening failed: the kind of file if that is the reason, else errno's text.
std::string whyNotOpened(const std::string& path, int error) {
    struct stat status {};
    if (::lstat(path.c_str(), &status) == 0) {
        if (const char* reason = notALogFile(status.st_mode)) {
            return reason;
        }
    }
    return std::strerror(error);
}

// The log's name in messages: the path, and for a relative one the directory.
std::string shownName(const std::string& path) {
    const QString name = QFile::decodeName(path.c_str());
    QByteArray shown = escapedForTerminal(name);
    if (!QDir::isAbsolutePath(name)) {
        shown += " in " + escapedForTerminal(QDir::currentPath());
    }
    return shown.toStdString();
}

Opening notLogged(const std::string& path, const std::string& reason) {
    reportProblem("warning: cannot create " + shownName(path) + " (" + reason +
                  "); this run is not logged");
    return {nullptr, Opening::Outcome::NotLogged};
}

} // namespace

Opening open(const std::string& path) {
    // No O_TRUNC: the file is emptied only once it is known to be a regular
    // file whose lock is ours. O_NONBLOCK keeps a FIFO from blocking the open.
    const int fd = ::open(
        path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0666);
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
        const char* reason = notALogFile(status.st_mode);
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
            ::close(fd);
            return {nullptr, Opening::Outcome::HeldByAnotherProcess};
        }
        // A file system without locks (ENOLCK): the log is still written.
    }
    if (::ftruncate(fd, 0) != 0) {
        const int error = errno;
        ::close(fd);
        return notLogged(path, std::strerror(error));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {std::make_unique<EventLog>(std::make_unique<FileSink>(fd), shownName(path)),
            Opening::Outcome::Opened};
}

} // namespace eventlog
