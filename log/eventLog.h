// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/defaults.h"
#include "log/byteSink.h"

#include <QString>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>

// The event log "loggfile.txt": one writer per kind of line. Every line opens
// with a time stamp in seconds since start-up; the texts are Latin-1 bytes and
// the numbers are written as the C library's "%f" and "%d" write them in the
// "C" locale, whatever the user's locale. Each line is composed whole and then
// written at once, so that a crash or a kill loses nothing already written.
namespace eventlog {

inline constexpr const char* fileName = defaults::logFileName;

// Where a log says what goes wrong with it while a program runs: a file that
// cannot be created, lines held back, written again or lost. Each program's
// main installs one that prints the message under the program's name; until
// then the messages go nowhere. The window's status bar hears of write
// failures besides, through EventLog::setReport.
using ProblemReporter = std::function<void(const std::string& message)>;
void setProblemReporter(ProblemReporter reporter);
// Hands `message` to the installed reporter.
void reportProblem(const std::string& message);

// An open log. Lines go to the sink whole and in order; bytes that the sink
// does not take are held back, in order, and written before the next line, on
// retry() and at close. A failure is reported at once, once for each spell of
// failures; the program goes on.
class EventLog {
  public:
    // `failing` is true when writing has begun to fail, with what went wrong
    // ("the log could not be written: disk full"); false when the file has
    // taken every held-back line again.
    using Report = std::function<void(bool failing, const std::string& message)>;

    // `name` names the file in messages.
    EventLog(std::unique_ptr<ByteSink> sink, std::string name);
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // One whole line (or, for the end of start-up, a line and an empty one).
    void writeLine(std::string line);
    // Writes what is held back; true when nothing is left.
    bool retry();
    std::size_t heldBackLines() const { return heldBack.size(); }
    // Called besides the message to the problem reporter; an empty function
    // stops it.
    void setReport(Report report) { reportTo = std::move(report); }
    // Writes what is held back a last time and closes the file. Returns the
    // number of lines that never reached it (said to the reporter), 0 if all did. A
    // line of which only a part could be written is taken out of the file
    // again. Nothing is written after this.
    std::size_t close();

  private:
    void failed(int error);

    std::unique_ptr<ByteSink> sink;
    std::string name;
    std::deque<std::string> heldBack;
    std::size_t writtenOfFirst = 0; // bytes of heldBack.front() already in the file
    bool failing = false;
    std::string problem; // what went wrong last
    Report reportTo;
};

// What came of opening a log.
struct Opening {
    enum class Outcome {
        Opened,
        // Not created, or not a file that may be logged to (a symbolic link,
        // a FIFO, a device, a directory): a warning has gone to the problem
        // reporter and the run goes on without a log.
        NotLogged,
        // Another process holds the log's lock: the file was left untouched.
        HeldByAnotherProcess,
    };
    std::unique_ptr<EventLog> log;
    Outcome outcome = Outcome::NotLogged;
    // NotLogged only: why, in a few words for a status line, naming the file
    // as `path` does ("cannot create loggfile.txt (Permission denied)").
    std::string problem;
};

// Opens the log at `path` (relative paths from the working directory) without
// ever blocking: a new file is created, an existing regular file is locked
// (advisory, for as long as the log is open) and only then emptied. A symbolic
// link is not followed.
//
// A log that is not empty is kept first, once the lock is held: PATH.1 ..
// PATH.8 become PATH.2 .. PATH.9 (the old PATH.9 is dropped) and a copy of the
// log becomes PATH.1. The log is emptied in place, so its lock stays on the
// file that a second copy opens. Where the previous log cannot be kept (a full
// disk, a read-only directory, a link or a directory among PATH.1 .. PATH.9),
// no file is changed and the outcome is NotLogged.
Opening open(const std::string& path = fileName);

// Closes the log if there is one, deletes it and sets `log` to nullptr, so that
// nothing can be written through it afterwards. Returns the lines lost.
std::size_t close(EventLog*& log);
std::size_t close(std::unique_ptr<EventLog>& log);

// The rows. A null log (none could be opened) swallows every line.
void writeShotPeriod(EventLog* log, double t, float msPerSkudd);
void writeOpenedFile(EventLog* log, double t, const QString& videoName);
void writeOpenFailed(EventLog* log, double t);
void writeInitialised(EventLog* log, double t);
void writeTrackingStarted(EventLog* log, double t);
void writeLeftPlane(EventLog* log, double t);
void writeEnteredPlane(EventLog* log, float logTime, double secondsOutOfPlane);
void writeIntervalStarts(EventLog* log, double t);
void writeIntervalEnds(EventLog* log, double t);
void writeHit(EventLog* log, double t, int msSincePreviousHit);
void writeRateChanged(EventLog* log, double t, float msPerSkudd, int skuddPerMin);
void writeShotsWithoutTracking(EventLog* log, double t, int skuddPerMin, int shots,
                               float trackingSeconds);
void writeShotsWithTracking(EventLog* log, float logTime, int antallSkudd);
void writeProgramEnded(EventLog* log, double t);

} // namespace eventlog
