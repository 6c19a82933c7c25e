// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/outputFiles.h"

#include <QDir>
#include <QRandomGenerator>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString reasonOf(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// The folder that holds `name` and the name within it.
std::pair<QByteArray, QByteArray> folderAndLast(const QByteArray& name) {
    const qsizetype slash = name.lastIndexOf('/');
    if (slash < 0) {
        return {".", name};
    }
    return {slash == 0 ? QByteArray("/") : name.left(slash), name.mid(slash + 1)};
}

bool mayWrite(const QByteArray& name, int mode) {
    return ::faccessat(AT_FDCWD, name.constData(), mode, AT_EACCESS) == 0;
}

// What a name stands for when the file is compared with others.
struct Identity {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    QByteArray resolved; // where it does not exist: the absolute path it would have

    bool operator==(const Identity& other) const {
        return exists == other.exists && (exists ? device == other.device && inode == other.inode
                                                 : resolved == other.resolved);
    }
};

// The absolute path, "." and ".." and repeated slashes taken out by their
// letters alone. Latin-1 carries every byte through QString unchanged.
QByteArray lexicallyNormal(const QByteArray& name) {
    const QString latin = QString::fromLatin1(name);
    const QString absolute =
        QDir::isAbsolutePath(latin) ? latin : QDir::currentPath() + QLatin1Char('/') + latin;
    return QDir::cleanPath(absolute).toLatin1();
}

Identity identityOf(const QByteArray& name) {
    Identity identity;
    struct stat status {};
    if (::stat(name.constData(), &status) == 0) {
        identity.exists = true;
        identity.device = status.st_dev;
        identity.inode = status.st_ino;
        return identity;
    }
    // Not there (yet): its folder with every symbolic link resolved, and the
    // last name as it is.
    const auto [folder, last] = folderAndLast(name);
    char resolved[PATH_MAX];
    if (!last.isEmpty() && last != "." && last != ".." &&
        ::realpath(folder.constData(), resolved) != nullptr) {
        identity.resolved = lexicallyNormal(QByteArray(resolved) + '/' + last);
    } else {
        identity.resolved = lexicallyNormal(name);
    }
    return identity;
}

} // namespace

WrittenBytes writeFully(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t taken = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (taken > 0) {
            done += static_cast<std::size_t>(taken);
        } else if (taken == 0) {
            return {done, 0};
        } else if (errno != EINTR) {
            return {done, errno};
        }
    }
    return {done, 0};
}

const char* notARegularFile(mode_t mode) {
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

Refusable<> checkOutput(const QByteArray& name, Writing writing, bool refuseHardLink) {
    if (name.isEmpty()) {
        return Refusal{QStringLiteral("no file name was given")};
    }
    struct stat status {};
    const bool exists = ::lstat(name.constData(), &status) == 0;
    if (!exists && errno != ENOENT) {
        return Refusal{reasonOf(errno)};
    }
    if (exists) {
        if (const char* why = notARegularFile(status.st_mode)) {
            return Refusal{QString::fromLatin1(why)};
        }
        if (refuseHardLink && status.st_nlink > 1) {
            return Refusal{QStringLiteral("it is a hard link to another file")};
        }
        if (writing == Writing::InPlace && !mayWrite(name, W_OK)) {
            return Refusal{reasonOf(errno)};
        }
    }
    // A new file, and the temporary file of a replaced one, are made in the folder.
    if (!exists || writing == Writing::Replaced) {
        if (!mayWrite(folderAndLast(name).first, W_OK | X_OK)) {
            return Refusal{reasonOf(errno)};
        }
    }
    return {};
}

std::optional<std::pair<std::size_t, std::size_t>>
sameFileTwice(const std::vector<NamedFile>& files) {
    std::vector<Identity> identities;
    for (const NamedFile& file : files) {
        identities.push_back(identityOf(file.name));
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if ((files[i].output || files[j].output) && identities[i] == identities[j]) {
                return std::pair{files[i].output ? i : j, files[i].output ? j : i};
            }
        }
    }
    return std::nullopt;
}

ReplacingFile::ReplacingFile(QByteArray target) : name(std::move(target)) {
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temporary = name + '.';
        for (int i = 0; i < 6; ++i) {
            temporary += letters[QRandomGenerator::global()->bounded(int(sizeof letters) - 1)];
        }
        // 0666 less the umask, as for any new file; an existing file's own
        // permissions are kept below.
        fd = ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
        if (fd < 0 && errno != EEXIST) {
            fail(errno);
            return;
        }
    }
    if (fd < 0) {
        fail(EEXIST);
        return;
    }
    struct stat existing {};
    if (::stat(name.constData(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd, existing.st_mode & 07777);
    }
}

ReplacingFile::~ReplacingFile() {
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.constData());
    }
}

void ReplacingFile::fail(int error) {
    if (problem.isEmpty()) {
        problem = reasonOf(error);
    }
    if (fd >= 0) {
        ::close(fd);
        ::unlink(temporary.constData());
        fd = -1;
    }
}

bool ReplacingFile::write(std::string_view bytes) {
    if (fd < 0) {
        return false;
    }
    const WrittenBytes written = writeFully(fd, bytes);
    bytesWritten += written.bytes;
    if (written.bytes < bytes.size()) {
        fail(written.error != 0 ? written.error : EIO);
    }
    return fd >= 0;
}

bool ReplacingFile::commit() {
    if (fd < 0) {
        return false;
    }
    if (::fsync(fd) != 0 && errno != EINVAL) {
        fail(errno);
        return false;
    }
    // The file holds every byte that was taken, or it does not replace the
    // old one.
    struct stat status {};
    if (::fstat(fd, &status) != 0) {
        fail(errno);
        return false;
    }
    if (static_cast<std::size_t>(status.st_size) != bytesWritten) {
        fail(EIO);
        return false;
    }
    const int descriptor = fd;
    fd = -1;
    if (::close(descriptor) != 0 || ::rename(temporary.constData(), name.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        fail(error);
        return false;
    }
    return true;
}

Refusable<> replaceFile(const QByteArray& name, const QByteArray& bytes) {
    ReplacingFile file(name);
    if (!file.write(bytes) || !file.commit()) {
        return Refusal{file.error()};
    }
    return {};
}
