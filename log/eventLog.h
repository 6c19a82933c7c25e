#pragma once

#include <QByteArray>
#include <cstdio>

// The event log "loggfile.txt": one writer per kind of line. Every line opens
// with a time stamp in seconds since start-up; the texts are Latin-1 bytes and
// the numbers use the C library's "%f" and "%d". A null stream (the file could
// not be created) swallows every line, and every line is flushed as soon as it
// is complete so that a crash or a kill loses nothing already written.
namespace eventlog {

inline constexpr const char* fileName = "loggfile.txt";

// Creates or empties the log (by default in the working directory). On
// failure prints one warning on stderr and returns nullptr; the program then
// runs without a log.
std::FILE* open(const char* path = fileName);
// Closes the stream if there is one and sets it to nullptr, so that nothing can
// be written through it afterwards.
void close(std::FILE*& stream);

void writeShotPeriod(std::FILE* log, double t, float msPerSkudd);
void writeOpenedFile(std::FILE* log, double t, const QByteArray& latin1Path);
void writeOpenFailed(std::FILE* log, double t);
void writeInitialised(std::FILE* log, double t);
void writeTrackingStarted(std::FILE* log, double t);
void writeLeftPlane(std::FILE* log, double t);
void writeEnteredPlane(std::FILE* log, float logTime, double secondsOutOfPlane);
void writeIntervalStarts(std::FILE* log, double t);
void writeIntervalEnds(std::FILE* log, double t);
void writeHit(std::FILE* log, double t, int msSincePreviousHit);
void writeRateChanged(std::FILE* log, double t, float msPerSkudd, int skuddPerMin);
void writeShotsWithoutTracking(std::FILE* log, double t, int skuddPerMin, int shots,
                               float trackingSeconds);
void writeShotsWithTracking(std::FILE* log, float logTime, int antallSkudd);
void writeProgramEnded(std::FILE* log, double t);

} // namespace eventlog
