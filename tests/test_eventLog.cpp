#include "log/eventLog.h"
#include "simulation/shotClock.h"
#include "tests/testSupport.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

// Writes one or more lines through `write` into a fresh log and returns its bytes.
template <typename Write> QByteArray logged(Write write) {
    TemporaryWorkingDirectory directory;
    std::FILE* log = eventlog::open();
    EXPECT_NE(log, nullptr);
    write(log);
    eventlog::close(log);
    EXPECT_EQ(log, nullptr);
    return readBytes("loggfile.txt");
}

} // namespace

TEST(EventLogRows, StartUpRowsAreByteExact) {
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeShotPeriod(f, 4.321, 600.0f); }),
              QByteArray("4.321000: Antall ms mellom hvert skudd er 600.000000 \n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeShotPeriod(f, 0.0, shotPeriodMs(70)); }),
              QByteArray("0.000000: Antall ms mellom hvert skudd er 857.142883 \n"));
    // Two blanks before the name, one before the newline; Å is the byte 0xC5.
    EXPECT_EQ(logged([](std::FILE* f) {
                  eventlog::writeOpenedFile(f, 4.322, QString("C:/data/us.avi").toLatin1());
              }),
              QByteArray("4.322000: \xC5pnet fil  C:/data/us.avi \n"));
    // Names in Latin-1, characters outside it as question marks.
    EXPECT_EQ(logged([](std::FILE* f) {
                  eventlog::writeOpenedFile(
                      f, 1.0, QString::fromUtf8("/v/bl\u00e5b\u00e6r \u2603.avi").toLatin1());
              }),
              QByteArray("1.000000: \xC5pnet fil  /v/bl\xE5"
                         "b\xE6r ?.avi \n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeOpenFailed(f, 4.33); }),
              QByteArray("4.330000  kunne ikke apne fil\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeInitialised(f, 5.0); }),
              QByteArray("5.000000: Initiering fullfort\n\n"));
}

TEST(EventLogRows, CancelledDialogLeavesThreeBlanksBeforeTheNewline) {
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeOpenedFile(f, 2.5, QByteArray()); }),
              QByteArray("2.500000: \xC5pnet fil   \n"));
}

TEST(EventLogRows, TrackingRowsAreByteExact) {
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeTrackingStarted(f, 10.5); }),
              QByteArray("10.500000Starter tracking\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeLeftPlane(f, 11.25); }),
              QByteArray("11.250000: Ut av planet\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeEnteredPlane(f, 13.0f, 1.75); }),
              QByteArray("13.000000: Inn i planet. Var ute av plan i 1.750000 sekunder\n"));
    // The stamp of this row is printed from single precision.
    EXPECT_EQ(logged([](std::FILE* f) {
                  eventlog::writeEnteredPlane(f, static_cast<float>(123.456), 0.5);
              }),
              QByteArray("123.456001: Inn i planet. Var ute av plan i 0.500000 sekunder\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeIntervalStarts(f, 14.025); }),
              QByteArray("14.025000: Skudd intervall starter\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeIntervalEnds(f, 16.1); }),
              QByteArray("16.100000: Skudd intervall slutter\n"));
    EXPECT_EQ(
        logged([](std::FILE* f) { eventlog::writeHit(f, 14.65, 612); }),
        QByteArray("14.650000: Skudd treffer. Det er 612 millisekunder siden forrige treff\n"));
    EXPECT_EQ(logged([](std::FILE* f) { eventlog::writeRateChanged(f, 20.0, 500.0f, 120); }),
              QByteArray("20.000000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n"));
    EXPECT_EQ(
        logged([](std::FILE* f) { eventlog::writeRateChanged(f, 1.0, shotPeriodMs(70), 70); }),
        QByteArray("1.000000: Skuddfrekvens endret til 857.142883ms og 70skudd per min\n"));
}

TEST(EventLogRows, SummaryAndEndRowsAreByteExact) {
    EXPECT_EQ(
        logged([](std::FILE* f) {
            eventlog::writeShotsWithoutTracking(f, 60.0, 100, 83, 50.0f);
            eventlog::writeShotsWithTracking(f, 60.0f, 40);
            eventlog::writeProgramEnded(f, 60.002);
        }),
        QByteArray("60.000000: Totalt skudd i tracking periode uten tracking med 100 skudd per "
                   "min er 83 p\xE5  50.000000 sekunder\n"
                   "60.000000 : P\xE5 denne tiden ble 40 skudd gjennomf\xF8rt i brennpunkt med "
                   "tracking p\xE5\n"
                   "60.002000: Programmet avsluttet\n"));
    // One stamp, printed at full precision in the first row and from single
    // precision in the second.
    const QByteArray both = logged([](std::FILE* f) {
        eventlog::writeShotsWithoutTracking(f, 1234.567, 100, 1, 0.6f);
        eventlog::writeShotsWithTracking(f, static_cast<float>(1234.567), 0);
    });
    EXPECT_TRUE(both.startsWith("1234.567000: Totalt"));
    EXPECT_TRUE(both.contains("\n1234.567017 : P\xE5 denne"));
}

TEST(EventLogRows, EveryLineIsOnDiskAsSoonAsItIsWritten) {
    TemporaryWorkingDirectory directory;
    std::FILE* log = eventlog::open();
    ASSERT_NE(log, nullptr);
    eventlog::writeInitialised(log, 1.0);
    eventlog::writeRateChanged(log, 2.0, 500.0f, 120);
    // Still open: the bytes must already be in the file.
    EXPECT_EQ(readBytes("loggfile.txt"),
              QByteArray("1.000000: Initiering fullfort\n\n"
                         "2.000000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n"));
    eventlog::close(log);
}

TEST(EventLogFile, APreviousLogIsOverwritten) {
    TemporaryWorkingDirectory directory;
    std::FILE* old = std::fopen("loggfile.txt", "w");
    ASSERT_NE(old, nullptr);
    std::fputs("an old run that goes on for a good while\n", old);
    std::fclose(old);
    std::FILE* log = eventlog::open();
    eventlog::writeProgramEnded(log, 0.5);
    eventlog::close(log);
    EXPECT_EQ(readBytes("loggfile.txt"), QByteArray("0.500000: Programmet avsluttet\n"));
}

TEST(EventLogFile, AFileThatCannotBeCreatedGivesAWarningAndNoStream) {
    TemporaryWorkingDirectory directory;
    std::filesystem::create_directory("loggfile.txt");
    testing::internal::CaptureStderr();
    std::FILE* log = eventlog::open();
    const std::string warning = testing::internal::GetCapturedStderr();
    EXPECT_EQ(log, nullptr);
    EXPECT_NE(warning.find("cannot create loggfile.txt"), std::string::npos) << warning;
    EXPECT_EQ(std::count(warning.begin(), warning.end(), '\n'), 1);
    // Every writer swallows lines for a missing log, and closing it twice is harmless.
    eventlog::writeShotPeriod(log, 1.0, 600.0f);
    eventlog::writeRateChanged(log, 1.0, 600.0f, 100);
    eventlog::writeShotsWithoutTracking(log, 1.0, 100, 1, 1.0f);
    eventlog::close(log);
    eventlog::close(log);
}
