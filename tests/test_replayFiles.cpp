// SPDX-License-Identifier: GPL-3.0-or-later
// The replay never destroys a file it is given: an output that is an input or
// another output is refused, nothing is written before every check has passed,
// every name keeps its own bytes, no wait outlasts Ctrl+C, and results reach
// their files before stdout.

#include "tests/programRun.h"
#include "tests/testSupport.h"
#include "tests/wellFormedLog.h"
#include "tools/badInputs.h"

#include <QElapsedTimer>
#include <QProcess>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

const char* const replayBinary = TESSAVOLANT_REPLAY_BINARY;

// The damage source: 160 x 120, 50 frames, the stone in this region.
const QByteArray select = "70,50,24,20";

class ReplayFiles : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        sources = std::make_unique<TemporaryWorkingDirectory>();
        ASSERT_TRUE(writeSyntheticVideo(sources->file("v.avi"), sources->file("T.csv"),
                                        badinputs::damageSource()));
        ASSERT_TRUE(badinputs::writeVideoOfAnySize(sources->file("one.avi"),
                                                   badinputs::crossingStone({160, 120}, 1)));
    }
    static void TearDownTestSuite() { sources.reset(); }

    void SetUp() override {
        for (const char* name : {"v.avi", "T.csv", "one.avi"}) {
            fs::copy_file(sources->file(name), name);
        }
    }

    static inline std::unique_ptr<TemporaryWorkingDirectory> sources;
    TemporaryWorkingDirectory directory;
};

// Every entry below the working directory, symbolic links not followed: the
// bytes of each regular file, the target of each link.
std::map<std::string, std::string> snapshot() {
    std::map<std::string, std::string> entries;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(".")) {
        const fs::file_status status = entry.symlink_status();
        std::string what = "special";
        if (fs::is_symlink(status)) {
            what = "link to " + fs::read_symlink(entry.path()).string();
        } else if (fs::is_regular_file(status) && entry.file_size() > (1 << 20)) {
            // The oversized truth file: its size and time stand for its bytes.
            what = "large file " + std::to_string(entry.file_size()) + " " +
                   std::to_string(entry.last_write_time().time_since_epoch().count());
        } else if (fs::is_regular_file(status)) {
            what = "file " + badinputs::readFile(entry.path());
        } else if (fs::is_directory(status)) {
            what = "folder";
        }
        entries[entry.path().string()] = what;
    }
    return entries;
}

QList<QByteArray> lines(const QByteArray& text) {
    QList<QByteArray> split = text.split('\n');
    if (!split.isEmpty() && split.last().isEmpty()) {
        split.removeLast();
    }
    return split;
}

// Holds the exclusive lock that a log or a summary table is written under.
class HeldLock {
  public:
    explicit HeldLock(const char* name) : fd(::open(name, O_RDONLY | O_CLOEXEC)) {
        EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << name;
    }
    ~HeldLock() { ::close(fd); }
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;

  private:
    int fd;
};

// The largest truth file the replay reads.
constexpr long truthLimitBytes = 64L << 20;

// The files that a hostile command line names, beside the video and its truth.
void writeHostileFiles() {
    ASSERT_TRUE(badinputs::writeFile("keep.csv", "tick,frame\n1,2\n"));
    ASSERT_TRUE(badinputs::writeFile("keep.log", "0.000000: the log of an earlier run\n"));
    ASSERT_TRUE(badinputs::writeFile("held.log", "0.000000: a run still going\n"));
    ASSERT_TRUE(badinputs::writeFile("bad.csv", "frame,centre_x\n0,1\n"));
    ASSERT_EQ(::link("T.csv", "hard.csv"), 0);
    fs::create_symlink("keep.csv", "link.csv");
    ASSERT_EQ(::mkfifo("fifo", 0644), 0);
    fs::create_directory("dir");
    fs::create_directory_symlink("dir", "dirlink");
    ASSERT_TRUE(badinputs::writeFile("big.csv", "frame,centre_x,centre_y\n"));
    fs::resize_file("big.csv", truthLimitBytes + 1);
}

TEST_F(ReplayFiles, ARefusedRunLeavesEveryFileAsItWasAndSaysWhyOnce) {
    const struct {
        QList<QByteArray> arguments;
        int exitCode;
        std::vector<const char*> says;
    } cases[] = {
        // An output that is an input or another output.
        {{"--log", "v.avi", "v.avi"}, 2, {"--log", "VIDEO"}},
        {{"--truth", "T.csv", "--log", "T.csv", "v.avi"}, 2, {"--log", "--truth"}},
        {{"--truth", "T.csv", "--track", "T.csv", "v.avi"}, 2, {"--track", "--truth"}},
        {{"--truth", "T.csv", "--report", "T.csv", "v.avi"}, 2, {"--report", "--truth"}},
        {{"--truth", "T.csv", "--summary", "T.csv", "v.avi"}, 2, {"--summary", "--truth"}},
        {{"--truth", "T.csv", "--track", "hard.csv", "v.avi"}, 2, {"--track", "--truth"}},
        {{"--log", "keep.log", "--track", "keep.log", "v.avi"}, 2, {"--log", "--track"}},
        {{"--log", "new.log", "--track", "./dir/../new.log", "v.avi"}, 2, {"--log", "--track"}},
        {{"--log", "dirlink/x.log", "--track", "dir/x.log", "v.avi"}, 2, {"--log", "--track"}},
        {{"--track", "loggfile.txt", "v.avi"}, 2, {"--track", "--log"}},
        {{"--truth", "T.csv", "--plot", "p.png", "--report", "p.png", "v.avi"},
         2,
         {"--report", "--plot"}},
        {{"--truth", "T.csv", "--plot", "p.png", "--latency-sweep", "0:100:50", "--track",
          "p-sweep.png", "v.avi"},
         2,
         {"--track", "sweep"}},
        // A check that fails after the track is named.
        {{"--track", "keep.csv", "missing.avi"}, 1, {"missing.avi", "no such file"}},
        {{"--track", "keep.csv", "one.avi"}, 1, {"one.avi", "one frame"}},
        {{"--track", "keep.csv", "--select", "150,100,24,20", "v.avi"}, 2, {"outside"}},
        {{"--track", "keep.csv", "--log", "held.log", "v.avi"}, 1, {"held.log", "another"}},
        {{"--track", "keep.csv", "--truth", "bad.csv", "v.avi"}, 2, {"bad.csv:1"}},
        // Outputs that are no regular file, or cannot be made.
        {{"--track", "link.csv", "v.avi"}, 1, {"link.csv", "symbolic link"}},
        {{"--track", "fifo", "v.avi"}, 1, {"fifo", "FIFO"}},
        {{"--track", "/dev/null", "v.avi"}, 1, {"/dev/null", "device"}},
        {{"--track", "dir", "v.avi"}, 1, {"dir", "directory"}},
        {{"--truth", "T.csv", "--summary", "fifo", "v.avi"}, 1, {"fifo", "FIFO"}},
        {{"--log", "nodir/x.log", "v.avi"}, 1, {"the log", "nodir/x.log", "No such file"}},
        {{"--track", "nodir/a.csv", "v.avi"}, 1, {"the track", "nodir/a.csv", "No such file"}},
        {{"--truth", "T.csv", "--plot", "p.jpg", "v.avi"}, 2, {"--plot", ".png", ".pdf", ".svg"}},
        // Truth files that are no regular file or too large.
        {{"--truth", "/dev/zero", "v.avi"}, 2, {"/dev/zero", "regular file"}},
        {{"--truth", "fifo", "v.avi"}, 2, {"fifo", "FIFO"}},
        {{"--truth", "big.csv", "v.avi"}, 2, {"big.csv", "64 MiB"}},
    };
    for (const auto& c : cases) {
        QList<QByteArray> arguments{"--quiet", "--ticks", "5"};
        if (!c.arguments.contains("--select")) {
            arguments << "--select" << select;
        }
        arguments << c.arguments;
        SCOPED_TRACE(arguments.join(' ').toStdString());
        // Each in a folder of its own, so that no case sees what another did.
        const TemporaryWorkingDirectory own;
        for (const char* name : {"v.avi", "T.csv", "one.avi"}) {
            fs::copy_file(sources->file(name), name);
        }
        writeHostileFiles();
        const HeldLock otherRun("held.log");
        const auto before = snapshot();
        const ProgramEnd run = runProgram(replayBinary, arguments, 20000);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.errors.constData();
        for (const char* word : c.says) {
            EXPECT_TRUE(run.errors.contains(word)) << run.errors.constData();
        }
        // One message, and for wrong usage the pointer to --help.
        const QList<QByteArray> said = lines(run.errors);
        EXPECT_EQ(said.size(), c.exitCode == 2 ? 2 : 1) << run.errors.constData();
        EXPECT_TRUE(run.errors.startsWith("tessavolant-replay: ")) << run.errors.constData();
        EXPECT_TRUE(run.output.isEmpty()) << run.output.constData();
        EXPECT_EQ(snapshot(), before);
    }
}

// Names whose bytes are no valid UTF-8 (Latin-1 names written on an older
// machine) are written and read as they are, never under U+FFFD.
TEST_F(ReplayFiles, EveryNameKeepsItsOwnBytes) {
    fs::copy_file("T.csv", "tr\xe5.csv");
    fs::copy_file("v.avi", "bl\xe5.avi");
    fs::copy_file("v.avi", "bl\xe6.avi");
    fs::create_directory("out");
    const struct {
        QList<QByteArray> arguments;
        std::vector<const char*> written;
    } cases[] = {
        {{"--log", "l\xe5g.txt", "--track", "sp\xe5r.csv", "--truth", "tr\xe5.csv", "--report",
          "r\xe5.json", "--plot", "p\xe5.png", "--summary", "s\xe5.csv", "v.avi"},
         {"l\xe5g.txt", "sp\xe5r.csv", "r\xe5.json", "p\xe5.png", "s\xe5.csv"}},
        // The README's batch over two such names: a log of its own for each.
        {{"--log", "out/bl\xe5.log", "bl\xe5.avi"}, {"out/bl\xe5.log"}},
        {{"--log", "out/bl\xe6.log", "bl\xe6.avi"}, {"out/bl\xe5.log", "out/bl\xe6.log"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        const ProgramEnd run = runProgram(
            replayBinary,
            {QList<QByteArray>{"--quiet", "--ticks", "5", "--select", select} + c.arguments});
        EXPECT_EQ(run.exitCode, 0) << run.errors.constData();
        for (const char* name : c.written) {
            EXPECT_GT(badinputs::readFile(name).size(), 0u) << name;
        }
        for (const auto& [name, what] : snapshot()) {
            EXPECT_EQ(name.find("\xEF\xBF\xBD"), std::string::npos) << name;
        }
    }
}

// With its stdout gone or full, the replay has written its files already and
// says that the results could not be printed.
TEST_F(ReplayFiles, ResultsReachTheirFilesWhateverBecomesOfStdout) {
    const struct {
        ProgramStart::Output output;
        const char* why;
    } cases[] = {
        {ProgramStart::Output::ClosedPipe, "Broken pipe"},
        {ProgramStart::Output::File, "No space left on device"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.why);
        fs::remove("s.csv");
        ProgramStart start({"-q", "--ticks", "20", "--select", select, "--truth", "T.csv",
                            "--report", "r.json", "--summary", "s.csv", "--track", "t.csv",
                            "v.avi"});
        start.output = c.output;
        start.outputFile = "/dev/full";
        const ProgramEnd run = runProgram(replayBinary, start);
        EXPECT_EQ(run.signal, 0);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains("stdout")) << run.errors.constData();
        EXPECT_TRUE(run.errors.contains(c.why)) << run.errors.constData();
        EXPECT_EQ(lines(badinputs::readFile("t.csv").c_str()).size(), 21);
        EXPECT_EQ(lines(badinputs::readFile("s.csv").c_str()).size(), 2);
        EXPECT_TRUE(badinputs::readFile("r.json").find("\"ticks\": 20") != std::string::npos);
    }
}

// A run that fails on the way (the disk fills while the track is written, or
// the video turns out to have no frame to play after the first) leaves the
// earlier track as it was and no part of the new one.
TEST_F(ReplayFiles, ARunThatFailsOnTheWayLeavesTheEarlierTrack) {
    ASSERT_TRUE(badinputs::writeWithHeaderCount("one.avi", "claims-five.avi", 5, true));
    const struct {
        const char* video;
        std::optional<long> fileSizeLimit;
        std::vector<const char*> says;
    } cases[] = {
        {"v.avi", 4096, {"the track", "File too large"}},
        {"claims-five.avi", std::nullopt, {"cannot play", "claims-five.avi", "after the first"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.video);
        const std::string earlier = "tick,frame\n1,2\n";
        ASSERT_TRUE(badinputs::writeFile("keep.csv", earlier));
        ProgramStart start(
            {"-q", "--ticks", "200", "--select", select, "--track", "keep.csv", c.video});
        start.fileSizeLimit = c.fileSizeLimit;
        const ProgramEnd run = runProgram(replayBinary, start);
        EXPECT_EQ(run.exitCode, 1);
        for (const char* word : c.says) {
            EXPECT_TRUE(run.errors.contains(word)) << run.errors.constData();
        }
        EXPECT_EQ(badinputs::readFile("keep.csv"), earlier);
        for (const auto& [name, what] : snapshot()) {
            EXPECT_EQ(name.find("keep.csv."), std::string::npos) << "left behind: " << name;
        }
    }
}

// Another run holds the summary's lock: the replay says after a second that
// it waits, and Ctrl+C ends the wait without the row and with a whole log.
TEST_F(ReplayFiles, AWaitForTheSummarysLockEndsOnCtrlC) {
    const std::string table = "not a row yet\n";
    ASSERT_TRUE(badinputs::writeFile("s.csv", table));
    const HeldLock otherRun("s.csv");
    QProcess program;
    program.start(replayBinary,
                  {"-q", "--ticks", "20", "--select", QString::fromLatin1(select), "--truth",
                   "T.csv", "--summary", "s.csv", "--log", "r.log", "v.avi"});
    ASSERT_TRUE(program.waitForStarted());
    // Waits for the word, not for time to pass; a program that never says it
    // fails the test after a while.
    QByteArray errors;
    QElapsedTimer waited;
    waited.start();
    while (!errors.contains("waiting") && program.state() == QProcess::Running &&
           waited.elapsed() < 30000) {
        program.waitForReadyRead(1000);
        errors += program.readAllStandardError();
    }
    ASSERT_TRUE(errors.contains("s.csv")) << errors.constData();
    ::kill(static_cast<pid_t>(program.processId()), SIGINT);
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 128 + SIGINT);
    EXPECT_EQ(badinputs::readFile("s.csv"), table);
    EXPECT_EQ(logProblems(readBytes("r.log"), LogEnd::Completed), "");
    const QList<QByteArray> said = lines(program.readAllStandardOutput());
    ASSERT_FALSE(said.isEmpty());
    EXPECT_TRUE(said.last().contains("SIGINT")) << said.last().constData();
}

} // namespace
