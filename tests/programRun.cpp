// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/programRun.h"

#include <QElapsedTimer>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

// In the child, between fork and exec: only async-signal-safe calls.
[[noreturn]] void becomeProgram(const char* program, std::vector<char*>& argv,
                                const ProgramStart& start, int outWrite, int errWrite,
                                int outFile) {
    ::dup2(start.output == ProgramStart::Output::File ? outFile : outWrite, STDOUT_FILENO);
    ::dup2(errWrite, STDERR_FILENO);
    if (start.fileSizeLimit) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(*start.fileSizeLimit),
                           static_cast<rlim_t>(*start.fileSizeLimit)};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ::execv(program, argv.data());
    ::_exit(127);
}

} // namespace

ProgramEnd runProgram(const char* program, const ProgramStart& start, int timeoutMs) {
    ProgramEnd end;
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        return end;
    }
    const int outFile = start.output == ProgramStart::Output::File
                            ? ::open(start.outputFile.constData(), O_WRONLY | O_CLOEXEC)
                            : -1;
    if (start.output == ProgramStart::Output::ClosedPipe) {
        ::close(out[0]);
        out[0] = -1;
    }
    std::vector<QByteArray> storage{QByteArray(program)};
    for (const QByteArray& argument : start.arguments) {
        storage.push_back(argument);
    }
    std::vector<char*> argv;
    for (QByteArray& argument : storage) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    const pid_t child = ::fork();
    if (child == 0) {
        becomeProgram(program, argv, start, out[1], err[1], outFile);
    }
    ::close(out[1]);
    ::close(err[1]);
    if (outFile >= 0) {
        ::close(outFile);
    }
    QElapsedTimer elapsed;
    elapsed.start();
    std::vector<std::pair<int, QByteArray*>> open;
    if (out[0] >= 0) {
        open.push_back({out[0], &end.output});
    }
    open.push_back({err[0], &end.errors});
    while (!open.empty() && elapsed.elapsed() < timeoutMs) {
        std::vector<pollfd> watched;
        for (const auto& [fd, into] : open) {
            watched.push_back({fd, POLLIN, 0});
        }
        const int left = static_cast<int>(timeoutMs - elapsed.elapsed());
        if (::poll(watched.data(), watched.size(), left > 0 ? left : 0) <= 0) {
            continue;
        }
        for (std::size_t i = watched.size(); i-- > 0;) {
            if (watched[i].revents == 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = ::read(watched[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                open[i].second->append(buffer, got);
            } else {
                ::close(watched[i].fd);
                open.erase(open.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    if (!open.empty()) {
        ::kill(child, SIGKILL);
        for (const auto& [fd, into] : open) {
            ::close(fd);
        }
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    if (open.empty() && WIFEXITED(status)) {
        end.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        end.signal = WTERMSIG(status);
    }
    return end;
}
