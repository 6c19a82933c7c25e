// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/eventLog.h"
#include "log/logText.h"
#include "log/ticks.h"
#include "simulation/shotClock.h"
#include "tests/testSupport.h"

#include <QLabel>
#include <QProcess>
#include <QStatusBar>
#include <QTimer>
#include <clocale>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using eventlog::EventLog;
using Outcome = eventlog::Opening::Outcome;

// Writes one or more lines through `write` into a fresh log and returns its bytes.
template <typename Write> QByteArray logged(Write write) {
    TemporaryWorkingDirectory directory;
    eventlog::Opening opening = eventlog::open();
    EXPECT_EQ(opening.outcome, Outcome::Opened);
    write(opening.log.get());
    EXPECT_EQ(opening.log->close(), 0u);
    return readBytes("loggfile.txt");
}

} // namespace

TEST(EventLogRows, StartUpRowsAreByteExact) {
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeShotPeriod(f, 4.321, 600.0f); }),
              QByteArray("4.321000: Antall ms mellom hvert skudd er 600.000000 \n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeShotPeriod(f, 0.0, shotPeriodMs(70)); }),
              QByteArray("0.000000: Antall ms mellom hvert skudd er 857.142883 \n"));
    // Two blanks before the name, one before the newline; Å is the byte 0xC5.
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeOpenedFile(f, 4.322, "C:/data/us.avi"); }),
              QByteArray("4.322000: \xC5pnet fil  C:/data/us.avi \n"));
    // Names in Latin-1, characters outside it as question marks.
    EXPECT_EQ(logged([](EventLog* f) {
                  eventlog::writeOpenedFile(f, 1.0,
                                            QString::fromUtf8("/v/bl\u00e5b\u00e6r \u2603.avi"));
              }),
              QByteArray("1.000000: \xC5pnet fil  /v/bl\xE5"
                         "b\xE6r ?.avi \n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeOpenFailed(f, 4.33); }),
              QByteArray("4.330000  kunne ikke apne fil\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeInitialised(f, 5.0); }),
              QByteArray("5.000000: Initiering fullfort\n\n"));
}

TEST(EventLogRows, CancelledDialogLeavesThreeBlanksBeforeTheNewline) {
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeOpenedFile(f, 2.5, QString()); }),
              QByteArray("2.500000: \xC5pnet fil   \n"));
}

TEST(EventLogRows, TrackingRowsAreByteExact) {
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeTrackingStarted(f, 10.5); }),
              QByteArray("10.500000Starter tracking\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeLeftPlane(f, 11.25); }),
              QByteArray("11.250000: Ut av planet\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeEnteredPlane(f, 13.0f, 1.75); }),
              QByteArray("13.000000: Inn i planet. Var ute av plan i 1.750000 sekunder\n"));
    // The stamp of this row is printed from single precision.
    EXPECT_EQ(logged([](EventLog* f) {
                  eventlog::writeEnteredPlane(f, static_cast<float>(123.456), 0.5);
              }),
              QByteArray("123.456001: Inn i planet. Var ute av plan i 0.500000 sekunder\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeIntervalStarts(f, 14.025); }),
              QByteArray("14.025000: Skudd intervall starter\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeIntervalEnds(f, 16.1); }),
              QByteArray("16.100000: Skudd intervall slutter\n"));
    EXPECT_EQ(
        logged([](EventLog* f) { eventlog::writeHit(f, 14.65, 612); }),
        QByteArray("14.650000: Skudd treffer. Det er 612 millisekunder siden forrige treff\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeRateChanged(f, 20.0, 500.0f, 120); }),
              QByteArray("20.000000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n"));
    EXPECT_EQ(logged([](EventLog* f) { eventlog::writeRateChanged(f, 1.0, shotPeriodMs(70), 70); }),
              QByteArray("1.000000: Skuddfrekvens endret til 857.142883ms og 70skudd per min\n"));
}

TEST(EventLogRows, SummaryAndEndRowsAreByteExact) {
    EXPECT_EQ(
        logged([](EventLog* f) {
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
    const QByteArray both = logged([](EventLog* f) {
        eventlog::writeShotsWithoutTracking(f, 1234.567, 100, 1, 0.6f);
        eventlog::writeShotsWithTracking(f, static_cast<float>(1234.567), 0);
    });
    EXPECT_TRUE(both.startsWith("1234.567000: Totalt"));
    EXPECT_TRUE(both.contains("\n1234.567017 : P\xE5 denne"));
}

TEST(EventLogRows, EveryLineIsOnDiskAsSoonAsItIsWritten) {
    TemporaryWorkingDirectory directory;
    const eventlog::Opening opening = eventlog::open();
    ASSERT_EQ(opening.outcome, Outcome::Opened);
    eventlog::writeInitialised(opening.log.get(), 1.0);
    eventlog::writeRateChanged(opening.log.get(), 2.0, 500.0f, 120);
    // Still open: the bytes must already be in the file.
    EXPECT_EQ(readBytes("loggfile.txt"),
              QByteArray("1.000000: Initiering fullfort\n\n"
                         "2.000000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n"));
}

TEST(EventLogFile, APreviousLogIsOverwritten) {
    TemporaryWorkingDirectory directory;
    std::FILE* old = std::fopen("loggfile.txt", "w");
    ASSERT_NE(old, nullptr);
    std::fputs("an old run that goes on for a good while\n", old);
    std::fclose(old);
    EventLog* log = eventlog::open().log.release();
    eventlog::writeProgramEnded(log, 0.5);
    eventlog::close(log);
    EXPECT_EQ(log, nullptr);
    EXPECT_EQ(readBytes("loggfile.txt"), QByteArray("0.500000: Programmet avsluttet\n"));
}

namespace {

void writeFile(const std::string& name, const std::string& bytes) {
    std::FILE* file = std::fopen(name.c_str(), "w");
    ASSERT_NE(file, nullptr) << name;
    std::fputs(bytes.c_str(), file);
    std::fclose(file);
}

// loggfile.txt for 0, loggfile.txt.N for N.
std::string logNumber(int number) {
    return number == 0 ? "loggfile.txt" : "loggfile.txt." + std::to_string(number);
}

std::string run(int number) {
    return "run " + std::to_string(number) + "\n";
}

const std::string newLog = "0.500000: Programmet avsluttet\n";

// Opens the log of the working directory, writes one line and closes it.
eventlog::Opening openAndWriteOneLine() {
    eventlog::Opening opening = eventlog::open();
    if (opening.log) {
        eventlog::writeProgramEnded(opening.log.get(), 0.5);
        opening.log->close();
    }
    return opening;
}

} // namespace

TEST(EventLogFile, ALogIsKeptAsLoggfile1AndTheOlderOnesMoveUpToNine) {
    for (int before = 0; before <= 10; ++before) {
        SCOPED_TRACE(std::to_string(before) + " logs before");
        TemporaryWorkingDirectory directory;
        // loggfile.txt holds run 0 (the latest), loggfile.txt.N run N.
        for (int number = 0; number < before; ++number) {
            writeFile(logNumber(number), run(number));
        }
        const struct timespec lastLine[2] = {{1000000000, 0}, {1000000000, 0}};
        if (before > 0) {
            ASSERT_EQ(::chmod("loggfile.txt", 0640), 0);
            ASSERT_EQ(::utimensat(AT_FDCWD, "loggfile.txt", lastLine, 0), 0);
        }
        EXPECT_EQ(openAndWriteOneLine().outcome, Outcome::Opened);
        std::map<std::string, std::string> expected{{"loggfile.txt", "file " + newLog}};
        for (int number = 0; number < std::min(before, 9); ++number) {
            expected[logNumber(number + 1)] = "file " + run(number);
        }
        EXPECT_EQ(directorySnapshot(), expected);
        struct stat kept {};
        if (before > 0 && ::stat("loggfile.txt.1", &kept) == 0) {
            EXPECT_EQ(kept.st_mode & 0777, 0640u);
            EXPECT_EQ(kept.st_mtim.tv_sec, lastLine[1].tv_sec) << "the time of the run's last line";
        }
    }
}

// What lies among loggfile.txt.1 .. .9 where the previous log is kept: only
// old logs are moved or replaced; anything else that would be stops the
// keeping, and then no file at all is changed and the run is not logged.
TEST(EventLogFile, WhatIsNoOldLogInTheWayLeavesEveryFileAsItWas) {
    using Files = std::map<std::string, std::string>;
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* refusal; // null: the log is opened and `after` holds
        Files after;
    };
    const auto files = [](std::initializer_list<int> numbers) {
        for (int number : numbers) {
            writeFile(logNumber(number), run(number));
        }
    };
    const Case cases[] = {
        {"an empty log is not kept",
         [&] {
             writeFile("loggfile.txt", "");
             files({1});
         },
         nullptr,
         {{"loggfile.txt", "file " + newLog}, {"loggfile.txt.1", "file " + run(1)}}},
        {"gaps stay gaps, and .9 stays where nothing moves onto it",
         [&] {
             files({0, 2, 9});
         },
         nullptr,
         {{"loggfile.txt", "file " + newLog},
          {"loggfile.txt.1", "file " + run(0)},
          {"loggfile.txt.3", "file " + run(2)},
          {"loggfile.txt.9", "file " + run(9)}}},
        {"a directory as .9 that nothing moves onto",
         [&] {
             files({0});
             std::filesystem::create_directory("loggfile.txt.9");
         },
         nullptr,
         {{"loggfile.txt", "file " + newLog},
          {"loggfile.txt.1", "file " + run(0)},
          {"loggfile.txt.9", "directory"}}},
        {"a link to a file of the user as .1",
         [&] {
             files({0});
             writeFile("precious.txt", "the user's own data\n");
             std::filesystem::create_symlink("precious.txt", "loggfile.txt.1");
         },
         "loggfile.txt.1 is a symbolic link, not an old log",
         {}},
        {"a link to nothing as .3, which would move",
         [&] {
             files({0});
             std::filesystem::create_symlink("nowhere", "loggfile.txt.3");
         },
         "loggfile.txt.3 is a symbolic link, not an old log",
         {}},
        {"a directory as .5 where .4 would move",
         [&] {
             files({0, 4});
             std::filesystem::create_directory("loggfile.txt.5");
         },
         "loggfile.txt.5 is a directory, not an old log",
         {}},
        {"a FIFO as .9 where .8 would move",
         [&] {
             files({0, 1, 8});
             ASSERT_EQ(mkfifo("loggfile.txt.9", 0600), 0);
         },
         "loggfile.txt.9 is a FIFO, not an old log",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryWorkingDirectory directory;
        c.make();
        const Files before = directorySnapshot();
        testing::internal::CaptureStderr();
        const eventlog::Opening opening = openAndWriteOneLine();
        const std::string warning = testing::internal::GetCapturedStderr();
        if (!c.refusal) {
            EXPECT_EQ(opening.outcome, Outcome::Opened);
            EXPECT_EQ(warning, "");
            EXPECT_EQ(directorySnapshot(), c.after);
            continue;
        }
        EXPECT_EQ(opening.outcome, Outcome::NotLogged);
        EXPECT_EQ(opening.log, nullptr);
        EXPECT_EQ(opening.problem, std::string("cannot keep the previous log loggfile.txt as "
                                               "loggfile.txt.1 (") +
                                       c.refusal + ")");
        EXPECT_NE(warning.find("warning: cannot keep the previous log loggfile.txt in " +
                               directory.path().string() + " as loggfile.txt.1 (" + c.refusal +
                               "); it is left as it was, and this run is not logged"),
                  std::string::npos)
            << warning;
        EXPECT_EQ(directorySnapshot(), before);
    }
}

// flock locks conflict between open file descriptions, so a second opening in
// the same process is refused as a second copy of the program is.
TEST(EventLogFile, ACopyRefusedByTheLockChangesNoFile) {
    TemporaryWorkingDirectory directory;
    for (int number = 0; number <= 9; ++number) {
        writeFile(logNumber(number), run(number));
    }
    eventlog::Opening first = eventlog::open();
    ASSERT_EQ(first.outcome, Outcome::Opened);
    eventlog::writeInitialised(first.log.get(), 0.25);
    const std::map<std::string, std::string> whileFirstRuns = directorySnapshot();
    EXPECT_EQ(whileFirstRuns.at("loggfile.txt.1"), "file " + run(0));
    EXPECT_EQ(whileFirstRuns.at("loggfile.txt.9"), "file " + run(8));

    for (int attempt = 0; attempt < 3; ++attempt) {
        testing::internal::CaptureStderr();
        const eventlog::Opening second = eventlog::open();
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(second.outcome, Outcome::HeldByAnotherProcess);
        EXPECT_EQ(second.log, nullptr);
        EXPECT_EQ(directorySnapshot(), whileFirstRuns);
    }
    eventlog::writeProgramEnded(first.log.get(), 0.5);
    EXPECT_EQ(first.log->close(), 0u);
    EXPECT_EQ(readBytes("loggfile.txt").toStdString(),
              "0.250000: Initiering fullfort\n\n" + newLog);
}

// A copy that cannot be written whole (here: a file size limit, as a full
// disk would) leaves the previous log where it was and the run unlogged.
TEST(EventLogFile, APreviousLogThatCannotBeCopiedIsLeftAsItWasAndNothingIsLogged) {
    TemporaryWorkingDirectory directory;
    std::string longRun;
    for (int line = 0; line < 200; ++line) {
        longRun += "12.345000: Skudd treffer. Det er 612 millisekunder siden forrige treff\n";
    }
    writeFile("loggfile.txt", longRun);
    writeFile("loggfile.txt.1", run(1));
    const std::map<std::string, std::string> before = directorySnapshot();

    struct rlimit saved {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit small = saved;
    small.rlim_cur = 4096;
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    testing::internal::CaptureStderr();
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const eventlog::Opening opening = openAndWriteOneLine();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);
    const std::string warning = testing::internal::GetCapturedStderr();

    EXPECT_EQ(opening.outcome, Outcome::NotLogged);
    EXPECT_EQ(opening.problem, "cannot keep the previous log loggfile.txt as loggfile.txt.1 (the "
                               "file is too large)");
    EXPECT_NE(warning.find("it is left as it was, and this run is not logged"), std::string::npos)
        << warning;
    EXPECT_EQ(directorySnapshot(), before) << "no half copy is left behind";
}

TEST(EventLogFile, AFileThatCannotBeCreatedGivesAWarningAndNoStream) {
    TemporaryWorkingDirectory directory;
    std::filesystem::create_directory("loggfile.txt");
    testing::internal::CaptureStderr();
    EventLog* log = eventlog::open().log.release();
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

TEST(LogText, NumbersAreWrittenAsPrintfWritesThemInTheCLocale) {
    const std::pair<double, const char*> numbers[] = {
        {shotPeriodMs(70), "857.142883"},
        {static_cast<float>(1234.567), "1234.567017"},
        {static_cast<float>(16.001), "16.000999"},
        {-1.5, "-1.500000"},
        {-0.0000005, "-0.000000"},
        {0.9999995, "1.000000"},
        {0.0078125, "0.007812"}, // an exact tie goes to the even digit
        {0.0234375, "0.023438"},
        {1e20, "100000000000000000000.000000"},
    };
    for (const auto& [value, written] : numbers) {
        EXPECT_EQ(eventlog::fixedSix(value), written);
    }
    EXPECT_EQ(eventlog::decimal(-2147483648LL), "-2147483648");
}

// A comma locale made at test time from the locale sources of the system (the
// Debian package "locales"), so that the test does not depend on which locales
// the machine has generated.
TEST(EventLogRows, NumbersKeepTheDecimalPointUnderACommaLocale) {
    TemporaryWorkingDirectory locales;
    // A path with a slash: a bare name would go into the system's locale archive.
    const QString output = QString::fromStdString(locales.file("nb_NO.UTF-8"));
    ASSERT_EQ(QProcess::execute("localedef", {"-i", "nb_NO", "-f", "UTF-8", output}), 0)
        << "localedef could not make nb_NO.UTF-8 (tools/setup.sh installs the package locales)";
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    setenv("LOCPATH", locales.path().c_str(), 1);
    ASSERT_NE(std::setlocale(LC_ALL, "nb_NO.UTF-8"), nullptr);
    char printed[16];
    std::snprintf(printed, sizeof printed, "%f", 1.5);
    EXPECT_STREQ(printed, "1,500000") << "the locale must print a decimal comma";

    const QByteArray log = logged([](EventLog* f) {
        eventlog::writeShotPeriod(f, 0.0, 600.0f);
        eventlog::writeTrackingStarted(f, 1.276);
        eventlog::writeRateChanged(f, 2.5, shotPeriodMs(70), 70);
        eventlog::writeShotsWithoutTracking(f, 1234.567, 70, 1000, 1000.5f);
        eventlog::writeShotsWithTracking(f, static_cast<float>(1234.567), 5);
    });
    std::setlocale(LC_ALL, saved.c_str());
    unsetenv("LOCPATH");
    EXPECT_EQ(log, QByteArray("0.000000: Antall ms mellom hvert skudd er 600.000000 \n"
                              "1.276000Starter tracking\n"
                              "2.500000: Skuddfrekvens endret til 857.142883ms og 70skudd per min\n"
                              "1234.567000: Totalt skudd i tracking periode uten tracking med 70 "
                              "skudd per min er 1000 p\xE5  1000.500000 sekunder\n"
                              "1234.567017 : P\xE5 denne tiden ble 5 skudd gjennomf\xF8rt i "
                              "brennpunkt med tracking p\xE5\n"));
}

TEST(LogText, NamesCannotBreakALineNorCommandATerminal) {
    struct Name {
        QString name;
        QByteArray inLog;
        QByteArray onStderr;
    };
    const Name names[] = {
        {"y\n0.000000: Programmet avsluttet", "y?0.000000: Programmet avsluttet",
         "y\\n0.000000: Programmet avsluttet"},
        {"esc\x1b]0;PWNED\a\x1b[2J.avi", "esc?]0;PWNED??[2J.avi",
         "esc\\x1b]0;PWNED\\a\\x1b[2J.avi"},
        {"cr\r tab\t del\x7f", "cr? tab? del?", "cr\\r tab\\t del\\x7f"},
        {QString::fromUtf8("csi\u009b1m bl\u00e5 \u814e"), "csi?1m bl\xE5 ?",
         "csi\\u009b1m bl\xC3\xA5 \xE8\x85\x8E"},
        {QString("nul") + QChar(0) + "\\x41", "nul?\\x41", "nul\\x00\\\\x41"},
    };
    for (const Name& name : names) {
        EXPECT_EQ(eventlog::loggableName(name.name), name.inLog) << name.onStderr.constData();
        EXPECT_EQ(eventlog::escapedForTerminal(name.name), name.onStderr);
    }
}

namespace {

// A file in memory whose writes fail as a script says: each step answers one
// write; once the script is used up every write takes everything.
class ScriptedSink : public eventlog::ByteSink {
  public:
    struct Step {
        std::size_t take; // bytes taken; 0 fails with `error`
        int error = 0;
    };
    ScriptedSink(std::vector<Step> script, std::string& file)
        : script(std::move(script)), file(file) {}

    Written write(std::string_view bytes) override {
        Step step{bytes.size()};
        if (next < script.size()) {
            step = script[next++];
        }
        const std::size_t taken = std::min(step.take, bytes.size());
        file.append(bytes.substr(0, taken));
        return {taken, taken ? 0 : step.error};
    }
    bool takeBack(std::size_t bytes) override {
        file.resize(file.size() - bytes);
        return true;
    }

  private:
    std::vector<Step> script;
    std::size_t next = 0;
    std::string& file;
};

} // namespace

TEST(EventLogWrites, FailingWritesNeitherCutNorMergeNorSkipALine) {
    const std::string lines[] = {"1.000000: Skudd intervall starter\n",
                                 "2.000000: Skudd intervall slutter\n", "3.000000: Ut av planet\n",
                                 "4.000000: Programmet avsluttet\n"};
    const std::string all = lines[0] + lines[1] + lines[2] + lines[3];
    using Step = ScriptedSink::Step;
    const Step full{0, ENOSPC};
    const std::vector<Step> fullForGood(20, full);
    struct Case {
        const char* what;
        std::vector<Step> script;
        int retriesBeforeClose;
        std::string file;          // what the file holds at the end
        std::size_t lost;          // lines lost at close
        std::vector<bool> reports; // failing or written again, in order
    };
    const Case cases[] = {
        {"short writes only", {{5}, {1}, {7}, {3}, {1}}, 0, all, 0, {}},
        {"the disk full for a while", {{10}, full, full, full}, 0, all, 0, {true, false}},
        {"space back before a retry",
         {{lines[0].size()}, {3}, full, full, full},
         1,
         all,
         0,
         {true, false}},
        {"the disk full for good after a part of line two",
         {{lines[0].size()}, {4}, full, full, full, full, full, full, full, full},
         2,
         lines[0],
         3,
         {true, true}},
        {"the disk full from the first byte", fullForGood, 1, "", 4, {true, true}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string file;
        std::vector<bool> reports;
        std::vector<std::string> messages;
        EventLog log(std::make_unique<ScriptedSink>(c.script, file), "test log");
        log.setReport([&](bool failing, const std::string& message) {
            reports.push_back(failing);
            messages.push_back(message);
        });
        testing::internal::CaptureStderr();
        for (const std::string& line : lines) {
            log.writeLine(line);
            // What reached the file is whole lines in order, and a part of the next.
            EXPECT_EQ(all.compare(0, file.size(), file), 0);
        }
        for (int i = 0; i < c.retriesBeforeClose; ++i) {
            log.retry();
        }
        EXPECT_EQ(log.heldBackLines(), c.lost);
        EXPECT_EQ(log.close(), c.lost);
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_EQ(file, c.file);
        EXPECT_EQ(reports, c.reports);
        if (!messages.empty()) {
            EXPECT_EQ(messages.front(), "the log could not be written: disk full");
            EXPECT_NE(errors.find(messages.front() + " (test log)"), std::string::npos) << errors;
        }
        if (c.lost) {
            EXPECT_EQ(messages.back(), "the log could not be written: disk full; its last " +
                                           std::to_string(c.lost) + " lines are lost");
        }
        log.writeLine(lines[0]);
        EXPECT_EQ(file, c.file) << "nothing is written after the close";
    }
}

TEST(EventLogFile, ALinkOrASpecialFileIsNotTakenAndNothingBlocks) {
    struct Case {
        const char* what;
        std::function<void()> make;
        const char* reason;
    };
    int reader = -1;
    const Case cases[] = {
        {"a link to a file of the user",
         [] { std::filesystem::create_symlink("precious.txt", "loggfile.txt"); },
         "it is a symbolic link, which is not followed"},
        {"a link to a device", [] { std::filesystem::create_symlink("/dev/full", "loggfile.txt"); },
         "it is a symbolic link, which is not followed"},
        {"a hard link to a file of the user",
         [] { std::filesystem::create_hard_link("precious.txt", "loggfile.txt"); },
         "it is a hard link to another file"},
        {"a FIFO that nobody reads", [] { ASSERT_EQ(mkfifo("loggfile.txt", 0600), 0); },
         "it is a FIFO, not a regular file"},
        {"a FIFO that is read",
         [&reader] {
             ASSERT_EQ(mkfifo("loggfile.txt", 0600), 0);
             reader = ::open("loggfile.txt", O_RDONLY | O_NONBLOCK);
             ASSERT_GE(reader, 0);
         },
         "it is a FIFO, not a regular file"},
        {"a directory", [] { std::filesystem::create_directory("loggfile.txt"); },
         "it is a directory"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TemporaryWorkingDirectory directory;
        {
            std::FILE* precious = std::fopen("precious.txt", "w");
            std::fputs("the user's own data\n", precious);
            std::fclose(precious);
        }
        c.make();
        testing::internal::CaptureStderr();
        const eventlog::Opening opening = eventlog::open();
        const std::string warning = testing::internal::GetCapturedStderr();
        EXPECT_EQ(opening.outcome, Outcome::NotLogged);
        EXPECT_EQ(opening.log, nullptr);
        EXPECT_NE(warning.find("warning: cannot create loggfile.txt in " +
                               directory.path().string() + " (" + c.reason +
                               "); this run is not logged"),
                  std::string::npos)
            << warning;
        EXPECT_EQ(readBytes("precious.txt"), QByteArray("the user's own data\n"));
        if (reader >= 0) {
            char byte;
            EXPECT_LE(::read(reader, &byte, 1), 0) << "nothing was written into the FIFO";
            ::close(reader);
            reader = -1;
        }
    }
}

TEST(EventLogWrites, TheWindowShowsAFailureUntilItsRetriesGetTheLinesWritten) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock(clock);
    SyntheticVideoSpec spec;
    spec.frames = 3;
    const auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
    ASSERT_TRUE(window->isReady());
    eventlog::close(window->loggFile);
    std::string file;
    using Step = ScriptedSink::Step;
    window->loggFile = std::make_unique<EventLog>(
        std::make_unique<ScriptedSink>(
            std::vector<Step>{{0, ENOSPC}, {0, ENOSPC}, {5}, {0, ENOSPC}}, file),
        "test log");
    window->showLogProblems();
    auto* problem = window->findChild<QLabel*>("logProblem");
    auto* retry = window->findChild<QTimer*>("logRetry");
    ASSERT_NE(problem, nullptr);
    ASSERT_NE(retry, nullptr);

    testing::internal::CaptureStderr();
    window->endreSkuddFrekvens(120);
    EXPECT_TRUE(problem->isVisibleTo(window.get()));
    EXPECT_EQ(problem->text(), "the log could not be written: disk full");
    EXPECT_TRUE(retry->isActive());
    // Each timeout of the retry timer tries again: one more failure; then a
    // part of the line and a failure; then the rest.
    for (int attempt = 0; attempt < 3; ++attempt) {
        EXPECT_TRUE(QMetaObject::invokeMethod(retry, "timeout"));
    }
    EXPECT_EQ(file, "0.000000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n");
    EXPECT_FALSE(problem->isVisibleTo(window.get()));
    EXPECT_FALSE(retry->isActive());
    EXPECT_EQ(window->statusBar()->currentMessage(), "the log is written again; no line was lost");
    EXPECT_EQ(window->endRun(), 0u);
    testing::internal::GetCapturedStderr();
    EXPECT_TRUE(QByteArray::fromStdString(file).endsWith(": Programmet avsluttet\n"));
}
