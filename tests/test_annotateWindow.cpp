// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QGraphicsView>
#include <QLabel>
#include <QStatusBar>
#include <QtTest/QTest>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "annotate/AnnotationWindow.h"
#include "annotate/truthStart.h"
#include "evaluation/trackCsv.h"
#include "log/ticks.h"
#include "tests/testSupport.h"

namespace {

// 30 frames of 320 x 240 at 10 frames a second.
constexpr int frames = 30;

std::string makeVideo(const TemporaryWorkingDirectory& directory) {
    SyntheticVideoSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.frames = frames;
    spec.fps = 10.0;
    spec.stone = [](int frame) { return StoneState{100.0 + frame, 120.0, 1.0}; };
    const std::string path = directory.file("scan.avi");
    writeVideo(path, spec);
    return path;
}

Recording openOrFail(const std::string& video) {
    Refusable<Recording> recording =
        openRecording(FileName::fromBytes(QByteArray::fromStdString(video)));
    if (!recording) {
        throw std::runtime_error(recording.refusal().message.toStdString());
    }
    return std::move(*recording);
}

QSize frameSize(const Recording& recording) {
    return {recording.firstFrame.cols, recording.firstFrame.rows};
}

// While it lives, no file of this process may grow past `bytes`: a write
// past them fails (EFBIG) as one past the room left on a full disk does
// (ENOSPC), after the bytes before them went in.
class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &before);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limited{bytes, before.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &before);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    rlimit before{};
    void (*previousHandler)(int) = nullptr;
};

// A window shown and active, so that its keys work, on a screen of `screen`.
struct Session {
    Session(const std::string& video, const QByteArray& truthName, QSize screen = {1600, 1200},
            const QString& track = {}) {
        Recording recording = openOrFail(video);
        Refusable<TruthStart> start =
            startTruth(truthName, true, track, 5, recording.frameCount, frameSize(recording));
        if (!start) {
            throw std::runtime_error(start.refusal().message.toStdString());
        }
        window = std::make_unique<AnnotationWindow>(
            std::move(recording),
            AnnotationWindow::TruthFile{truthName, start->annotation, start->saved, start->note},
            QRect(150, 100, 20, 20), screen);
        window->setDialogs({[this](QWidget*, const QString&) {
                                ++questions;
                                return answer;
                            },
                            [this](QWidget*, const QString& text) { problems << text; }});
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get())) {
            throw std::runtime_error("the window did not become active");
        }
    }

    void key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, int times = 1) {
        for (int i = 0; i < times; ++i) {
            QTest::keyClick(window.get(), static_cast<Qt::Key>(key), modifiers);
        }
    }
    QWidget* picture() { return window->pictureView()->viewport(); }
    void click(QPoint at) { QTest::mouseClick(picture(), Qt::LeftButton, Qt::NoModifier, at); }

    std::unique_ptr<AnnotationWindow> window;
    QMessageBox::StandardButton answer = QMessageBox::Cancel;
    int questions = 0;
    QStringList problems;
};

} // namespace

// The check a user makes: three keyframes clicked, Right to step, O, F and
// Ctrl+S; the file interpolates between the clicks.
TEST(AnnotationWindow, KeysAndClicksMakeTheTruthFile) {
    TemporaryWorkingDirectory directory;
    const std::string video = makeVideo(directory);
    const QByteArray truth = QByteArray::fromStdString(directory.file("scan-truth.csv"));
    Session session(video, truth);
    AnnotationWindow& window = *session.window;
    EXPECT_DOUBLE_EQ(window.pictureScale(), 1.0);
    EXPECT_EQ(window.pictureView()->size(), QSize(320, 240));
    EXPECT_FALSE(window.isWindowModified());

    session.click({100, 120});
    session.key(Qt::Key_Right, Qt::NoModifier, 2);
    session.key(Qt::Key_F);
    session.key(Qt::Key_Right, Qt::NoModifier, 2);
    session.click({140, 100});
    session.key(Qt::Key_Right, Qt::NoModifier, 4);
    session.key(Qt::Key_O);
    session.key(Qt::Key_PageUp);   // to 0
    session.key(Qt::Key_PageDown); // to 10
    session.key(Qt::Key_Right, Qt::NoModifier, 4);
    session.click({120, 80});
    EXPECT_EQ(window.currentFrame(), 14);
    EXPECT_TRUE(
        window.statusText().contains("Frame 14 of 0..29 · 1.400 s · keyframe at 120.0, 80.0"))
        << window.statusText().toStdString();
    EXPECT_TRUE(window.isWindowModified());
    EXPECT_TRUE(window.windowTitle().startsWith("scan-truth.csv[*]"));

    session.key(Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(window.isWindowModified());
    EXPECT_EQ(readBytes(truth.toStdString()).toStdString(),
              "frame,centre_x,centre_y,in_plane,keyframe,in_focus\n"
              "0,100.000,120.000,1,1,0\n"
              "1,110.000,115.000,1,0,0\n"
              "2,120.000,110.000,1,0,1\n"
              "3,130.000,105.000,1,0,0\n"
              "4,140.000,100.000,1,1,0\n"
              "5,138.000,98.000,1,0,0\n"
              "6,136.000,96.000,1,0,0\n"
              "7,134.000,94.000,1,0,0\n"
              "8,140.000,100.000,0,0,0\n"
              "9,140.000,100.000,0,0,0\n"
              "10,140.000,100.000,0,0,0\n"
              "11,140.000,100.000,0,0,0\n"
              "12,140.000,100.000,0,0,0\n"
              "13,140.000,100.000,0,0,0\n"
              "14,120.000,80.000,1,1,0\n");
    // The replay takes it as its truth.
    EXPECT_TRUE(readGroundTruth(QString::fromUtf8(truth), frames).ok());

    // Removed and undone: back where the file is, nothing unsaved.
    session.key(Qt::Key_Delete);
    EXPECT_FALSE(window.annotation().keyframes.contains(14));
    EXPECT_TRUE(window.isWindowModified());
    session.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(window.annotation().keyframes.contains(14));
    EXPECT_FALSE(window.isWindowModified());

    // A second O on the frame of the first takes it back; O inside the stretch
    // changes nothing.
    session.key(Qt::Key_Home);
    session.key(Qt::Key_PageDown);
    EXPECT_EQ(window.currentFrame(), 10);
    session.key(Qt::Key_O);
    EXPECT_EQ(window.annotation().outOfPlaneFrom, std::set<std::int64_t>{8});
    EXPECT_TRUE(window.statusText().contains("Already out of the plane from frame 8"));
    session.key(Qt::Key_Left, Qt::NoModifier, 2);
    session.key(Qt::Key_O);
    EXPECT_TRUE(window.annotation().outOfPlaneFrom.empty());
    session.key(Qt::Key_End);
    EXPECT_EQ(window.currentFrame(), frames - 1);
    session.key(Qt::Key_PageDown);
    EXPECT_EQ(window.currentFrame(), frames - 1);
}

TEST(AnnotationWindow, DraggingAKeyframeIsOneStep) {
    TemporaryWorkingDirectory directory;
    Session session(makeVideo(directory), "t.csv");
    AnnotationWindow& window = *session.window;
    session.click({100, 120});
    // Pressed beside the centre, on the ring: the mark keeps its offset.
    QTest::mousePress(session.picture(), Qt::LeftButton, Qt::NoModifier, {103, 121});
    QTest::mouseMove(session.picture(), {128, 131});
    QTest::mouseMove(session.picture(), {153, 141});
    QTest::mouseRelease(session.picture(), Qt::LeftButton, Qt::NoModifier, {153, 141});
    EXPECT_EQ(window.annotation().keyframes.at(0), QPointF(150, 140));
    // A click away from the mark sets the centre anew.
    session.click({30, 40});
    EXPECT_EQ(window.annotation().keyframes.at(0), QPointF(30, 40));
    session.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.annotation().keyframes.at(0), QPointF(150, 140));
    session.key(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(window.annotation().keyframes.at(0), QPointF(100, 120));
    session.key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(window.annotation().keyframes.at(0), QPointF(150, 140));
    session.key(Qt::Key_Z, Qt::ControlModifier, 2);
    EXPECT_TRUE(window.annotation().keyframes.empty());
}

// On a screen too small for the frame the picture is scaled down by one factor
// and a click lands on the image pixel under it, to a tenth of a pixel.
TEST(AnnotationWindow, ScaledPictureTakesClicksInImagePixels) {
    TemporaryWorkingDirectory directory;
    Session session(makeVideo(directory), "t.csv", {400, 400});
    AnnotationWindow& window = *session.window;
    const double scale = 230.0 / 240.0; // the room below the status bar, over the height
    ASSERT_DOUBLE_EQ(window.pictureScale(), scale);
    EXPECT_EQ(window.pictureView()->size(), QSize(307, 230));
    session.click({50, 50});
    const QPointF at = window.annotation().keyframes.at(0);
    EXPECT_NEAR(at.x(), 52.2, 1e-9); // (50.5 / scale - 0.5), to a tenth
    EXPECT_NEAR(at.y(), 52.2, 1e-9);
}

TEST(AnnotationWindow, ClosingWithUnsavedWorkAsks) {
    struct Case {
        QMessageBox::StandardButton answer;
        bool closes;
        bool written;
    };
    const Case cases[] = {
        {QMessageBox::Cancel, false, false},
        {QMessageBox::Discard, true, false},
        {QMessageBox::Save, true, true},
    };
    TemporaryWorkingDirectory directory;
    const std::string video = makeVideo(directory);
    for (const Case& c : cases) {
        QFile::remove("t.csv");
        Session session(video, "t.csv");
        EXPECT_TRUE(session.window->close()); // nothing to lose: no question
        EXPECT_EQ(session.questions, 0);
        session.window->show();
        session.click({10, 10});
        session.answer = c.answer;
        EXPECT_EQ(session.window->close(), c.closes);
        EXPECT_EQ(session.questions, 1);
        EXPECT_EQ(QFile::exists("t.csv"), c.written);
    }
}

// A file that cannot be written leaves the work in the window, says why, and
// keeps the window open when closing would lose the work.
TEST(AnnotationWindow, FailedSaveKeepsTheWork) {
    TemporaryWorkingDirectory directory;
    Session session(makeVideo(directory), QByteArray::fromStdString(directory.file("gone/t.csv")));
    session.click({10, 10});
    session.key(Qt::Key_S, Qt::ControlModifier);
    ASSERT_EQ(session.problems.size(), 1);
    EXPECT_TRUE(session.problems.first().contains("gone/t.csv could not be written"));
    EXPECT_TRUE(session.window->isWindowModified());
    session.answer = QMessageBox::Save;
    EXPECT_FALSE(session.window->close());
    EXPECT_EQ(session.problems.size(), 2);

    // Ended from outside, the work goes beside the truth file, never over a file.
    Session elsewhere(directory.file("scan.avi"), "t.csv");
    EXPECT_FALSE(elsewhere.window->keepUnsavedWork().has_value()); // nothing to keep
    elsewhere.click({20, 30});
    const QByteArray unsaved = formatGroundTruth(truthOf(elsewhere.window->annotation(), 29));
    EXPECT_EQ(elsewhere.window->keepUnsavedWork(), "t-unsaved.csv");
    EXPECT_EQ(elsewhere.window->keepUnsavedWork(), "t-unsaved-2.csv");
    EXPECT_EQ(readBytes("t-unsaved.csv"), unsaved);
    EXPECT_EQ(readBytes("t-unsaved-2.csv"), unsaved);
    EXPECT_FALSE(QFile::exists("t.csv"));
}

// A disk that takes only part of the file: Ctrl+S says why and leaves the
// file as it was, and the file kept when a signal ends the program is not
// made at all; neither leaves a temporary file behind. Once the disk takes
// the bytes, both are written whole.
TEST(AnnotationWindow, WriteThatTheDiskRefusesKeepsTheOldFile) {
    TemporaryWorkingDirectory directory;
    const std::string video = makeVideo(directory);
    const QByteArray old = "frame,centre_x,centre_y,in_plane,keyframe,in_focus\n"
                           "3,10.000,20.000,1,1,0\n";
    for (const bool bySignal : {false, true}) {
        {
            QFile file("t.csv");
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write(old);
        }
        QFile::remove("t-unsaved.csv");
        Session session(video, "t.csv");
        AnnotationWindow& window = *session.window;
        session.key(Qt::Key_End);
        session.click({120, 80}); // frames 3..29: far more than the disk takes
        {
            const FileSizeLimit fullDisk(old.size());
            if (bySignal) {
                EXPECT_FALSE(window.keepUnsavedWork().has_value());
            } else {
                session.key(Qt::Key_S, Qt::ControlModifier);
                ASSERT_EQ(session.problems.size(), 1);
                EXPECT_TRUE(session.problems.first().contains("t.csv could not be written: File "
                                                              "too large"))
                    << session.problems.first().toStdString();
                EXPECT_TRUE(window.statusText().contains("Not saved"));
                EXPECT_TRUE(window.isWindowModified());
            }
        }
        EXPECT_EQ(readBytes("t.csv"), old) << bySignal;
        EXPECT_EQ(QDir(".").entryList({"t*"}, QDir::Files), QStringList{"t.csv"}) << bySignal;

        const QByteArray whole = formatGroundTruth(truthOf(window.annotation(), frames - 1));
        if (bySignal) {
            EXPECT_EQ(window.keepUnsavedWork(), "t-unsaved.csv");
            EXPECT_EQ(readBytes("t-unsaved.csv"), whole);
        } else {
            session.key(Qt::Key_S, Qt::ControlModifier);
            EXPECT_TRUE(window.statusText().contains("Saved t.csv."));
            EXPECT_EQ(readBytes("t.csv"), whole);
        }
    }
}

// A key that changes the frame (or undoes) while a keyframe is dragged ends
// the drag first, on its own frame, as one step to undo; what comes after
// the key, up to the release, moves nothing. Undoing everything leaves no
// keyframe.
TEST(AnnotationWindow, KeyDuringADragEndsItOnItsFrame) {
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        std::int64_t frameAfter;
        bool kept; // the drag's keyframe after the key
    };
    const Case cases[] = {
        {Qt::Key_Right, Qt::NoModifier, 4, true},
        {Qt::Key_PageUp, Qt::NoModifier, 0, true},
        {Qt::Key_End, Qt::NoModifier, frames - 1, true},
        {Qt::Key_Z, Qt::ControlModifier, 3, false},
    };
    TemporaryWorkingDirectory directory;
    const std::string video = makeVideo(directory);
    for (const Case& c : cases) {
        Session session(video, "t.csv");
        AnnotationWindow& window = *session.window;
        session.key(Qt::Key_Right, Qt::NoModifier, 3);
        QTest::mousePress(session.picture(), Qt::LeftButton, Qt::NoModifier, {100, 120});
        QTest::mouseMove(session.picture(), {110, 125});
        EXPECT_TRUE(window.annotation().keyframes.empty()); // not before the drag ends
        session.key(c.key, c.modifiers);
        QTest::mouseMove(session.picture(), {200, 200});
        QTest::mouseRelease(session.picture(), Qt::LeftButton, Qt::NoModifier, {200, 200});
        EXPECT_EQ(window.currentFrame(), c.frameAfter) << c.key;
        using Keyframes = std::map<std::int64_t, QPointF>;
        const Keyframes expected = c.kept ? Keyframes{{3, {110, 125}}} : Keyframes{};
        EXPECT_EQ(window.annotation().keyframes, expected) << c.key;
        session.key(Qt::Key_Z, Qt::ControlModifier);
        EXPECT_TRUE(window.annotation().keyframes.empty()) << c.key;
        EXPECT_FALSE(window.isWindowModified()) << c.key;
    }
}

// Space plays at the recording's own rate (10 frames a second here), by the
// tick source's clock: a step shows the frame that the time has reached.
TEST(AnnotationWindow, SpacePlaysAtTheRecordingsRate) {
    TemporaryWorkingDirectory directory;
    Session session(makeVideo(directory), "t.csv");
    AnnotationWindow& window = *session.window;
    ManualClock clock;
    ScopedTickSource useClock(clock);
    session.key(Qt::Key_Space);
    ASSERT_TRUE(window.isPlaying());
    EXPECT_EQ(window.playbackTimer().interval(), 100);
    clock.advanceMs(250);
    window.playStep();
    EXPECT_EQ(window.currentFrame(), 2);
    EXPECT_TRUE(window.statusText().contains("0.200 s"));
    clock.advanceMs(1000);
    window.playStep();
    EXPECT_EQ(window.currentFrame(), 12);
    session.key(Qt::Key_Space);
    EXPECT_FALSE(window.isPlaying());
    session.key(Qt::Key_Space);
    clock.advanceMs(60'000);
    window.playStep();
    EXPECT_EQ(window.currentFrame(), frames - 1);
    EXPECT_FALSE(window.isPlaying()); // stops at the end
    session.key(Qt::Key_Home);
    session.key(Qt::Key_Space);
    session.key(Qt::Key_Right); // a step pauses
    EXPECT_FALSE(window.isPlaying());
    EXPECT_EQ(window.currentFrame(), 1);
}

TEST(AnnotationWindow, GoesOnWithTheFileOrStartsFromATrack) {
    TemporaryWorkingDirectory directory;
    const std::string video = makeVideo(directory);
    const QByteArray own = "frame,centre_x,centre_y,in_plane,keyframe,in_focus\n"
                           "3,10.000,20.000,1,1,1\n"
                           "4,12.000,20.000,1,0,0\n"
                           "5,14.000,20.000,1,1,0\n";
    {
        QFile file("own.csv");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(own);
    }
    {
        Session session(video, "own.csv");
        EXPECT_FALSE(session.window->isWindowModified());
        EXPECT_EQ(session.window->annotation().keyframes.size(), 2u);
        EXPECT_TRUE(session.window->statusText().contains("Going on with own.csv: 2 keyframes."));
        session.key(Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(readBytes("own.csv"), own);
    }

    QByteArray track = trackCsvHeader();
    for (int tick = 1; tick <= 11; ++tick) {
        TickRecord record;
        record.tick = tick;
        record.frame = tick;
        record.centreX = 50 + tick;
        record.centreY = 60;
        record.inPlane = true;
        track += trackCsvRow(record);
    }
    {
        QFile file("track.csv");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(track);
    }
    Session fromTrack(video, "new.csv", {1600, 1200}, "track.csv"); // every 5th tick
    const std::map<std::int64_t, QPointF> expected = {{0, {51, 60}}, {5, {56, 60}}, {10, {61, 60}}};
    EXPECT_EQ(fromTrack.window->annotation().keyframes, expected);
    EXPECT_TRUE(fromTrack.window->isWindowModified()); // not in any file yet
}

TEST(AnnotationWindow, TruthFilesThatCannotBeGoneOnWith) {
    TemporaryWorkingDirectory directory;
    const auto write = [](const char* name, const QByteArray& bytes) {
        QFile file(name);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    };
    write("bad.csv", "frame,centre_x,centre_y\n0,1,2\n1,1,two\n");
    write("exists.csv", "frame,in_focus\n0,1\n");
    write("track.csv", trackCsvHeader() + "1,1,0.025\n");
    write("far.csv", "frame,centre_x,centre_y\n0,1e300,2\n");
    QFile::remove("missing-track.csv");
    std::filesystem::create_directory("folder.csv");
    ASSERT_EQ(::mkfifo("fifo.csv", 0600), 0);
    {
        QFile big("big.csv"); // sparse: no room taken
        ASSERT_TRUE(big.open(QIODevice::WriteOnly));
        ASSERT_TRUE(big.resize(truthFileLimitBytes + 1));
    }
    struct Case {
        QByteArray truth;
        bool named;
        QString track;
        int exitCode;
        const char* word;
    };
    const Case cases[] = {
        {"bad.csv", true, {}, 2, "bad.csv:3: centre_y is not a number"},
        {"bad.csv", false, {}, 1, "; name another truth file with --truth"},
        {"exists.csv", true, "track.csv", 2, "exists already and --from-track starts a new one"},
        {"folder.csv", true, {}, 2, "is a directory"},
        {"new.csv", true, "track.csv", 2, "track.csv:2: the row has 3 fields"},
        {"new.csv", true, "missing-track.csv", 2, "missing-track.csv: cannot be read"},
        {"\xC5se-truth.csv", false, {}, 1, "not valid in the locale's encoding"},
        // Centres, from the file or a track, as the replay takes them.
        {"far.csv", true, {}, 2, "centre_x \"1e300\" lies farther outside the 320 x 240 frame"},
        // A track is read with the limits of a truth file.
        {"new.csv", true, "/dev/zero", 2, "not a regular file but a character device"},
        {"new.csv", true, "fifo.csv", 2, "not a regular file but a named pipe"},
        {"new.csv", true, "big.csv", 2, "more than the 64 MiB that a track may have"},
    };
    for (const Case& c : cases) {
        const Refusable<TruthStart> start =
            startTruth(c.truth, c.named, c.track, 1, frames, {320, 240});
        ASSERT_FALSE(start.ok()) << c.word;
        const Refusal& refusal = start.refusal();
        EXPECT_EQ(refusal.exitCode, c.exitCode) << c.word;
        EXPECT_TRUE(refusal.message.contains(QLatin1String(c.word)))
            << refusal.message.toStdString();
    }
    EXPECT_EQ(readBytes("exists.csv"), "frame,in_focus\n0,1\n"); // untouched
    EXPECT_FALSE(QFile::exists("new.csv"));
}

TEST(AnnotationWindow, RecordingsRefusedAsTheWindowRefusesThem) {
    TemporaryWorkingDirectory directory;
    QFile("empty.avi").open(QIODevice::WriteOnly);
    {
        QFile text("text.avi");
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("no video here\n");
    }
    const std::pair<QByteArray, const char*> cases[] = {
        {"missing.avi", "there is no such file"},
        {"empty.avi", "the file is empty"},
        {".", "it is a folder that holds no numbered images"},
        {"text.avi", "it is no video that can be played"},
    };
    for (const auto& [name, reason] : cases) {
        const Refusable<Recording> refused = openRecording(FileName::fromBytes(name));
        ASSERT_FALSE(refused.ok()) << name.constData();
        EXPECT_TRUE(refused.refusal().message.contains(QLatin1String(reason)))
            << refused.refusal().message.toStdString();
    }
    const Refusable<Recording> opened =
        openRecording(FileName::fromBytes(QByteArray::fromStdString(makeVideo(directory))));
    ASSERT_TRUE(opened.ok()) << opened.refusal().message.toStdString();
    EXPECT_EQ(opened->frameCount, frames);
    EXPECT_TRUE(opened->timing.fromRecording);
    EXPECT_DOUBLE_EQ(opened->timing.frameTimeMs, 100.0);
}

// A recording narrower than its key help (the echo loop is 320 px wide): the
// window is as wide as the status bar's longest line, whatever the picture.
TEST(AnnotationWindow, StatusBarAndKeyHelpShowWholeOnANarrowPicture) {
    TemporaryWorkingDirectory directory;
    Session session(makeVideo(directory), "truth.csv");
    QCoreApplication::processEvents();
    AnnotationWindow& window = *session.window;
    ASSERT_LT(window.pictureView()->width(), 400);
    const QList<QLabel*> lines = window.statusBar()->findChildren<QLabel*>();
    ASSERT_GE(lines.size(), 3);
    for (QLabel* line : lines) {
        SCOPED_TRACE(line->text().toStdString());
        EXPECT_GE(line->width(), line->sizeHint().width());
        EXPECT_TRUE(
            window.rect().contains(QRect(line->mapTo(&window, QPoint(0, 0)), line->size())));
    }
}
