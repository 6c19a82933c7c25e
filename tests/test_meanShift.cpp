// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "tracking/meanShift.h"

#include <QTimer>
#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int iterations = 10;
constexpr double epsilon = 1.0;

// A picture of zeros with one bright rectangle.
cv::Mat pictureWith(cv::Size size, const cv::Rect& bright, uchar value = 255) {
    cv::Mat picture(size, CV_8UC1, cv::Scalar(0));
    picture(bright).setTo(value);
    return picture;
}

// A picture whose grey level is its column index: every window is pulled to the
// right, a little less the further right it is, so the search never settles.
cv::Mat columnRamp(int width, int height) {
    cv::Mat picture(height, width, CV_8UC1);
    for (int x = 0; x < width; ++x) {
        picture.col(x).setTo(x);
    }
    return picture;
}

double sumOver(const cv::Mat& picture, const cv::Rect& window) {
    return cv::sum(picture(window))[0];
}

} // namespace

TEST(MeanShift, MovesTheWindowUntilItsCentreMeetsTheCentreOfMass) {
    // A 6 x 6 blob centred on (42.5, 32.5), found by a 20 x 16 window at (30, 25).
    const cv::Mat picture = pictureWith({100, 80}, {40, 30, 6, 6});
    const ConnectedComp found = meanShift(picture, {30, 25, 20, 16}, iterations, epsilon);
    // x: 12.5 - 10 rounds to 2, then 10.5 - 10 to 0; y: 7.5 - 8 rounds to 0.
    EXPECT_EQ(found.rect, cv::Rect(32, 25, 20, 16));
    EXPECT_EQ(found.area, 36 * 255.0);
}

TEST(MeanShift, AnEmptyWindowKeepsItsPlaceWithAreaZero) {
    const cv::Mat picture = pictureWith({100, 80}, {80, 60, 6, 6});
    const ConnectedComp found = meanShift(picture, {10, 10, 24, 20}, iterations, epsilon);
    EXPECT_EQ(found.rect, cv::Rect(10, 10, 24, 20));
    EXPECT_EQ(found.area, 0.0);
}

TEST(MeanShift, TheWindowStaysInsideThePicture) {
    const cv::Mat corner = pictureWith({100, 80}, {0, 0, 4, 4});
    EXPECT_EQ(meanShift(corner, {2, 2, 20, 16}, iterations, epsilon).rect, cv::Rect(0, 0, 20, 16));
    const cv::Mat farCorner = pictureWith({100, 80}, {96, 76, 4, 4});
    EXPECT_EQ(meanShift(farCorner, {78, 62, 20, 16}, iterations, epsilon).rect,
              cv::Rect(80, 64, 20, 16));
    // A window reaching over the edge is cut to the picture first.
    const ConnectedComp cut = meanShift(corner, {-10, -5, 30, 20}, iterations, epsilon);
    EXPECT_EQ(cut.rect, cv::Rect(0, 0, 20, 15));
    EXPECT_EQ(cut.area, 16 * 255.0);
}

TEST(MeanShift, ShiftsAreRoundedToTheNearestWholePixelWithTiesToEven) {
    // Two bright columns, 6 and 7: their centre of mass is 6.5. One step each, so
    // that a rounding which went back and forth could not end where it started.
    const cv::Mat picture = pictureWith({20, 1}, {6, 0, 2, 1});
    // Window 4..7 (centre 6): +0.5 rounds to 0. Window 5..8 (centre 7): -0.5 rounds to 0.
    EXPECT_EQ(meanShift(picture, {4, 0, 4, 1}, 1, epsilon).rect.x, 4);
    EXPECT_EQ(meanShift(picture, {5, 0, 4, 1}, 1, epsilon).rect.x, 5);
    EXPECT_EQ(meanShift(picture, {4, 0, 4, 1}, 3, epsilon).rect.x, 4);
    EXPECT_EQ(meanShift(picture, {5, 0, 4, 1}, 3, epsilon).rect.x, 5);
    // Window 0..9 (centre 5) sees the pair 2.5 to the right: it moves 2, not 3.
    const cv::Mat pair = pictureWith({20, 1}, {7, 0, 2, 1});
    EXPECT_EQ(meanShift(pair, {0, 0, 10, 1}, 1, epsilon).rect.x, 2);
    EXPECT_EQ(meanShift(pair, {0, 0, 10, 1}, iterations, epsilon).rect.x, 2);
}

TEST(MeanShift, AOnePixelMoveDoesNotEndTheSearch) {
    // On the ramp a 40-wide window between x = 48 and 113 is pulled by 0.5 to 1.5
    // pixels: one pixel per iteration, ten times.
    const cv::Mat ramp = columnRamp(256, 10);
    const ConnectedComp found = meanShift(ramp, {48, 0, 40, 10}, iterations, epsilon);
    EXPECT_EQ(found.rect, cv::Rect(58, 0, 40, 10));
    EXPECT_EQ(found.area, sumOver(ramp, {57, 0, 40, 10}));
    // Where the pull is under half a pixel the window stays.
    EXPECT_EQ(meanShift(ramp, {120, 0, 40, 10}, iterations, epsilon).rect.x, 120);
}

TEST(MeanShift, TheAreaIsTheLastEvaluatedWindowsWhenTheIterationLimitEndsTheSearch) {
    const cv::Mat ramp = columnRamp(256, 10);
    // From x = 0 the centre of mass lies at 26.33 in the window, so the first
    // step is round(26.33 - 20) = 6; from x = 6 it lies at 24.73, a step of 5.
    const ConnectedComp one = meanShift(ramp, {0, 0, 40, 10}, 1, epsilon);
    EXPECT_EQ(one.rect, cv::Rect(6, 0, 40, 10));
    EXPECT_EQ(one.area, sumOver(ramp, {0, 0, 40, 10}));
    EXPECT_NE(one.area, sumOver(ramp, one.rect));

    const ConnectedComp two = meanShift(ramp, {0, 0, 40, 10}, 2, epsilon);
    EXPECT_EQ(two.rect, cv::Rect(11, 0, 40, 10));
    EXPECT_EQ(two.area, sumOver(ramp, {6, 0, 40, 10}));

    // The tracker's limit of ten is not enough to settle on the ramp either.
    const ConnectedComp ten = meanShift(ramp, {0, 0, 40, 10}, iterations, epsilon);
    EXPECT_GT(ten.rect.x, 30);
    EXPECT_LT(ten.area, sumOver(ramp, ten.rect));
    // The area belongs to a window a few pixels to the left of the final one.
    bool earlierWindow = false;
    for (int x = ten.rect.x - 5; x < ten.rect.x; ++x) {
        earlierWindow = earlierWindow || ten.area == sumOver(ramp, {x, 0, 40, 10});
    }
    EXPECT_TRUE(earlierWindow);
}

TEST(MeanShift, ASettledSearchReportsTheFinalWindowsArea) {
    cv::Mat picture = pictureWith({100, 80}, {40, 30, 6, 6});
    picture(cv::Rect(44, 30, 2, 6)).setTo(100); // weights, not a mask
    const ConnectedComp found = meanShift(picture, {24, 20, 20, 16}, iterations, epsilon);
    EXPECT_EQ(found.area, sumOver(picture, found.rect));
    EXPECT_EQ(found.area, 24 * 255.0 + 12 * 100.0);
}

namespace {

class TrackingOnVideo : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};

    std::unique_ptr<MainWindow> openWindow(const QString& video) {
        return openWindowForTicking(video);
    }
};

// A 24 x 20 region centred on the stone, marked on the processed view.
void markAround(MainWindow& window, double x, double y) {
    const int left = static_cast<int>(std::lround(x)) - 12;
    const int top = static_cast<int>(std::lround(y)) - 10;
    window.dataScene->handedOver = QRect(QPoint(left, top), QPoint(left + 23, top + 19));
    window.dataScene->selectionState = -1;
}

double trackError(const MainWindow& window, const StoneState& stone) {
    return std::hypot(window.trackCenterX - stone.centreX, window.trackCenterY - stone.centreY);
}

struct Truth {
    double x = 0, y = 0;
    bool inPlane = false;
};

std::vector<Truth> readGroundTruth(const std::string& csvPath) {
    std::ifstream csv(csvPath);
    std::string line;
    std::getline(csv, line); // header
    std::vector<Truth> truth;
    while (std::getline(csv, line)) {
        std::replace(line.begin(), line.end(), ',', ' ');
        std::istringstream fields(line);
        int frame = 0, inPlane = 0;
        Truth t;
        fields >> frame >> t.x >> t.y >> inPlane;
        t.inPlane = inPlane == 1;
        truth.push_back(t);
    }
    return truth;
}

} // namespace

TEST_F(TrackingOnVideo, AMovingStoneIsFollowedWithinTwoPixels) {
    SyntheticVideoSpec recording;
    recording.frames = 40;
    // Across the region of interest, 3 px right and 1 px down per frame.
    recording.stone = [](int i) { return StoneState{245.0 + 3.0 * i, 235.0 + 1.0 * i, 1.0}; };
    auto window = openWindow(writeVideo(directory.file("moving.avi"), recording));
    ASSERT_TRUE(window->isReady());
    markAround(*window, 245.0, 235.0);
    window->StartButtonClicked();
    // Tick k reads frame k, up to the next-to-last frame.
    double worst = 0.0;
    for (int k = 1; k <= recording.frames - 2; ++k) {
        window->OpenCVMeanShift();
        const double error = trackError(*window, stoneAt(recording, k));
        EXPECT_LE(error, 2.0) << "frame " << k;
        EXPECT_GT(window->trackComp.area, 0.0) << "frame " << k;
        worst = std::max(worst, error);
    }
    RecordProperty("worstErrorPx", std::to_string(worst));
}

TEST_F(TrackingOnVideo, AStoneOutOfThePlaneLeavesAnEmptyWindowInItsPlace) {
    SyntheticVideoSpec recording;
    recording.frames = 30;
    recording.stone = [](int i) {
        return StoneState{300.0, 250.0, (i >= 8 && i < 18) ? 0.0 : 1.0};
    };
    auto window = openWindow(writeVideo(directory.file("gone.avi"), recording));
    ASSERT_TRUE(window->isReady());
    markAround(*window, 300.0, 250.0);
    window->StartButtonClicked();
    cv::Rect lastSeen;
    for (int k = 1; k <= 25; ++k) {
        window->OpenCVMeanShift();
        if (k < 8 || k >= 18) {
            EXPECT_GT(window->trackComp.area, 0.0) << "frame " << k;
            EXPECT_LE(trackError(*window, stoneAt(recording, k)), 2.0) << "frame " << k;
            lastSeen = window->trackWindow;
        } else {
            EXPECT_EQ(window->trackComp.area, 0.0) << "frame " << k;
            EXPECT_EQ(window->trackWindow, lastSeen) << "frame " << k;
        }
    }
}

// The demo video as it plays with the window's start settings: the stone rests
// on the focal area inside the region of interest, dips 25 px on every breath
// and leaves the imaging plane twice. Marked in frame 0 and played through the
// first trip out of the plane (after which the stone comes back within reach
// of the window it left), the track stays on the stone while it is in the plane
// and goes empty while it is not.
TEST_F(TrackingOnVideo, TheDemoStoneIsTrackedInThePlaneAndLostOutOfIt) {
    SyntheticVideoSpec recording; // the demo's defaults
    recording.frames = 320;
    const std::string csv = directory.file("demo.csv");
    ASSERT_TRUE(writeSyntheticVideo(directory.file("demo.avi"), csv, recording));
    const std::vector<Truth> truth = readGroundTruth(csv);
    ASSERT_EQ(static_cast<int>(truth.size()), recording.frames);

    auto window = openWindow(QString::fromStdString(directory.file("demo.avi")));
    ASSERT_TRUE(window->isReady());
    markAround(*window, truth[0].x, truth[0].y);
    window->StartButtonClicked();

    std::vector<double> errors;
    int outOfPlane = 0;
    for (int k = 1; k <= recording.frames - 2; ++k) {
        window->OpenCVMeanShift();
        const StoneState stone = stoneAt(recording, k);
        if (stone.visibility == 1.0) {
            const double error =
                std::hypot(window->trackCenterX - truth[k].x, window->trackCenterY - truth[k].y);
            EXPECT_LE(error, 4.0) << "frame " << k;
            errors.push_back(error);
        } else if (stone.visibility == 0.0) {
            ++outOfPlane;
            EXPECT_EQ(window->trackComp.area, 0.0) << "frame " << k;
        }
    }
    ASSERT_GT(outOfPlane, 15);
    ASSERT_GT(errors.size(), 250u);
    std::sort(errors.begin(), errors.end());
    RecordProperty("maxErrorPx", std::to_string(errors.back()));
    RecordProperty("medianErrorPx", std::to_string(errors[errors.size() / 2]));
}
