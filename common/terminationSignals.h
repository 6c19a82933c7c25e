// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <csignal>
#include <functional>
#include <memory>

class QSocketNotifier;
class QString;

// Turns SIGINT, SIGTERM and SIGHUP into a call on the Qt event loop, so that a
// program asked to end by a signal ends the way it does when its window is
// closed: destructors run and files are finished. The handler itself only
// writes the signal's number into a pipe; the event loop reads it.
//
// One instance at a time; it must outlive the event loops it serves. A signal
// that arrives while a modal dialog runs its own loop reaches it as well.
class TerminationSignals {
  public:
    // Called on the event loop with the number of each signal received. The
    // default ends every running event loop with exit code 128 + the number.
    explicit TerminationSignals(std::function<void(int)> onSignal = endEventLoops);
    // Puts back the handlers that were in force before.
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

    // The first signal received so far, 0 if none.
    int received() const { return first; }
    // 128 + the first signal received, or `otherwise` if none was.
    int exitCode(int otherwise) const { return first ? 128 + first : otherwise; }

    static void endEventLoops(int signalNumber);

  private:
    void readPipe();

    std::function<void(int)> onSignal;
    int pipeEnds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier;
    int first = 0;
    struct sigaction previous[3] = {};
};

// For a program that runs no event loop while it works: from now on SIGINT,
// SIGTERM and SIGHUP only set a number that its loop reads between steps.
void rememberTerminationSignals();
// The first of those signals received since, 0 if none.
int rememberedTerminationSignal();
// Readable from the first of those signals on (it is never drained), so that
// a wait with poll() can end on one; -1 before rememberTerminationSignals().
int terminationSignalDescriptor();

// "SIGINT", as a message names a signal.
QString signalName(int signalNumber);

// Runs a function once if the process ends through exit() while the guard
// lives: Qt's X11 plugin ends the process with exit(1) when the connection to
// the display breaks, and no destructor on the stack runs then.
class RunAtExit {
  public:
    explicit RunAtExit(std::function<void()> function);
    ~RunAtExit();
    RunAtExit(const RunAtExit&) = delete;
    RunAtExit& operator=(const RunAtExit&) = delete;

    // What std::exit runs; public so that a test can call it as exit would.
    static void runPending();
};
