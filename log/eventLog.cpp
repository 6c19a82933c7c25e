// SPDX-License-Identifier: GPL-3.0-or-later
#include "log/eventLog.h"

#include "log/logText.h"

namespace eventlog {

namespace {

// Latin-1 spellings of the Norwegian texts.
constexpr const char* opened = ": \xC5pnet fil ";
constexpr const char* atThisTime = ": P\xE5 denne tiden ble";
constexpr const char* firedWithTracking = "skudd gjennomf\xF8rt i brennpunkt med tracking p\xE5\n";
constexpr const char* over = " p\xE5 ";

void write(EventLog* log, std::string line) {
    if (log) {
        log->writeLine(std::move(line));
    }
}

ProblemReporter& installedReporter() {
    static ProblemReporter reporter;
    return reporter;
}

} // namespace

void setProblemReporter(ProblemReporter reporter) {
    installedReporter() = std::move(reporter);
}

void reportProblem(const std::string& message) {
    if (installedReporter()) {
        installedReporter()(message);
    }
}

EventLog::EventLog(std::unique_ptr<ByteSink> sink, std::string name)
    : sink(std::move(sink)), name(std::move(name)) {}

EventLog::~EventLog() {
    close();
}

void EventLog::writeLine(std::string line) {
    if (!sink) {
        return;
    }
    heldBack.push_back(std::move(line));
    retry();
}

bool EventLog::retry() {
    if (!sink) {
        return heldBack.empty();
    }
    while (!heldBack.empty()) {
        const std::string& line = heldBack.front();
        const ByteSink::Written written =
            sink->write(std::string_view(line).substr(writtenOfFirst));
        if (written.bytes == 0) {
            failed(written.error);
            return false;
        }
        writtenOfFirst += written.bytes;
        if (writtenOfFirst == line.size()) {
            heldBack.pop_front();
            writtenOfFirst = 0;
        }
    }
    if (failing) {
        failing = false;
        reportProblem("the log is written again (" + name + "); no line was lost");
        if (reportTo) {
            reportTo(false, "the log is written again; no line was lost");
        }
    }
    return true;
}

void EventLog::failed(int error) {
    if (failing) {
        return;
    }
    failing = true;
    problem = "the log could not be written: " + whyNotWritten(error);
    const std::string& message = problem;
    reportProblem(message + " (" + name +
                  "); its lines are held back and written as soon as the file takes them");
    if (reportTo) {
        reportTo(true, message);
    }
}

std::size_t EventLog::close() {
    if (!sink) {
        return 0;
    }
    retry();
    const std::size_t lost = heldBack.size();
    if (lost > 0) {
        const bool cutLineRemoved = writtenOfFirst == 0 || sink->takeBack(writtenOfFirst);
        const std::string message = problem + "; its last " + std::to_string(lost) +
                                    (lost == 1 ? " line is" : " lines are") + " lost" +
                                    (cutLineRemoved ? "" : ", and its last line is cut");
        reportProblem(message + " (" + name + ")");
        if (reportTo) {
            reportTo(true, message);
        }
        heldBack.clear();
    }
    sink.reset();
    return lost;
}

std::size_t close(EventLog*& log) {
    std::unique_ptr<EventLog> owned(log);
    log = nullptr;
    return close(owned);
}

std::size_t close(std::unique_ptr<EventLog>& log) {
    std::size_t lost = 0;
    if (log) {
        lost = log->close();
        log.reset();
    }
    return lost;
}

void writeShotPeriod(EventLog* log, double t, float msPerSkudd) {
    write(log, fixedSix(t) + ": Antall ms mellom hvert skudd er " + fixedSix(msPerSkudd) + " \n");
}

void writeOpenedFile(EventLog* log, double t, const QString& videoName) {
    write(log, fixedSix(t) + opened + " " + loggableName(videoName).toStdString() + " \n");
}

void writeOpenFailed(EventLog* log, double t) {
    write(log, fixedSix(t) + "  kunne ikke apne fil\n");
}

void writeInitialised(EventLog* log, double t) {
    write(log, fixedSix(t) + ": Initiering fullfort\n\n");
}

void writeTrackingStarted(EventLog* log, double t) {
    write(log, fixedSix(t) + "Starter tracking\n");
}

void writeLeftPlane(EventLog* log, double t) {
    write(log, fixedSix(t) + ": Ut av planet\n");
}

void writeEnteredPlane(EventLog* log, float logTime, double secondsOutOfPlane) {
    write(log, fixedSix(logTime) + ": Inn i planet. Var ute av plan i " +
                   fixedSix(secondsOutOfPlane) + " sekunder\n");
}

void writeIntervalStarts(EventLog* log, double t) {
    write(log, fixedSix(t) + ": Skudd intervall starter\n");
}

void writeIntervalEnds(EventLog* log, double t) {
    write(log, fixedSix(t) + ": Skudd intervall slutter\n");
}

void writeHit(EventLog* log, double t, int msSincePreviousHit) {
    write(log, fixedSix(t) + ": Skudd treffer. Det er " + decimal(msSincePreviousHit) +
                   " millisekunder siden forrige treff\n");
}

void writeRateChanged(EventLog* log, double t, float msPerSkudd, int skuddPerMin) {
    write(log, fixedSix(t) + ": Skuddfrekvens endret til " + fixedSix(msPerSkudd) + "ms og " +
                   decimal(skuddPerMin) + "skudd per min\n");
}

void writeShotsWithoutTracking(EventLog* log, double t, int skuddPerMin, int shots,
                               float trackingSeconds) {
    write(log, fixedSix(t) + ": Totalt skudd i tracking periode uten tracking med " +
                   decimal(skuddPerMin) + " skudd per min er " + decimal(shots) + over + " " +
                   fixedSix(trackingSeconds) + " sekunder\n");
}

void writeShotsWithTracking(EventLog* log, float logTime, int antallSkudd) {
    write(log, fixedSix(logTime) + " " + atThisTime + " " + decimal(antallSkudd) + " " +
                   firedWithTracking);
}

void writeProgramEnded(EventLog* log, double t) {
    write(log, fixedSix(t) + ": Programmet avsluttet\n");
}

} // namespace eventlog
