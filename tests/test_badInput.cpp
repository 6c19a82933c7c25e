// SPDX-License-Identifier: GPL-3.0-or-later
// Awkward and damaged inputs, and surroundings where the log cannot be written:
// the program neither crashes nor hangs, refuses what it cannot play with a
// reason, plays what it can, and its log is either complete and well formed or
// replaced by a warning.

#include "app/MainWindow.h"
#include "log/logText.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tests/wellFormedLog.h"
#include "tools/badInputs.h"
#include "tracking/VideoImage.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <linux/capability.h>
#include <map>
#include <memory>
#include <opencv2/videoio.hpp>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using badinputs::CorpusFile;

QString qPath(const fs::path& path) {
    return QString::fromStdString(path.string());
}

// The path as the log holds it: Latin-1, with '?' for what Latin-1 lacks.
QByteArray loggedPath(const fs::path& path) {
    return qPath(path).toLatin1();
}

void mark(MainWindow& window, const QRect& region) {
    window.dataScene->handedOver = region;
    window.dataScene->selectionState = -1;
}

// A region of 24 x 20 pixels around a point, cut to the frame.
QRect regionAround(double x, double y, cv::Size frame) {
    const int left = std::clamp(static_cast<int>(x) - 12, 0, frame.width - 1);
    const int top = std::clamp(static_cast<int>(y) - 10, 0, frame.height - 1);
    return QRect(QPoint(left, top), QPoint(std::min(frame.width - 1, left + 23),
                                           std::min(frame.height - 1, top + 19)));
}

// The frames that the decoder gives for a video, read straight through as
// many times as the header counts frames; a read that fails is passed over.
std::vector<cv::Mat> decodeAll(const fs::path& path) {
    cv::VideoCapture capture(path.string(), cv::CAP_FFMPEG);
    const int count = static_cast<int>(capture.get(cv::CAP_PROP_FRAME_COUNT));
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    for (int i = 0; i < count; ++i) {
        if (capture.read(frame)) {
            frames.push_back(frame.clone());
        }
    }
    return frames;
}

// Which frame of `reference` the window shows, judged by the top 40 rows, where
// no overlay is drawn on the damage source's frames; -1 when none matches.
int shownFrame(const cv::Mat& frame, const std::vector<cv::Mat>& reference) {
    const cv::Rect band(0, 0, frame.cols, 40);
    for (std::size_t i = 0; i < reference.size(); ++i) {
        if (reference[i].size() == frame.size() &&
            cv::norm(frame(band), reference[i](band), cv::NORM_INF) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

// Root passes every permission check. While this lives, the calling thread
// (the one that opens the log) loses the capabilities that override file
// permissions, so that a directory without write permission is one for it too.
class WithoutPermissionOverrides {
  public:
    WithoutPermissionOverrides() {
        header.version = _LINUX_CAPABILITY_VERSION_3;
        header.pid = 0;
        if (syscall(SYS_capget, &header, saved) != 0) {
            return;
        }
        __user_cap_data_struct reduced[2] = {saved[0], saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
            reduced[CAP_TO_INDEX(capability)].effective &= ~CAP_TO_MASK(capability);
        }
        active = syscall(SYS_capset, &header, reduced) == 0;
    }
    ~WithoutPermissionOverrides() {
        if (active) {
            syscall(SYS_capset, &header, saved);
        }
    }
    WithoutPermissionOverrides(const WithoutPermissionOverrides&) = delete;
    WithoutPermissionOverrides& operator=(const WithoutPermissionOverrides&) = delete;

  private:
    __user_cap_header_struct header{};
    __user_cap_data_struct saved[2]{};
    bool active = false;
};

bool canCreateFileIn(const fs::path& directory) {
    const fs::path probe = directory / "probe";
    std::FILE* file = std::fopen(probe.c_str(), "w");
    if (!file) {
        return false;
    }
    std::fclose(file);
    fs::remove(probe);
    return true;
}

void makeReadOnly(const fs::path& directory) {
    fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec |
                                   fs::perms::group_read | fs::perms::group_exec |
                                   fs::perms::others_read | fs::perms::others_exec);
}

// The program binary, run to its end or until `whileRunning` returns.
struct ProgramRun {
    int exitCode = -1;
    QProcess::ExitStatus exitStatus = QProcess::CrashExit;
    QByteArray errors;
};

// Started as root, the program would write into any directory; this takes the
// overriding capabilities out of the child's bounding set before it starts, so
// that a directory without write permission holds for it as for anyone.
void dropPermissionOverridesInChild() {
    if (geteuid() != 0) {
        return;
    }
    for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER}) {
        if (prctl(PR_CAPBSET_DROP, capability, 0, 0, 0) != 0) {
            static const char message[] = "cannot drop the permission overrides\n";
            [[maybe_unused]] const auto written = write(2, message, sizeof message - 1);
            _exit(121);
        }
    }
}

void prepare(QProcess& program, const fs::path& workingDirectory, bool asEveryone) {
    program.setProcessEnvironment([] {
        auto environment = QProcessEnvironment::systemEnvironment();
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        return environment;
    }());
    program.setWorkingDirectory(qPath(workingDirectory));
    if (asEveryone) {
        program.setChildProcessModifier(dropPermissionOverridesInChild);
    }
}

ProgramRun runProgram(const fs::path& video, const fs::path& workingDirectory,
                      bool asEveryone = false) {
    QProcess program;
    prepare(program, workingDirectory, asEveryone);
    program.start(TESSAVOLANT_BINARY, {qPath(video)});
    ProgramRun run;
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
        run.errors = "did not end within a minute";
        return run;
    }
    run.exitCode = program.exitCode();
    run.exitStatus = program.exitStatus();
    run.errors = program.readAllStandardError();
    return run;
}

// Waits, driven by file system notifications, until the log in `directory`
// satisfies `done`, the program ends, or a minute passes.
bool waitForLog(const fs::path& directory, QProcess& program,
                const std::function<bool(const QByteArray&)>& done) {
    const QString log = qPath(directory / "loggfile.txt");
    QFileSystemWatcher watcher;
    watcher.addPath(qPath(directory));
    QEventLoop loop;
    const auto check = [&] {
        if (QFileInfo::exists(log) && !watcher.files().contains(log)) {
            watcher.addPath(log);
        }
        if (done(readBytes(log.toStdString()))) {
            loop.quit();
        }
    };
    QObject::connect(&watcher, &QFileSystemWatcher::directoryChanged, &loop, check);
    QObject::connect(&watcher, &QFileSystemWatcher::fileChanged, &loop, check);
    QObject::connect(&program, &QProcess::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    check();
    if (!done(readBytes(log.toStdString())) && program.state() != QProcess::NotRunning) {
        loop.exec();
    }
    return done(readBytes(log.toStdString()));
}

class BadInput : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};

    std::vector<CorpusFile> writeCorpus() {
        const fs::path corpus = directory.path() / "corpus";
        fs::create_directory(corpus);
        std::vector<CorpusFile> files = badinputs::writeCorpus(corpus);
        if (files.empty()) {
            throw std::runtime_error("cannot write the corpus");
        }
        return files;
    }

    // A window on the video whose frame clock is stopped: the test ticks it.
    std::unique_ptr<MainWindow> openWindow(const fs::path& video) {
        return openWindowForTicking(qPath(video));
    }

    void tick(MainWindow& window) {
        clock.advanceMs(25);
        window.OpenCVMeanShift();
    }
};

// What a refused file is and what the program says about it.
struct RefusedFile {
    const char* name;
    const char* reason;
};

const RefusedFile refusals[] = {
    {"empty.avi", "the file is empty"},
    {"random.avi", "it is no video that can be played"},
    {"no-frames.avi", "it is no video that can be played"},
    {"folder.avi", "it is a folder that holds no numbered images"},
};

} // namespace

TEST_F(BadInput, FilesThatCannotBePlayedAreRefusedWithThreeWellFormedLines) {
    const std::vector<CorpusFile> corpus = writeCorpus();
    int refused = 0;
    for (const CorpusFile& file : corpus) {
        if (file.playable) {
            continue;
        }
        SCOPED_TRACE(file.name);
        ++refused;
        {
            const auto window = openWindow(file.path);
            EXPECT_FALSE(window->isReady());
            EXPECT_EQ(window->loggFile, nullptr);
        }
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Refused, loggedPath(file.path)),
                  "");
    }
    EXPECT_EQ(refused, 4);
}

TEST_F(BadInput, FilesThatCanBePlayedAreTrackedAndTheirLogIsOnDiskLineByLine) {
    const std::vector<CorpusFile> corpus = writeCorpus();
    int played = 0;
    for (const CorpusFile& file : corpus) {
        if (!file.playable) {
            continue;
        }
        SCOPED_TRACE(file.name);
        ++played;
        {
            const auto window = openWindow(file.path);
            ASSERT_TRUE(window->isReady());
            const cv::Size size = window->frame.size();
            ASSERT_EQ(window->frameWidth, size.width);
            ASSERT_EQ(window->frameHeight, size.height);
            mark(*window, regionAround(size.width / 2.0, size.height / 2.0, size));
            window->startLoggButtonClicked();
            window->StartButtonClicked();
            // A 4K tick copies and converts tens of megabytes: a few show that it works.
            const int ticks = size.area() > 640 * 480 ? 4 : 2 * window->frameCount + 5;
            for (int i = 0; i < ticks; ++i) {
                SCOPED_TRACE(i);
                if (i == 3) {
                    window->endreSkuddFrekvens(120);
                }
                ASSERT_NO_THROW(tick(*window));
                ASSERT_EQ(window->frame.size(), size);
                ASSERT_EQ(window->frame.type(), CV_8UC3);
                ASSERT_EQ(window->dataFrame.size(), size);
                ASSERT_EQ(window->dataPlane.size(), size);
                EXPECT_EQ(window->playing, 1);
                const cv::Rect track = window->trackWindow;
                EXPECT_FALSE(track.empty());
                EXPECT_EQ(track & cv::Rect(cv::Point(), size), track);
                // Every line written so far is whole on disk while the run goes on.
                ASSERT_EQ(
                    logProblems(readBytes("loggfile.txt"), LogEnd::Cut, loggedPath(file.path)), "");
            }
            EXPECT_TRUE(readBytes("loggfile.txt").contains("Starter tracking\n"));
        }
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed, loggedPath(file.path)),
                  "");
    }
    EXPECT_EQ(played, 11);
}

TEST_F(BadInput, NamesAreLoggedInLatin1WithQuestionMarksForWhatLatin1Lacks) {
    const std::vector<CorpusFile> corpus = writeCorpus();
    const std::pair<const char*, QByteArray> names[] = {
        {"bl\u00e5 s\u00f8ndag.avi", "/bl\xE5 s\xF8ndag.avi \n"},
        {"nyre \u03a9 \u814e\u81d3.avi", "/nyre ? ??.avi \n"},
        {"a folder with spaces/my video 1.avi", "/a folder with spaces/my video 1.avi \n"},
    };
    for (const auto& [name, logged] : names) {
        SCOPED_TRACE(name);
        const auto file = std::find_if(corpus.begin(), corpus.end(),
                                       [&](const CorpusFile& f) { return f.name == name; });
        ASSERT_NE(file, corpus.end());
        {
            const auto window = openWindow(file->path);
            EXPECT_TRUE(window->isReady());
        }
        const QByteArray log = readBytes("loggfile.txt");
        EXPECT_TRUE(log.contains(logged)) << log.constData();
        EXPECT_FALSE(log.contains("\xC3")) << "no UTF-8 in the log";
    }
}

TEST_F(BadInput, DamagedFramesAreDroppedAndTrackingGoesOnOverTheGoodOnes) {
    const fs::path source = directory.path() / "source.avi";
    const fs::path damaged = directory.path() / "damaged.avi";
    const SyntheticVideoSpec spec = badinputs::damageSource();
    ASSERT_TRUE(writeSyntheticVideo(source.string(), "", spec));
    ASSERT_TRUE(badinputs::writeWithDamagedFrames(source, damaged, badinputs::firstDamagedFrame,
                                                  badinputs::damagedFrames, 2));
    const std::vector<cv::Mat> reference = decodeAll(source);
    ASSERT_EQ(reference.size(), 50u);
    // The decoder gives no image for a damaged frame and goes on after it.
    ASSERT_EQ(decodeAll(damaged).size(), 40u);

    std::vector<int> shown;
    {
        const auto window = openWindow(damaged);
        ASSERT_TRUE(window->isReady());
        ASSERT_EQ(window->frameCount, 50);
        const StoneState stone = stoneAt(spec, 0);
        mark(*window, regionAround(stone.centreX, stone.centreY, window->frame.size()));
        window->startLoggButtonClicked();
        window->StartButtonClicked();
        for (int i = 0; i < 3 * 39; ++i) {
            SCOPED_TRACE(i);
            tick(*window);
            ASSERT_EQ(window->playing, 1);
            const int index = shownFrame(window->frame, reference);
            shown.push_back(index);
            ASSERT_GE(index, 0) << "a frame that is not one of the video's was shown";
            // Tracked: the window's centre on the stone of the frame shown.
            const StoneState truth = stoneAt(spec, index);
            EXPECT_NEAR(window->trackCenterX, truth.centreX, 3.0);
            EXPECT_NEAR(window->trackCenterY, truth.centreY, 3.0);
            EXPECT_GT(window->trackComp.area, 0);
        }
    }
    // Frames 1 to 19, the damaged 20 to 29 dropped, 30 to the end, and over again.
    std::vector<int> loop;
    for (int i = 1; i < 50; ++i) {
        if (i < badinputs::firstDamagedFrame ||
            i >= badinputs::firstDamagedFrame + badinputs::damagedFrames) {
            loop.push_back(i);
        }
    }
    std::vector<int> expected;
    for (int round = 0; round < 3; ++round) {
        expected.insert(expected.end(), loop.begin(), loop.end());
    }
    EXPECT_EQ(shown, expected);
    const QByteArray log = readBytes("loggfile.txt");
    EXPECT_EQ(logProblems(log, LogEnd::Completed, loggedPath(damaged)), "");
    EXPECT_FALSE(log.contains("Ut av planet")) << "the stone never left the plane";
}

TEST_F(BadInput, AFileCutShortPlaysTheFramesItHasAndStartsOver) {
    const fs::path source = directory.path() / "source.avi";
    const fs::path cut = directory.path() / "cut.avi";
    const SyntheticVideoSpec spec = badinputs::damageSource();
    ASSERT_TRUE(writeSyntheticVideo(source.string(), "", spec));
    ASSERT_TRUE(badinputs::writeCutShort(source, cut, 0.5));
    const std::vector<cv::Mat> reference = decodeAll(source);
    ASSERT_EQ(reference.size(), 50u);
    // The cut frame, where any of it is left, decodes with the rest made up.
    const std::vector<cv::Mat> left = decodeAll(cut);
    ASSERT_GT(left.size(), 20u);
    ASSERT_LT(left.size(), 30u);
    const int whole = static_cast<int>(std::count_if(
        left.begin(), left.end(), [&](const cv::Mat& f) { return shownFrame(f, reference) >= 0; }));

    // Frame 1 to the last whole frame, what is left of the cut one, and over again.
    std::vector<int> loop;
    for (int i = 1; i < whole; ++i) {
        loop.push_back(i);
    }
    loop.insert(loop.end(), left.size() - static_cast<std::size_t>(whole), -1);
    std::vector<int> expected;
    for (int round = 0; round < 3; ++round) {
        expected.insert(expected.end(), loop.begin(), loop.end());
    }

    std::vector<int> shown;
    {
        const auto window = openWindow(cut);
        ASSERT_TRUE(window->isReady());
        // The header still counts every frame.
        ASSERT_EQ(window->frameCount, 50);
        const StoneState stone = stoneAt(spec, 0);
        mark(*window, regionAround(stone.centreX, stone.centreY, window->frame.size()));
        window->startLoggButtonClicked();
        window->StartButtonClicked();
        for (std::size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE(i);
            tick(*window);
            ASSERT_EQ(window->playing, 1);
            ASSERT_EQ(window->frame.size(), cv::Size(160, 120));
            const int index = shownFrame(window->frame, reference);
            shown.push_back(index);
            if (index >= 0) {
                const StoneState truth = stoneAt(spec, index);
                EXPECT_NEAR(window->trackCenterX, truth.centreX, 3.0);
                EXPECT_NEAR(window->trackCenterY, truth.centreY, 3.0);
            }
        }
    }
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed, loggedPath(cut)), "");
}

TEST_F(BadInput, ADamagedStretchOverChunkHeadersCostsFramesButNotThePlayback) {
    const fs::path source = directory.path() / "source.avi";
    const fs::path damaged = directory.path() / "damaged.avi";
    const SyntheticVideoSpec spec = badinputs::damageSource();
    ASSERT_TRUE(writeSyntheticVideo(source.string(), "", spec));
    ASSERT_TRUE(badinputs::writeWithDamagedStretch(source, damaged, 0.4, 0.6, 3));
    const std::vector<cv::Mat> reference = decodeAll(source);
    ASSERT_EQ(reference.size(), 50u);

    std::vector<int> shown;
    {
        const auto window = openWindow(damaged);
        ASSERT_TRUE(window->isReady());
        window->StartButtonClicked();
        for (int i = 0; i < 120; ++i) {
            tick(*window);
            ASSERT_EQ(window->playing, 1);
            ASSERT_EQ(window->frame.size(), cv::Size(160, 120));
            shown.push_back(shownFrame(window->frame, reference));
        }
    }
    // Frames come in the order of the file; only a wrap goes back, and it goes
    // back to frame 1. The frames after the damage are shown, and the damage
    // shows as at most a frame or two made up of what was left.
    int wraps = 0;
    int madeUp = 0;
    int previous = 0;
    bool afterDamage = false;
    for (const int index : shown) {
        if (index < 0) {
            ++madeUp;
            continue;
        }
        if (index <= previous) {
            EXPECT_EQ(index, 1);
            ++wraps;
        }
        afterDamage = afterDamage || index >= 40;
        previous = index;
    }
    EXPECT_GE(wraps, 2);
    EXPECT_TRUE(afterDamage);
    EXPECT_LE(madeUp, 2 * (wraps + 1));
    EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed, loggedPath(damaged)), "");
}

TEST_F(BadInput, WhenNoFrameAfterTheFirstCanBeDecodedPlaybackStopsOnTheFirst) {
    const fs::path source = directory.path() / "source.avi";
    const fs::path damaged = directory.path() / "damaged.avi";
    ASSERT_TRUE(writeSyntheticVideo(source.string(), "", badinputs::damageSource()));
    ASSERT_TRUE(badinputs::writeWithDamagedFrames(source, damaged, 1, 49, 4));
    const std::vector<cv::Mat> reference = decodeAll(source);
    ASSERT_EQ(reference.size(), 50u);
    {
        const auto window = openWindow(damaged);
        ASSERT_TRUE(window->isReady());
        mark(*window, regionAround(80, 60, window->frame.size()));
        window->startLoggButtonClicked();
        // The processed view shows the first frame from the start.
        const cv::Mat firstProcessed = window->dataPlane.clone();
        window->StartButtonClicked();
        tick(*window);
        EXPECT_EQ(window->playing, 0);
        // The first frame stays, undrawn: no playing tick processed it.
        EXPECT_EQ(shownFrame(window->frame, reference), 0);
        EXPECT_TRUE(window->frameUndrawn);
        EXPECT_EQ(cv::norm(window->dataPlane, firstProcessed, cv::NORM_INF), 0.0);
        EXPECT_EQ(window->dataScene->selectionState, -1);
        // Playing again tries again, and stops again.
        window->StartButtonClicked();
        tick(*window);
        EXPECT_EQ(window->playing, 0);
        EXPECT_EQ(shownFrame(window->frame, reference), 0);
    }
    const QByteArray log = readBytes("loggfile.txt");
    EXPECT_EQ(logProblems(log, LogEnd::Completed, loggedPath(damaged)), "");
    EXPECT_FALSE(log.contains("Starter tracking"));
}

TEST_F(BadInput, AReadOnlyWorkingDirectoryGivesAWarningAndARunWithoutLog) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    const fs::path readOnly = directory.path() / "read-only";
    fs::create_directory(readOnly);
    makeReadOnly(readOnly);
    fs::current_path(readOnly);
    WithoutPermissionOverrides asEveryone;
    ASSERT_FALSE(canCreateFileIn(readOnly)) << "the directory must not be writable for this test";

    for (const fs::path& chosen : {video, directory.path() / "absent.avi"}) {
        SCOPED_TRACE(chosen.string());
        testing::internal::CaptureStderr();
        {
            const auto window = openWindow(chosen);
            EXPECT_EQ(window->isReady(), chosen == video);
            EXPECT_EQ(window->loggFile, nullptr);
            if (window->isReady()) {
                mark(*window, regionAround(80, 60, window->frame.size()));
                window->startLoggButtonClicked();
                window->StartButtonClicked();
                for (int i = 0; i < 30; ++i) {
                    if (i == 5) {
                        window->endreSkuddFrekvens(70);
                    }
                    tick(*window);
                }
                EXPECT_EQ(window->trackingStarted, 1);
                // Not only on stderr: the status bar says so while the window lives.
                const auto* problem = window->findChild<QLabel*>("logProblem");
                ASSERT_NE(problem, nullptr);
                EXPECT_TRUE(problem->isVisibleTo(window.get()));
                EXPECT_EQ(problem->text(), QString("this run is not logged: cannot create "
                                                   "loggfile.txt (%1)")
                                               .arg(std::strerror(EACCES)));
            }
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find("warning: cannot create loggfile.txt"), std::string::npos) << errors;
        EXPECT_NE(errors.find(std::strerror(EACCES)), std::string::npos) << errors;
        EXPECT_FALSE(fs::exists(readOnly / "loggfile.txt"));
    }
}

// A log that could be emptied in place, in a directory where its copy cannot
// be made: it is left as it was rather than lost, and the run is not logged.
TEST_F(BadInput, APreviousLogThatCannotBeKeptInAReadOnlyDirectoryIsLeftAsItWas) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    const fs::path readOnly = directory.path() / "read-only";
    fs::create_directory(readOnly);
    const QByteArray previous = "0.001000: Antall ms mellom hvert skudd er 600.000000 \n";
    {
        QFile old(qPath(readOnly / "loggfile.txt"));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write(previous);
    }
    makeReadOnly(readOnly);
    fs::current_path(readOnly);
    WithoutPermissionOverrides asEveryone;
    ASSERT_FALSE(canCreateFileIn(readOnly)) << "the directory must not be writable for this test";

    testing::internal::CaptureStderr();
    {
        const auto window = openWindow(video);
        ASSERT_TRUE(window->isReady());
        EXPECT_EQ(window->loggFile, nullptr);
        const auto* problem = window->findChild<QLabel*>("logProblem");
        ASSERT_NE(problem, nullptr);
        EXPECT_TRUE(problem->isVisibleTo(window.get()));
        EXPECT_EQ(problem->text(), QString("this run is not logged: cannot keep the previous log "
                                           "loggfile.txt as loggfile.txt.1 (%1)")
                                       .arg(std::strerror(EACCES)));
        window->endreSkuddFrekvens(70);
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_NE(errors.find("it is left as it was, and this run is not logged"), std::string::npos)
        << errors;
    EXPECT_EQ(readBytes("loggfile.txt"), previous);
    EXPECT_EQ(directorySnapshot().size(), 1u);
}

TEST_F(BadInput, ALogNameTakenByADirectoryGivesAWarningAndARunWithoutLog) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    fs::create_directory("loggfile.txt");
    for (const fs::path& chosen : {video, directory.path() / "absent.avi"}) {
        SCOPED_TRACE(chosen.string());
        testing::internal::CaptureStderr();
        {
            const auto window = openWindow(chosen);
            EXPECT_EQ(window->isReady(), chosen == video);
            if (window->isReady()) {
                mark(*window, regionAround(80, 60, window->frame.size()));
                window->startLoggButtonClicked();
                window->StartButtonClicked();
                for (int i = 0; i < 30; ++i) {
                    tick(*window);
                }
                EXPECT_EQ(window->trackingStarted, 1);
            }
        }
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find("warning: cannot create loggfile.txt"), std::string::npos) << errors;
        EXPECT_TRUE(fs::is_directory("loggfile.txt"));
        EXPECT_TRUE(fs::is_empty("loggfile.txt"));
    }
}

TEST_F(BadInput, TheProgramRefusesWhatItCannotPlayWithExitCodeOneAndSaysWhy) {
    const std::vector<CorpusFile> corpus = writeCorpus();
    std::vector<std::pair<fs::path, const char*>> cases = {
        {directory.path() / "corpus" / "absent \u03a9.avi", "there is no such file"}};
    for (const RefusedFile& refusal : refusals) {
        cases.emplace_back(directory.path() / "corpus" / refusal.name, refusal.reason);
    }
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.string());
        const ProgramRun run = runProgram(path, directory.path());
        EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(run.exitCode, 1);
        const QByteArray message = "tessavolant: cannot open the video \"" +
                                   QByteArray(path.string().c_str()) + "\": " + reason;
        EXPECT_TRUE(run.errors.contains(message)) << run.errors.constData();
        EXPECT_FALSE(run.errors.contains("runtime error")) << run.errors.constData();
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Refused, loggedPath(path)), "");
    }
}

// What is no regular video file is refused from the file system's word alone,
// before anything opens it (opening a named pipe would block for good), and
// with its real reason; a name in the Latin-1 bytes of an older disk opens,
// and the log shows '?' for the byte that is no UTF-8.
TEST_F(BadInput, SpecialFilesAreRefusedBeforeOpeningWithTheirRealReason) {
    const fs::path here = directory.path();
    ASSERT_EQ(mkfifo((here / "pipe.avi").c_str(), 0600), 0);
    fs::create_symlink("loop-b.avi", here / "loop-a.avi");
    fs::create_symlink("loop-a.avi", here / "loop-b.avi");
    const fs::path locked = here / "locked";
    fs::create_directory(locked);
    writeVideo((locked / "inside.avi").string(), badinputs::damageSource());
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    const QByteArray latin1Name = QByteArray(here.c_str()) + "/nyrestein_\xC5se.avi";
    writeVideo(latin1Name.toStdString(), badinputs::damageSource());

    struct Case {
        QByteArray name;
        std::string reason; // empty: the video opens
        QByteArray logged;  // the name as the log holds it
    };
    const QByteArray pipe = (here / "pipe.avi").c_str();
    const QByteArray loop = (here / "loop-a.avi").c_str();
    const QByteArray inside = (locked / "inside.avi").c_str();
    const Case cases[] = {
        {pipe, "it is not a regular file but a named pipe (FIFO)", pipe},
        {"/dev/null", "it is not a regular file but a character device", "/dev/null"},
        {loop, "its symbolic links lead round in a loop", loop},
        {inside, "permission denied on the folder \"" + locked.string() + "\" on the way to it",
         inside},
        {"", "no file name was given", ""},
        {latin1Name, "", QByteArray(here.c_str()) + "/nyrestein_?se.avi"},
    };
    WithoutPermissionOverrides asEveryone;
    const bool lockedHolds = faccessat(AT_FDCWD, locked.c_str(), X_OK, AT_EACCESS) != 0;
    for (const Case& c : cases) {
        if (c.name == inside && !lockedHolds) {
            continue;
        }
        SCOPED_TRACE(c.name.constData());
        const Refusable<> checked = checkVideoFile(c.name);
        EXPECT_EQ(checked ? std::string() : checked.refusal().message.toStdString(), c.reason);
        {
            const MainWindow window(nullptr, VideoFileName::fromBytes(c.name));
            EXPECT_EQ(window.isReady(), c.reason.empty());
        }
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"),
                              c.reason.empty() ? LogEnd::Completed : LogEnd::Refused, c.logged),
                  "");
    }
    if (!lockedHolds) {
        GTEST_SKIP() << "folder permissions do not hold for this user (root that keeps its "
                        "overrides); the folder that may not be entered was not tried";
    }
}

TEST_F(BadInput, EveryLineWrittenBeforeTheProgramIsKilledIsOnDisk) {
    const std::vector<CorpusFile> corpus = writeCorpus();
    for (const char* name : {"bl\u00e5 s\u00f8ndag.avi", "nyre \u03a9 \u814e\u81d3.avi",
                             "a folder with spaces/my video 1.avi", "damaged-frames.avi"}) {
        SCOPED_TRACE(name);
        const fs::path video = directory.path() / "corpus" / name;
        fs::remove("loggfile.txt");
        QProcess program;
        prepare(program, directory.path(), false);
        program.start(TESSAVOLANT_BINARY, {qPath(video)});
        const bool started = waitForLog(directory.path(), program, [](const QByteArray& log) {
            return log.contains(": Initiering fullfort\n\n");
        });
        EXPECT_EQ(program.state(), QProcess::Running) << program.readAllStandardError().constData();
        program.kill();
        program.waitForFinished();
        ASSERT_TRUE(started);
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Cut, loggedPath(video)), "");
    }
}

TEST_F(BadInput, WhereTheLogCannotBeWrittenTheProgramWarnsAndStillSaysWhyItRefuses) {
    const fs::path video = directory.path() / "empty.avi";
    ASSERT_TRUE(badinputs::writeEmptyFile(video));
    const fs::path readOnly = directory.path() / "read-only";
    fs::create_directory(readOnly);
    makeReadOnly(readOnly);
    const fs::path logTaken = directory.path() / "log taken";
    fs::create_directories(logTaken / "loggfile.txt");
    for (const fs::path& workingDirectory : {readOnly, logTaken}) {
        SCOPED_TRACE(workingDirectory.string());
        const ProgramRun run = runProgram(video, workingDirectory, true);
        EXPECT_EQ(run.exitStatus, QProcess::NormalExit);
        EXPECT_EQ(run.exitCode, 1) << run.errors.constData();
        EXPECT_TRUE(run.errors.contains("warning: cannot create loggfile.txt"))
            << run.errors.constData();
        EXPECT_TRUE(run.errors.contains("cannot open the video")) << run.errors.constData();
        EXPECT_TRUE(run.errors.contains("the file is empty")) << run.errors.constData();
        EXPECT_FALSE(fs::is_regular_file(workingDirectory / "loggfile.txt"));
    }
}

TEST_F(BadInput, HostileNamesNeitherForgeNorBreakALogLineNorCommandTheTerminal) {
    const fs::path playable = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(playable, badinputs::crossingStone({160, 120}, 6)));
    const char* names[] = {"y\n0.000000: Programmet avsluttet", "esc\x1b]0;PWNED\a\x1b[2J.avi",
                           "cr\r tab\t.avi"};
    for (const char* name : names) {
        SCOPED_TRACE(name);
        const fs::path video = directory.path() / name;
        fs::copy_file(playable, video);
        openWindow(video).reset();
        // Start-up (with its empty line) and the end: five lines, as for any name.
        EXPECT_EQ(logLines().size(), 5);
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed,
                              eventlog::loggableName(qPath(video))),
                  "");

        const fs::path absent = directory.path() / "absent" / name;
        const ProgramRun run = runProgram(absent, directory.path());
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_TRUE(run.errors.contains("cannot open the video \"" +
                                        eventlog::escapedForTerminal(qPath(absent)) +
                                        "\": there is no such file"))
            << run.errors.constData();
        EXPECT_FALSE(run.errors.contains('\x1b') || run.errors.contains('\r') ||
                     run.errors.contains("\n0.000000"));
        EXPECT_EQ(logLines().size(), 3);
    }
}

namespace {

// The program started on `arguments` in `workingDirectory`, once the log there
// satisfies `ready`.
void startProgram(QProcess& program, const fs::path& workingDirectory, const QStringList& arguments,
                  const std::function<bool(const QByteArray&)>& ready) {
    prepare(program, workingDirectory, false);
    program.start(TESSAVOLANT_BINARY, arguments);
    ASSERT_TRUE(waitForLog(workingDirectory, program, ready))
        << program.readAllStandardError().constData();
    ASSERT_EQ(program.state(), QProcess::Running);
}

bool initialised(const QByteArray& log) {
    return log.contains(": Initiering fullfort\n\n");
}

// Ends the program with `signalNumber` and returns its exit code (-1 if it
// did not end by itself within a minute).
int endWith(QProcess& program, int signalNumber) {
    ::kill(static_cast<pid_t>(program.processId()), signalNumber);
    if (!program.waitForFinished(60000) || program.exitStatus() != QProcess::NormalExit) {
        program.kill();
        program.waitForFinished();
        return -1;
    }
    return program.exitCode();
}

} // namespace

TEST_F(BadInput, ASignalEndsTheRunAsClosingTheWindowDoes) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    const auto logExists = [](const QByteArray&) { return fs::exists("loggfile.txt"); };
    struct Case {
        int signalNumber;
        QStringList arguments; // none: the file dialog is open
        std::function<bool(const QByteArray&)> ready;
        LogEnd end;
    };
    const Case cases[] = {
        {SIGTERM, {qPath(video)}, initialised, LogEnd::Completed},
        {SIGINT, {qPath(video)}, initialised, LogEnd::Completed},
        {SIGHUP, {qPath(video)}, initialised, LogEnd::Completed},
        {SIGTERM, {}, logExists, LogEnd::Refused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(strsignal(c.signalNumber)) +
                     (c.arguments.isEmpty() ? " in the dialog" : ""));
        fs::remove("loggfile.txt");
        QProcess program;
        startProgram(program, directory.path(), c.arguments, c.ready);
        EXPECT_EQ(endWith(program, c.signalNumber), 128 + c.signalNumber)
            << program.readAllStandardError().constData();
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), c.end,
                              c.arguments.isEmpty() ? QByteArray() : loggedPath(video)),
                  "");
    }
}

TEST_F(BadInput, ASecondCopyInTheSameDirectoryIsRefusedAndLeavesTheLogAlone) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    for (int number = 1; number <= 9; ++number) {
        QFile old(QString("loggfile.txt.%1").arg(number));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("run " + QByteArray::number(number) + "\n");
    }
    QProcess first;
    startProgram(first, directory.path(), {qPath(video)}, initialised);
    const QByteArray logOfFirst = readBytes("loggfile.txt");
    const std::map<std::string, std::string> whileFirstRuns = directorySnapshot();

    const ProgramRun second = runProgram(video, directory.path());
    EXPECT_EQ(second.exitStatus, QProcess::NormalExit);
    EXPECT_EQ(second.exitCode, 1);
    EXPECT_TRUE(
        second.errors.contains("another copy of the program is logging to loggfile.txt in " +
                               QByteArray(directory.path().c_str())))
        << second.errors.constData();
    EXPECT_TRUE(second.errors.contains("Start this copy in another directory"));
    EXPECT_EQ(readBytes("loggfile.txt"), logOfFirst);
    EXPECT_EQ(directorySnapshot(), whileFirstRuns) << "the refused copy kept no log";

    EXPECT_EQ(endWith(first, SIGTERM), 128 + SIGTERM);
    EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed, loggedPath(video)), "");
}

// Two copies started at the same moment race for the log: one logs, the other
// is refused, and the previous logs move up by exactly one place, whichever
// copy won.
TEST_F(BadInput, TwoCopiesStartedAtOnceKeepThePreviousLogsOnce) {
    const fs::path video = directory.path() / "v.avi";
    ASSERT_TRUE(badinputs::writeVideoOfAnySize(video, badinputs::crossingStone({160, 120}, 12)));
    const auto logNumber = [](int number) {
        return number == 0 ? std::string("loggfile.txt") : "loggfile.txt." + std::to_string(number);
    };
    for (int number = 0; number <= 9; ++number) {
        QFile old(QString::fromStdString(logNumber(number)));
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("seed " + QByteArray::number(number) + "\n");
    }
    for (int round = 0; round < 4; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const std::map<std::string, std::string> before = directorySnapshot();
        QProcess copies[2];
        for (QProcess& copy : copies) {
            prepare(copy, directory.path(), false);
        }
        for (QProcess& copy : copies) {
            copy.start(TESSAVOLANT_BINARY, {qPath(video)});
        }
        // The refused copy ends by itself.
        QEventLoop loop;
        for (QProcess& copy : copies) {
            QObject::connect(&copy, &QProcess::finished, &loop, &QEventLoop::quit);
        }
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        if (copies[0].state() != QProcess::NotRunning &&
            copies[1].state() != QProcess::NotRunning) {
            loop.exec();
        }
        const int refused = copies[0].state() == QProcess::NotRunning ? 0 : 1;
        QProcess& running = copies[1 - refused];
        copies[refused].waitForFinished();
        EXPECT_EQ(copies[refused].exitCode(), 1);
        EXPECT_TRUE(copies[refused].readAllStandardError().contains("another copy"));
        ASSERT_TRUE(waitForLog(directory.path(), running, initialised))
            << running.readAllStandardError().constData();
        EXPECT_EQ(endWith(running, SIGTERM), 128 + SIGTERM);

        std::map<std::string, std::string> expected = before;
        for (int number = 9; number >= 1; --number) {
            expected[logNumber(number)] = before.at(logNumber(number - 1));
        }
        const std::map<std::string, std::string> after = directorySnapshot();
        expected[logNumber(0)] = after.at(logNumber(0));
        EXPECT_EQ(after, expected);
        EXPECT_EQ(logProblems(readBytes("loggfile.txt"), LogEnd::Completed, loggedPath(video)), "");
    }
}

TEST(LogCheck, TellsWellFormedLogsFromCutGarbledAndDisorderedOnes) {
    const QByteArray start = "0.001000: Antall ms mellom hvert skudd er 600.000000 \n"
                             "0.001000: \xC5pnet fil  /v/bl\xE5.avi \n";
    const QByteArray refused = start + "0.002000  kunne ikke apne fil\n";
    const QByteArray running =
        start + "0.030000: Initiering fullfort\n\n"
                "1.000000Starter tracking\n"
                "1.025000: Inn i planet. Var ute av plan i 1.000000 sekunder\n"
                "1.050000: Skudd intervall starter\n"
                "1.050000: Skudd treffer. Det er 1049 millisekunder siden forrige treff\n"
                "1.075000: Skuddfrekvens endret til 500.000000ms og 120skudd per min\n"
                "1.100000: Skudd intervall slutter\n"
                "1.125000: Ut av planet\n";
    const QByteArray completed =
        running +
        "2.000000: Totalt skudd i tracking periode uten tracking med 120 skudd per min er 2 "
        "p\xE5  1.000000 sekunder\n"
        "2.000000 : P\xE5 denne tiden ble 1 skudd gjennomf\xF8rt i brennpunkt med tracking p\xE5\n"
        "2.001000: Programmet avsluttet\n";
    EXPECT_EQ(logProblems(refused, LogEnd::Refused, QByteArray("/v/bl\xE5.avi")), "");
    EXPECT_EQ(logProblems(running, LogEnd::Cut), "");
    EXPECT_EQ(logProblems(completed, LogEnd::Completed), "");

    struct Broken {
        const char* what;
        QByteArray log;
        LogEnd end;
    };
    const Broken broken[] = {
        {"cut in the middle of a line", completed.left(completed.size() - 5), LogEnd::Completed},
        {"cut in the middle of the last line", running.left(running.size() - 3), LogEnd::Cut},
        {"the path in UTF-8", QByteArray(refused).replace("bl\xE5", "bl\xC3\xA5"), LogEnd::Refused},
        {"the fixed text in UTF-8", QByteArray(refused).replace("\xC5pnet", "\xC3\x85pnet"),
         LogEnd::Refused},
        {"a hit outside an interval",
         QByteArray(completed).replace("1.050000: Skudd intervall starter\n", ""),
         LogEnd::Completed},
        {"leaving the plane twice",
         QByteArray(completed).replace("Inn i planet. Var ute av plan i 1.000000 sekunder",
                                       "Ut av planet"),
         LogEnd::Completed},
        {"a stamp that goes back",
         QByteArray(completed).replace("1.100000: Skudd", "0.100000: Skudd"), LogEnd::Completed},
        {"no summary after tracking", running + "2.001000: Programmet avsluttet\n",
         LogEnd::Completed},
        {"a line after the end", completed + "2.002000: Ut av planet\n", LogEnd::Completed},
        {"a stamp without six decimals", QByteArray(completed).replace("1.125000: Ut", "1.125: Ut"),
         LogEnd::Completed},
        {"no empty line after start-up",
         QByteArray(completed).replace("fullfort\n\n", "fullfort\n"), LogEnd::Completed},
        {"a line after the failure", refused + "0.003000: Programmet avsluttet\n", LogEnd::Refused},
    };
    for (const Broken& log : broken) {
        EXPECT_NE(logProblems(log.log, log.end, QByteArray("/v/bl\xE5.avi")), "") << log.what;
    }
    EXPECT_NE(logProblems(refused, LogEnd::Completed), "");
    EXPECT_NE(logProblems(completed, LogEnd::Refused), "");
    EXPECT_NE(logProblems(completed, LogEnd::Cut), "");
    EXPECT_NE(logProblems(refused, LogEnd::Refused, QByteArray("/v/other.avi")), "");
}
