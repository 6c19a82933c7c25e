// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/terminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QString>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <unistd.h>

namespace {

// The signals that end a run, in the handlers of both kinds below.
constexpr int handled[] = {SIGINT, SIGTERM, SIGHUP};

// The write end of the pipe of the live instance, for the handler.
volatile std::sig_atomic_t writeEnd = -1;

extern "C" void passOn(int signalNumber) {
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(writeEnd, &number, 1);
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(std::function<void(int)> onSignal)
    : onSignal(std::move(onSignal)) {
    if (writeEnd != -1) {
        throw std::logic_error("only one TerminationSignals at a time");
    }
    if (::pipe2(pipeEnds, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the pipe for signals");
    }
    writeEnd = pipeEnds[1];
    notifier = std::make_unique<QSocketNotifier>(pipeEnds[0], QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { readPipe(); });

    struct sigaction action {};
    action.sa_handler = passOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i) {
        sigaction(handled[i], &action, &previous[i]);
    }
}

TerminationSignals::~TerminationSignals() {
    for (int i = 0; i < 3; ++i) {
        sigaction(handled[i], &previous[i], nullptr);
    }
    writeEnd = -1;
    notifier.reset();
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
}

void TerminationSignals::endEventLoops(int signalNumber) {
    QCoreApplication::exit(128 + signalNumber);
}

void TerminationSignals::readPipe() {
    unsigned char number = 0;
    while (::read(pipeEnds[0], &number, 1) == 1) {
        if (first == 0) {
            first = number;
        }
        if (onSignal) {
            onSignal(number);
        }
    }
}

namespace {

volatile std::sig_atomic_t remembered = 0;
int rememberedPipe[2] = {-1, -1};

extern "C" void remember(int signalNumber) {
    // The first signal is the reason the run ends; later ones only repeat it.
    if (remembered == 0) {
        remembered = signalNumber;
    }
    const int savedErrno = errno;
    const unsigned char number = static_cast<unsigned char>(signalNumber);
    [[maybe_unused]] const ssize_t written = ::write(rememberedPipe[1], &number, 1);
    errno = savedErrno;
}

std::function<void()> pending;

} // namespace

void rememberTerminationSignals() {
    if (rememberedPipe[0] < 0 && ::pipe2(rememberedPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        throw std::runtime_error("cannot create the pipe for signals");
    }
    struct sigaction action {};
    action.sa_handler = remember;
    sigemptyset(&action.sa_mask);
    for (int signalNumber : handled) {
        sigaction(signalNumber, &action, nullptr);
    }
}

int rememberedTerminationSignal() {
    return remembered;
}

int terminationSignalDescriptor() {
    return rememberedPipe[0];
}

QString signalName(int signalNumber) {
    const char* abbreviation = sigabbrev_np(signalNumber);
    return abbreviation ? QStringLiteral("SIG") + QLatin1String(abbreviation)
                        : QStringLiteral("signal %1").arg(signalNumber);
}

RunAtExit::RunAtExit(std::function<void()> function) {
    static const bool registered = std::atexit(runPending) == 0;
    if (!registered) {
        throw std::runtime_error("cannot register the exit hook");
    }
    pending = std::move(function);
}

RunAtExit::~RunAtExit() {
    pending = nullptr;
}

void RunAtExit::runPending() {
    const std::function<void()> function = std::move(pending);
    pending = nullptr;
    if (function) {
        function();
    }
}
