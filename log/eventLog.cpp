#include "log/eventLog.h"

#include <QDir>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace eventlog {

namespace {

// Latin-1 spellings of the Norwegian texts.
constexpr const char* opened = ": \xC5pnet fil ";
constexpr const char* atThisTime = ": P\xE5 denne tiden ble";
constexpr const char* firedWithTracking = "skudd gjennomf\xF8rt i brennpunkt med tracking p\xE5\n";
constexpr const char* over = " p\xE5 ";

[[gnu::format(printf, 2, 3)]] void write(std::FILE* log, const char* format, ...) {
    if (!log) {
        return;
    }
    std::va_list arguments;
    va_start(arguments, format);
    std::vfprintf(log, format, arguments);
    va_end(arguments);
}

void endLine(std::FILE* log) {
    if (log) {
        std::fflush(log);
    }
}

} // namespace

std::FILE* open(const char* path) {
    std::FILE* log = std::fopen(path, "w");
    if (!log) {
        const int error = errno;
        std::fprintf(stderr,
                     "tessavolant: warning: cannot create %s in %s (%s); this run is not logged\n",
                     path, QDir::currentPath().toLocal8Bit().constData(), std::strerror(error));
    }
    return log;
}

void close(std::FILE*& stream) {
    if (stream) {
        std::fclose(stream);
        stream = nullptr;
    }
}

void writeShotPeriod(std::FILE* log, double t, float msPerSkudd) {
    write(log, "%f%s %f %s", t, ": Antall ms mellom hvert skudd er", msPerSkudd, "\n");
    endLine(log);
}

void writeOpenedFile(std::FILE* log, double t, const QByteArray& latin1Path) {
    write(log, "%f%s %s %s", t, opened, latin1Path.constData(), "\n");
    endLine(log);
}

void writeOpenFailed(std::FILE* log, double t) {
    write(log, "%f %s", t, " kunne ikke apne fil\n");
    endLine(log);
}

void writeInitialised(std::FILE* log, double t) {
    write(log, "%f%s", t, ": Initiering fullfort\n\n");
    endLine(log);
}

void writeTrackingStarted(std::FILE* log, double t) {
    write(log, "%f%s", t, "Starter tracking\n");
    endLine(log);
}

void writeLeftPlane(std::FILE* log, double t) {
    write(log, "%f%s", t, ": Ut av planet\n");
    endLine(log);
}

void writeEnteredPlane(std::FILE* log, float logTime, double secondsOutOfPlane) {
    write(log, "%f%s %f %s", logTime, ": Inn i planet. Var ute av plan i", secondsOutOfPlane,
          "sekunder\n");
    endLine(log);
}

void writeIntervalStarts(std::FILE* log, double t) {
    write(log, "%f%s", t, ": Skudd intervall starter\n");
    endLine(log);
}

void writeIntervalEnds(std::FILE* log, double t) {
    write(log, "%f%s", t, ": Skudd intervall slutter\n");
    endLine(log);
}

void writeHit(std::FILE* log, double t, int msSincePreviousHit) {
    write(log, "%f%s %d %s", t, ": Skudd treffer. Det er", msSincePreviousHit,
          "millisekunder siden forrige treff\n");
    endLine(log);
}

void writeRateChanged(std::FILE* log, double t, float msPerSkudd, int skuddPerMin) {
    write(log, "%f%s%f", t, ": Skuddfrekvens endret til ", msPerSkudd);
    write(log, "%s%d%s", "ms og ", skuddPerMin, "skudd per min\n");
    endLine(log);
}

void writeShotsWithoutTracking(std::FILE* log, double t, int skuddPerMin, int shots,
                               float trackingSeconds) {
    write(log, "%f%s %d %s %d", t, ": Totalt skudd i tracking periode uten tracking med",
          skuddPerMin, "skudd per min er", shots);
    write(log, "%s %f %s", over, trackingSeconds, "sekunder");
    write(log, "\n");
    endLine(log);
}

void writeShotsWithTracking(std::FILE* log, float logTime, int antallSkudd) {
    write(log, "%f %s %d %s", logTime, atThisTime, antallSkudd, firedWithTracking);
    endLine(log);
}

void writeProgramEnded(std::FILE* log, double t) {
    write(log, "%f%s", t, ": Programmet avsluttet\n");
    endLine(log);
}

} // namespace eventlog
