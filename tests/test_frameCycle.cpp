// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tools/badInputs.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QGraphicsPixmapItem>
#include <QLCDNumber>
#include <QSlider>
#include <QTimer>
#include <algorithm>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

const cv::Rect defaultRoi(200, 200, 200, 100);
const cv::Rect defaultFocus(200, 200, 20, 20);
const cv::Scalar trackColour(100, 0, 150);
const cv::Scalar missColour(0, 0, 255);
const cv::Scalar hitColour(0, 255, 0);

// Every frame carries its index in the grey level of its top-left 16 x 16 block,
// so that a test can tell which frame the window holds.
int indexLevel(int index) {
    return 20 + 10 * index;
}

int shownIndex(const cv::Mat& frame) {
    return (frame.at<cv::Vec3b>(8, 8)[0] - 20 + 5) / 10;
}

cv::Mat numberedFrame(int index, cv::Size size = {640, 480}, int grey = 0) {
    cv::Mat frame(size, CV_8UC3, cv::Scalar::all(grey));
    frame(cv::Rect(0, 0, 16, 16)).setTo(cv::Scalar::all(indexLevel(index)));
    return frame;
}

std::vector<cv::Mat> numberedFrames(int count) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < count; ++i) {
        frames.push_back(numberedFrame(i));
    }
    return frames;
}

// A lossless video (FFV1 in AVI): the window reads back exactly these pixels.
QString writeExactVideo(const std::string& path, const std::vector<cv::Mat>& frames) {
    cv::VideoWriter writer(path, cv::CAP_FFMPEG, cv::VideoWriter::fourcc('F', 'F', 'V', '1'), 25.0,
                           frames.front().size(), true);
    if (!writer.isOpened()) {
        throw std::runtime_error("cannot write " + path);
    }
    for (const cv::Mat& frame : frames) {
        writer.write(frame);
    }
    return QString::fromStdString(path);
}

// MJPEG of exactly the frames' size (FFmpeg's writer cuts odd sizes to even
// ones); frames of another size than the first make a spliced recording whose
// headers give the first frame's size.
QString writeMjpeg(const std::string& path, const std::vector<cv::Mat>& frames) {
    if (!badinputs::writeMjpegAvi(path, frames, frames.front().size(), 25.0)) {
        throw std::runtime_error("cannot write " + path);
    }
    return QString::fromStdString(path);
}

std::vector<cv::Mat> decodeAll(const QString& path) {
    cv::VideoCapture capture(path.toStdString(), cv::CAP_FFMPEG);
    std::vector<cv::Mat> frames;
    cv::Mat frame;
    while (capture.read(frame)) {
        frames.push_back(frame.clone());
    }
    return frames;
}

cv::Mat channel0(const cv::Mat& bgr) {
    cv::Mat plane;
    cv::extractChannel(bgr, plane, 0);
    return plane;
}

void drawBox(cv::Mat& image, const cv::Rect& r, const cv::Scalar& colour, int thickness) {
    cv::rectangle(image, r.tl(), cv::Point(r.x + r.width, r.y + r.height), colour, thickness,
                  cv::LINE_AA);
}

// Pixels of `plane` inside `region` that are neither 0 nor 255.
int nonBinaryPixels(const cv::Mat& plane, const cv::Rect& region) {
    const cv::Mat inside = plane(region);
    return static_cast<int>(inside.total()) - cv::countNonZero(inside == 0) -
           cv::countNonZero(inside == 255);
}

// Pixels that differ in any channel between two pictures, outside `region`.
int differencesOutside(const cv::Mat& a, const cv::Mat& b, const cv::Rect& region) {
    cv::Mat differs(a.size(), CV_8UC1, cv::Scalar(0));
    for (int c = 0; c < a.channels(); ++c) {
        cv::Mat fromA, fromB;
        cv::extractChannel(a, fromA, c);
        cv::extractChannel(b, fromB, c);
        differs |= fromA != fromB;
    }
    differs(region).setTo(0);
    return cv::countNonZero(differs);
}

void mark(MainWindow& window, const QRect& region) {
    window.dataScene->handedOver = region;
    window.dataScene->selectionState = -1;
}

// What the window reports through its signals, in order.
struct SignalRecord {
    QObject context;
    std::vector<std::pair<char, int>> events; // 'v' video slider, 't' threshold, 's' shots

    explicit SignalRecord(MainWindow& window) {
        QObject::connect(&window, &MainWindow::updateVideoSlider, &context,
                         [this](int v) { events.emplace_back('v', v); });
        QObject::connect(&window, &MainWindow::updateThresholdSlider, &context,
                         [this](int v) { events.emplace_back('t', v); });
        QObject::connect(&window, &MainWindow::updateSkuddLcd, &context,
                         [this](int v) { events.emplace_back('s', v); });
    }
};

class FrameCycle : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};

    // A window on the video whose frame clock is stopped: the test ticks it.
    std::unique_ptr<MainWindow> openWindow(const QString& video) {
        auto window = openWindowForTicking(video);
        if (!window->isReady()) {
            throw std::runtime_error("the window did not open " + video.toStdString());
        }
        return window;
    }

    static int countLines(const QByteArray& text) {
        const QList<QByteArray> lines = logLines();
        return static_cast<int>(std::count_if(
            lines.begin(), lines.end(), [&](const QByteArray& l) { return l.contains(text); }));
    }
};

} // namespace

TEST_F(FrameCycle, PausedTicksReadNothingEmitNothingAndOnlyRefreshTheVideoViews) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    SignalRecord reported(*window);
    const int logSize = static_cast<int>(logLines().size());
    mark(*window, QRect(QPoint(100, 50), QPoint(139, 89)));

    for (int i = 0; i < 3; ++i) {
        clock.advanceMs(25);
        window->OpenCVMeanShift();
    }
    EXPECT_EQ(window->capture.position(), 1);
    EXPECT_EQ(shownIndex(window->frame), 0);
    EXPECT_TRUE(reported.events.empty());
    EXPECT_EQ(window->ui->videoSlider->value(), 0);
    // The first frame is shown as read, without overlays; the processed view
    // shows it processed (outside the region of interest, as read), and the
    // histogram view the histogram of its region.
    ASSERT_FALSE(window->mainViewImage.isNull());
    EXPECT_EQ(window->mainViewImage.pixel(300, 210), qRgb(0, 0, 0));
    EXPECT_EQ(window->mainViewImage.pixel(8, 8), qRgb(20, 20, 20));
    ASSERT_FALSE(window->dataViewImage.isNull());
    EXPECT_EQ(window->dataViewImage.pixel(8, 8), qRgb(20, 20, 20));
    EXPECT_FALSE(window->histViewItem->pixmap().isNull());
    // The marked region waits for playback; nothing is tracked or logged.
    EXPECT_EQ(window->dataScene->selectionState, -1);
    EXPECT_EQ(window->trackWindow, cv::Rect());
    EXPECT_EQ(static_cast<int>(logLines().size()), logSize);
}

TEST_F(FrameCycle, APlayingTickReadsTheNextFrameAndReportsPositionThenThreshold) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    SignalRecord reported(*window);
    window->StartButtonClicked();

    window->OpenCVMeanShift();
    EXPECT_EQ(shownIndex(window->frame), 1);
    ASSERT_EQ(reported.events.size(), 2u);
    EXPECT_EQ(reported.events[0], std::make_pair('v', 2));
    EXPECT_EQ(reported.events[1], std::make_pair('t', window->threshold));
    EXPECT_EQ(window->ui->videoSlider->value(), 2);
    EXPECT_EQ(window->ui->thresholdSlider->value(), window->threshold);
    EXPECT_EQ(window->ui->lcdThreshold->intValue(), window->threshold);
    EXPECT_FALSE(window->histViewItem->pixmap().isNull());

    window->OpenCVMeanShift();
    EXPECT_EQ(shownIndex(window->frame), 2);
    ASSERT_EQ(reported.events.size(), 4u);
    EXPECT_EQ(reported.events[2], std::make_pair('v', 3));
    EXPECT_EQ(reported.events[3].first, 't');

    // Pausing freezes the picture and the position.
    window->StopButtonClicked();
    window->OpenCVMeanShift();
    EXPECT_EQ(shownIndex(window->frame), 2);
    EXPECT_EQ(reported.events.size(), 4u);
}

TEST_F(FrameCycle, PlaybackWrapsFromTheNextToLastFrameToFrameOne) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    SignalRecord reported(*window);
    window->StartButtonClicked();
    std::vector<int> shown;
    for (int i = 0; i < 10; ++i) {
        window->OpenCVMeanShift();
        shown.push_back(shownIndex(window->frame));
    }
    // Frames 0 and 5 (the last) never come back while playing.
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 4, 1, 2, 3, 4, 1, 2}));
    std::vector<int> positions;
    for (const auto& [kind, value] : reported.events) {
        if (kind == 'v') {
            positions.push_back(value);
        }
    }
    EXPECT_EQ(positions, (std::vector<int>{2, 3, 4, 5, 2, 3, 4, 5, 2, 3}));
}

// However short the video, playback wraps and every tick ends: a video of one
// frame stops playing, two or three frames show frame 1 again and again.
// A video of one frame is refused, as the replay refuses it: playing shows
// the frames after the first.
TEST_F(FrameCycle, VideosOfEveryLengthFromTwoFramesPlayAndWrap) {
    auto single = openWindowForTicking(writeExactVideo(directory.file("v.avi"), numberedFrames(1)));
    EXPECT_FALSE(single->isReady());
    EXPECT_TRUE(single->openRefusal().contains("one frame only"));
    single.reset();
    for (int count = 2; count <= 6; ++count) {
        SCOPED_TRACE(testing::Message() << count << " frames");
        auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(count)));
        window->StartButtonClicked();
        std::vector<int> shown;
        std::vector<int> expected;
        for (int tick = 0; tick < 8; ++tick) {
            window->OpenCVMeanShift();
            shown.push_back(shownIndex(window->frame));
            expected.push_back(count <= 3 ? 1 : 1 + tick % (count - 2));
        }
        EXPECT_EQ(shown, expected);
        EXPECT_EQ(window->playing, 1);
    }
}

TEST_F(FrameCycle, ASeekToOrPastTheLastFrameStartsOverAtFrameOne) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    SignalRecord reported(*window);
    window->StartButtonClicked();
    window->OpenCVMeanShift();
    window->OpenCVMeanShift();
    ASSERT_EQ(shownIndex(window->frame), 2);

    for (int position : {6, 5}) {
        SCOPED_TRACE(position);
        window->moveVideoSlider(position);
        window->capture.waitForBackgroundSeek();
        // Nothing is read at the seek itself.
        EXPECT_EQ(shownIndex(window->frame), 2);
        reported.events.clear();
        window->OpenCVMeanShift();
        EXPECT_FALSE(window->frame.empty());
        EXPECT_EQ(window->frame.size(), cv::Size(640, 480));
        EXPECT_EQ(shownIndex(window->frame), 1);
        // The frame was processed as on any playing tick.
        ASSERT_EQ(reported.events.size(), 2u);
        EXPECT_EQ(reported.events[0], std::make_pair('v', 2));
        EXPECT_EQ(reported.events[1].first, 't');
        EXPECT_EQ(window->playing, 1);
        window->OpenCVMeanShift();
        EXPECT_EQ(shownIndex(window->frame), 2);
    }
}

TEST_F(FrameCycle, FramesOfAnotherSizeInTheFileNeverReachTheWorkingImages) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 8; ++i) {
        frames.push_back(i < 4 ? numberedFrame(i, {640, 480}, 90)
                               : numberedFrame(i, {320, 240}, 90));
    }
    auto window = openWindow(writeMjpeg(directory.file("spliced.avi"), frames));
    ASSERT_EQ(window->frameCount, 8);
    mark(*window, QRect(QPoint(250, 220), QPoint(273, 239)));
    window->StartButtonClicked();
    std::vector<int> shown;
    for (int i = 0; i < 9; ++i) {
        ASSERT_NO_THROW(window->OpenCVMeanShift());
        ASSERT_EQ(window->frame.size(), cv::Size(640, 480));
        ASSERT_EQ(window->frame.type(), CV_8UC3);
        ASSERT_EQ(window->dataFrame.size(), cv::Size(640, 480));
        ASSERT_EQ(window->dataPlane.size(), cv::Size(640, 480));
        shown.push_back(shownIndex(window->frame));
    }
    // However the decoder hands over the small frames, playback goes on to the
    // wrap at frame 6 and starts over at frame 1.
    EXPECT_EQ(shown.front(), 1);
    EXPECT_EQ(shown[6], 1);
    EXPECT_EQ(shown[7], 2);
    EXPECT_EQ(window->playing, 1);
}

TEST_F(FrameCycle, AnAllDarkRegionGivesTheTopBinAsThreshold) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(4)));
    SignalRecord reported(*window);
    window->StartButtonClicked();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->histMax, 20000.0f);
    EXPECT_EQ(window->histTotal, 0);
    EXPECT_EQ(window->histLowPart, 0);
    EXPECT_EQ(window->histHighPart, 0);
    EXPECT_EQ(window->histFromTop, 0);
    EXPECT_EQ(window->threshold, 254);
    ASSERT_EQ(reported.events.size(), 2u);
    EXPECT_EQ(reported.events[1], std::make_pair('t', 254));
    EXPECT_EQ(window->ui->thresholdSlider->value(), 254);

    // The picture has a single bar, bin 0's, drawn as a one-pixel outline over
    // columns 0 to 2 from the top row down; the grey view shows it as is.
    cv::Mat expected(255, 255, CV_8UC1, cv::Scalar(255));
    expected.col(0).setTo(0);
    expected.col(2).setTo(0);
    expected.at<uchar>(0, 1) = 0;
    EXPECT_EQ(cv::norm(window->histImage, expected, cv::NORM_INF), 0.0);
    ASSERT_EQ(window->histViewImage.size(), QSize(255, 255));
    EXPECT_EQ(window->histViewImage.pixel(0, 100), qRgb(0, 0, 0));
    EXPECT_EQ(window->histViewImage.pixel(1, 100), qRgb(255, 255, 255));
    EXPECT_EQ(window->histViewImage.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(window->histViewImage.pixel(200, 254), qRgb(255, 255, 255));
}

TEST_F(FrameCycle, TheThresholdCoversALittleOverTheBrightestFourPerCent) {
    // Grey levels of the region chosen so that the scaled bins 1..254 sum to 500:
    // the brightest 21 of them, not 20, set the threshold.
    const std::pair<int, int> levels[] = {{0, 6746}, {251, 265},  {201, 265},
                                          {151, 27}, {101, 6746}, {81, 5951}};
    cv::Mat frame = numberedFrame(0, {640, 480}, 128);
    cv::Mat region = frame(defaultRoi);
    int filled = 0;
    for (const auto& [level, count] : levels) {
        for (int i = 0; i < count; ++i, ++filled) {
            region.at<cv::Vec3b>(filled / 200, filled % 200) = cv::Vec3b::all(level);
        }
    }
    ASSERT_EQ(filled, 20000);
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), {frame, frame, frame}));
    window->StartButtonClicked();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->histMax, 6746.0f);
    EXPECT_EQ(window->histTotal, 500);
    EXPECT_EQ(window->histLowPart, 479);
    EXPECT_EQ(window->histHighPart, 21);
    EXPECT_EQ(window->histFromTop, 21);
    EXPECT_EQ(window->threshold, 150);

    // Switched off, the walk still runs but the slider's level stays.
    window->dynThreshOffClicked();
    window->moveThresholdSlider(77);
    SignalRecord reported(*window);
    window->OpenCVMeanShift();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->histHighPart, 21);
    EXPECT_EQ(window->threshold, 77);
    EXPECT_EQ(reported.events,
              (std::vector<std::pair<char, int>>{{'v', 2}, {'t', 77}, {'v', 2}, {'t', 77}}));
    window->dynThreshOnClicked();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->threshold, 150);
}

TEST_F(FrameCycle, TheRegionIsBlurredWithReplicatedBordersAndThresholdedAboveTheLevel) {
    // Inside the region: column 0 and the top row of columns 20..49 at 210, a
    // step to 200 from column 100 on, black elsewhere. Around it: grey 128.
    cv::Mat frame = numberedFrame(0, {640, 480}, 128);
    cv::Mat region = frame(defaultRoi);
    region.setTo(cv::Scalar::all(0));
    region.col(0).setTo(cv::Scalar::all(210));
    region(cv::Rect(20, 0, 30, 1)).setTo(cv::Scalar::all(210));
    region.colRange(100, 200).setTo(cv::Scalar::all(200));
    auto window =
        openWindow(writeExactVideo(directory.file("v.avi"), {frame, frame, frame, frame}));
    window->dynThreshOffClicked();
    window->StartButtonClicked();

    const auto roiPixel = [&window](int x, int y) {
        return window->dataPlane.at<uchar>(defaultRoi.y + y, defaultRoi.x + x);
    };
    // A 7 x 7 mean with the edge pixels repeated: 4/7, 3/7, 2/7 and 1/7 of 210
    // (120, 90, 60, 30) in the first four columns, the same down the top rows,
    // and 3/7 of 200 (86) one column before the step.
    window->moveThresholdSlider(60);
    window->OpenCVMeanShift();
    EXPECT_EQ(roiPixel(0, 50), 255);
    EXPECT_EQ(roiPixel(1, 50), 255);
    EXPECT_EQ(roiPixel(2, 50), 0) << "a mean equal to the level stays black";
    EXPECT_EQ(roiPixel(35, 0), 255);
    EXPECT_EQ(roiPixel(35, 1), 255);
    EXPECT_EQ(roiPixel(35, 2), 0);
    EXPECT_EQ(roiPixel(98, 50), 0);
    EXPECT_EQ(roiPixel(99, 50), 255);
    EXPECT_EQ(roiPixel(199, 99), 255);
    EXPECT_EQ(nonBinaryPixels(window->dataPlane, defaultRoi), 0);
    cv::Mat regionChannels[3];
    cv::split(window->dataFrame(defaultRoi), regionChannels);
    for (const cv::Mat& channel : regionChannels) {
        EXPECT_EQ(cv::norm(channel, regionChannels[0], cv::NORM_INF), 0.0);
    }
    // Outside the region the frame is untouched.
    EXPECT_EQ(differencesOutside(window->dataPlane, channel0(frame), defaultRoi), 0);
    EXPECT_EQ(window->dataPlane.at<uchar>(199, 250), 128);
    EXPECT_EQ(window->dataPlane.at<uchar>(300, 250), 128);

    window->moveThresholdSlider(59);
    window->OpenCVMeanShift();
    EXPECT_EQ(roiPixel(2, 50), 255);
    EXPECT_EQ(roiPixel(3, 50), 0);
    EXPECT_EQ(roiPixel(35, 2), 255);
    EXPECT_EQ(roiPixel(35, 3), 0);

    // An even kernel has its anchor at size / 2: a 2 x 2 mean takes the pixel and
    // the one before it, so the step's half-way value (100) lands on column 100.
    window->moveFilterSlider(2);
    window->moveThresholdSlider(99);
    window->OpenCVMeanShift();
    EXPECT_EQ(roiPixel(99, 50), 0);
    EXPECT_EQ(roiPixel(100, 50), 255);
    EXPECT_EQ(roiPixel(0, 50), 255);
    EXPECT_EQ(roiPixel(1, 50), 255);
    EXPECT_EQ(roiPixel(2, 50), 0);
}

TEST_F(FrameCycle, TheCompositeFollowsTheRegionSliders) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 4; ++i) {
        cv::Mat frame = numberedFrame(i, {640, 480}, 0);
        // A diagonal grey ramp: no pixel is 0 or 255 away from the number block.
        for (int y = 0; y < 480; ++y) {
            for (int x = 16; x < 640; ++x) {
                frame.at<cv::Vec3b>(y, x) = cv::Vec3b::all(static_cast<uchar>(20 + (x + y) % 200));
            }
        }
        frames.push_back(frame);
    }
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), frames));
    window->StartButtonClicked();
    window->moveRoiXSlider(440);
    window->moveRoiYSlider(0);
    window->OpenCVMeanShift();
    const cv::Rect moved(440, 0, 200, 100);
    EXPECT_EQ(nonBinaryPixels(window->dataPlane, moved), 0);
    EXPECT_EQ(differencesOutside(window->dataPlane, channel0(frames[1]), moved), 0);
    EXPECT_GT(cv::countNonZero(window->dataPlane(moved)), 0);
}

TEST_F(FrameCycle, OverlaysAreDrawnOnceEachInTheirColourAndThickness) {
    // Black frames: a marked region holds nothing, so mean shift leaves it.
    std::vector<cv::Mat> frames = numberedFrames(5);
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), frames));
    window->StartButtonClicked();

    // Before any region is marked only the focal area is drawn, red, on the frame.
    window->OpenCVMeanShift();
    cv::Mat expectedFrame = frames[1].clone();
    drawBox(expectedFrame, defaultFocus, missColour, 2);
    EXPECT_EQ(cv::norm(window->frame, expectedFrame, cv::NORM_INF), 0.0);
    EXPECT_EQ(differencesOutside(window->dataFrame, frames[1], defaultRoi), 0);
    EXPECT_EQ(window->trackWindow, cv::Rect());

    const cv::Rect marked(420, 320, 40, 30);
    mark(*window, QRect(QPoint(420, 320), QPoint(459, 349)));
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackWindow, marked);
    EXPECT_EQ(window->trackComp.area, 0.0);
    EXPECT_EQ(window->trackCenterX, 440);
    EXPECT_EQ(window->trackCenterY, 335);
    expectedFrame = frames[2].clone();
    drawBox(expectedFrame, marked, trackColour, 2);
    drawBox(expectedFrame, defaultFocus, missColour, 2);
    EXPECT_EQ(cv::norm(window->frame, expectedFrame, cv::NORM_INF), 0.0);
    // The processed frame shows the window one pixel wide.
    cv::Mat expectedData = frames[2].clone();
    drawBox(expectedData, marked, trackColour, 1);
    EXPECT_EQ(differencesOutside(window->dataFrame, expectedData, defaultRoi), 0);
    // The views show the frames with their overlays.
    EXPECT_EQ(window->mainViewImage.pixel(440, 320),
              qRgb(expectedFrame.at<cv::Vec3b>(320, 440)[2],
                   expectedFrame.at<cv::Vec3b>(320, 440)[1],
                   expectedFrame.at<cv::Vec3b>(320, 440)[0]));

    // A focal area reaching past the picture (the sliders leave room for the
    // area's first size only) is drawn clipped to it, all four edges seen.
    window->endreBrennpunktXBox(100);
    window->endreBrennpunktYbox(100);
    window->moveBrennpunktXSlider(620);
    window->moveBrennpunktYSlider(460);
    window->OpenCVMeanShift();
    expectedFrame = frames[3].clone();
    drawBox(expectedFrame, marked, trackColour, 2);
    drawBox(expectedFrame, cv::Rect(620, 460, 19, 19), missColour, 2);
    EXPECT_EQ(cv::norm(window->frame, expectedFrame, cv::NORM_INF), 0.0);
}

TEST_F(FrameCycle, OnAHitTheFocalAreaIsDrawnGreenInsteadOfRed) {
    // A bright square well inside the region of interest, with the focal area on it.
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 4; ++i) {
        cv::Mat frame = numberedFrame(i, {640, 480}, 30);
        frame(cv::Rect(254, 244, 12, 12)).setTo(cv::Scalar::all(230));
        frames.push_back(frame);
    }
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), frames));
    window->dynThreshOffClicked();
    window->moveThresholdSlider(100);
    window->moveBrennpunktXSlider(250);
    window->moveBrennpunktYSlider(240);
    window->startLoggButtonClicked();
    window->StartButtonClicked();
    mark(*window, QRect(QPoint(248, 240), QPoint(271, 259)));
    SignalRecord reported(*window);
    window->OpenCVMeanShift();
    ASSERT_EQ(reported.events.size(), 3u);
    EXPECT_EQ(reported.events[0].first, 'v');
    EXPECT_EQ(reported.events[1].first, 't');
    EXPECT_EQ(reported.events[2], std::make_pair('s', window->antallSkudd));
    EXPECT_GT(window->trackComp.area, 0.0);
    EXPECT_EQ(window->trackWindow, cv::Rect(248, 240, 24, 20));
    EXPECT_EQ(window->trackCenterX, 260);
    EXPECT_EQ(window->trackCenterY, 250);

    cv::Mat expected = frames[1].clone();
    drawBox(expected, window->trackWindow, trackColour, 2);
    drawBox(expected, cv::Rect(250, 240, 20, 20), hitColour, 2);
    EXPECT_EQ(cv::norm(window->frame, expected, cv::NORM_INF), 0.0);
    EXPECT_EQ(window->brennpunktDrawn, 0);

    // Moved off the focal area, the next tick draws it red again.
    window->moveBrennpunktXSlider(400);
    window->OpenCVMeanShift();
    expected = frames[2].clone();
    drawBox(expected, window->trackWindow, trackColour, 2);
    drawBox(expected, cv::Rect(400, 240, 20, 20), missColour, 2);
    EXPECT_EQ(cv::norm(window->frame, expected, cv::NORM_INF), 0.0);
}

TEST_F(FrameCycle, StartOfTrackingIsLoggedOnceAndOnlyAfterLoggingStarts) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    window->StartButtonClicked();
    mark(*window, QRect(QPoint(420, 320), QPoint(459, 349)));
    for (int i = 0; i < 3; ++i) {
        clock.advanceMs(25);
        window->OpenCVMeanShift();
    }
    EXPECT_EQ(window->trackWindow, cv::Rect(420, 320, 40, 30));
    EXPECT_EQ(window->trackingStarted, 0);
    EXPECT_EQ(countLines("Starter tracking"), 0);

    clock.advanceMs(1425);
    window->startLoggButtonClicked();
    const std::int64_t startedAt = clock.now();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackingStarted, 1);
    EXPECT_EQ(window->trackingStartTick, startedAt);
    EXPECT_EQ(window->logTick, clock.now());
    const QList<QByteArray> lines = logLines();
    ASSERT_EQ(countLines("Starter tracking"), 1);
    EXPECT_TRUE(lines.contains("1.500000Starter tracking"));

    // Neither more ticks nor a new region start it again.
    clock.advanceMs(100);
    mark(*window, QRect(QPoint(100, 320), QPoint(139, 349)));
    window->OpenCVMeanShift();
    window->OpenCVMeanShift();
    EXPECT_EQ(countLines("Starter tracking"), 1);
    EXPECT_EQ(window->trackingStartTick, startedAt);
}

TEST_F(FrameCycle, ANewRegionReplacesTheTrackWindowAtTheNextPlayingTick) {
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), numberedFrames(6)));
    window->StartButtonClicked();
    mark(*window, QRect(QPoint(100, 50), QPoint(139, 89)));
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackWindow, cv::Rect(100, 50, 40, 40));
    EXPECT_EQ(window->dataScene->selectionState, 1);
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackWindow, cv::Rect(100, 50, 40, 40));

    mark(*window, QRect(QPoint(300, 350), QPoint(309, 359)));
    EXPECT_EQ(window->trackWindow, cv::Rect(100, 50, 40, 40));
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackWindow, cv::Rect(300, 350, 10, 10));
    EXPECT_EQ(window->dataScene->selectionState, 1);

    // Marked while paused, a region waits for playback.
    window->StopButtonClicked();
    mark(*window, QRect(QPoint(500, 400), QPoint(529, 419)));
    window->OpenCVMeanShift();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->dataScene->selectionState, -1);
    EXPECT_EQ(window->trackWindow, cv::Rect(300, 350, 10, 10));
    window->StartButtonClicked();
    window->OpenCVMeanShift();
    EXPECT_EQ(window->trackWindow, cv::Rect(500, 400, 30, 20));
    EXPECT_EQ(window->dataScene->selectionState, 1);
}

TEST_F(FrameCycle, OutsideTheRegionMeanShiftWeighsTheRawFrameAndCanRunOutOfIterations) {
    // Grey rising by one level per column: a window on it is pulled right on
    // every iteration, a little less each time, and ten are not enough to settle.
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 4; ++i) {
        cv::Mat frame = numberedFrame(i);
        for (int x = 16; x < 640; ++x) {
            frame.col(x).setTo(cv::Scalar::all(std::min(x, 255)));
        }
        frames.push_back(frame);
    }
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), frames));
    window->StartButtonClicked();
    mark(*window, QRect(QPoint(20, 350), QPoint(59, 369)));
    window->OpenCVMeanShift();
    const cv::Rect found = window->trackWindow;
    EXPECT_EQ(found.y, 350);
    EXPECT_EQ(found.size(), cv::Size(40, 20));
    EXPECT_GT(found.x, 40);
    // The area is the sum of raw grey levels in the window before the last
    // move, which lies a few columns to the left of the final one.
    const auto sumAt = [&window](int x) {
        return cv::sum(window->dataPlane(cv::Rect(x, 350, 40, 20)))[0];
    };
    EXPECT_LT(window->trackComp.area, sumAt(found.x));
    bool fromAnEarlierWindow = false;
    for (int x = found.x - 4; x < found.x; ++x) {
        fromAnEarlierWindow = fromAnEarlierWindow || window->trackComp.area == sumAt(x);
    }
    EXPECT_TRUE(fromAnEarlierWindow);
}

TEST_F(FrameCycle, WithoutAMarkedRegionNothingIsTrackedOrLogged) {
    std::vector<cv::Mat> frames;
    for (int i = 0; i < 4; ++i) {
        cv::Mat frame = numberedFrame(i, {640, 480}, 30);
        frame(cv::Rect(204, 204, 12, 12)).setTo(cv::Scalar::all(230));
        frames.push_back(frame);
    }
    auto window = openWindow(writeExactVideo(directory.file("v.avi"), frames));
    const int logSize = static_cast<int>(logLines().size());
    window->startLoggButtonClicked();
    window->StartButtonClicked();
    for (int i = 0; i < 3; ++i) {
        window->OpenCVMeanShift();
    }
    EXPECT_EQ(window->trackWindow, cv::Rect());
    EXPECT_EQ(window->trackComp.area, 0.0);
    EXPECT_EQ(window->inPlane, 0);
    EXPECT_EQ(window->antallSkudd, 0);
    EXPECT_EQ(static_cast<int>(logLines().size()), logSize);
}

TEST_F(FrameCycle, SmallAndOddSizedFramesAreProcessedWithTheRegionInsideThem) {
    const cv::Size sizes[] = {{1, 1}, {64, 48}, {199, 99}, {399, 299}, {401, 301}};
    for (const cv::Size size : sizes) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        SyntheticVideoSpec recording;
        recording.width = size.width;
        recording.height = size.height;
        // The stone sits in the middle of the frame.
        recording.stone = [size](int) {
            return StoneState{size.width / 2.0, size.height / 2.0, 1.0};
        };
        std::vector<cv::Mat> rendered;
        for (int i = 0; i < 5; ++i) {
            rendered.push_back(renderFrame(recording, i));
        }
        const QString video = writeMjpeg(
            directory.file(std::to_string(size.width) + "x" + std::to_string(size.height) + ".avi"),
            rendered);
        const std::vector<cv::Mat> decoded = decodeAll(video);
        ASSERT_EQ(decoded.size(), 5u);
        ASSERT_EQ(decoded[0].size(), size);

        std::unique_ptr<MainWindow> window;
        ASSERT_NO_THROW(window = openWindow(video));
        EXPECT_EQ(window->frameWidth, size.width);
        EXPECT_EQ(window->frameHeight, size.height);
        const int left = std::max(0, size.width / 2 - 12);
        const int top = std::max(0, size.height / 2 - 10);
        mark(*window, QRect(QPoint(left, top), QPoint(std::min(size.width - 1, left + 23),
                                                      std::min(size.height - 1, top + 19))));
        window->StartButtonClicked();

        const int roiWidth = std::min(200, size.width);
        const int roiHeight = std::min(100, size.height);
        const cv::Rect roi(std::clamp(200, 0, size.width - roiWidth),
                           std::clamp(200, 0, size.height - roiHeight), roiWidth, roiHeight);
        for (int tick = 1; tick <= 6; ++tick) {
            SCOPED_TRACE(tick);
            ASSERT_NO_THROW(window->OpenCVMeanShift());
            const int index = tick <= 3 ? tick : tick - 3; // wraps after frame 3
            ASSERT_EQ(window->frame.size(), size);
            EXPECT_EQ(nonBinaryPixels(window->dataPlane, roi), 0);
            EXPECT_EQ(differencesOutside(window->dataPlane, channel0(decoded[index]), roi), 0);
            const cv::Rect inside = window->trackWindow & cv::Rect(cv::Point(), size);
            EXPECT_EQ(inside, window->trackWindow);
            EXPECT_FALSE(window->trackWindow.empty());
        }
    }
}
