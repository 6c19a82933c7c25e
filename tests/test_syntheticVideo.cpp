// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/syntheticVideo.h"
#include "tracking/regionAnalysis.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>
#include <stdexcept>
#include <vector>

namespace {

// The tracker's region of interest and the lithotripter's focus in the demo.
const cv::Rect roi(200, 200, 200, 100);
const cv::Rect2d focus(200, 200, 20, 20);

struct TempDir {
    std::filesystem::path path;
    TempDir() {
        std::string name = std::filesystem::temp_directory_path() / "syntheticVideo-XXXXXX";
        if (mkdtemp(name.data()) == nullptr) {
            throw std::runtime_error("cannot make a temporary directory");
        }
        path = name;
    }
    ~TempDir() { std::filesystem::remove_all(path); }
};

cv::Mat grey(const cv::Mat& bgr) {
    cv::Mat out;
    cv::cvtColor(bgr, out, cv::COLOR_BGR2GRAY);
    return out;
}

// The stone-bright pixels: how many, and their centroid.
struct Blob {
    double pixels = 0;
    cv::Point2d centroid;
};

Blob brightBlob(const cv::Mat& bgr) {
    const cv::Moments m = cv::moments(grey(bgr) > 150, true);
    return m.m00 > 0 ? Blob{m.m00, {m.m10 / m.m00, m.m01 / m.m00}} : Blob{};
}

// What the tracker sees near the stone: the 7x7-blurred region's peak within a
// 24x20 window around the stone, minus the level that ~4 % of the raw region exceed.
int peakOverThreshold(const cv::Mat& bgr, const StoneState& stone) {
    const cv::Mat region = grey(bgr)(roi);
    std::vector<uchar> levels(region.begin<uchar>(), region.end<uchar>());
    std::nth_element(levels.begin(), levels.begin() + levels.size() * 96 / 100, levels.end());
    const int threshold = levels[levels.size() * 96 / 100];
    cv::Mat blurred;
    cv::blur(region, blurred, cv::Size(7, 7), cv::Point(-1, -1), cv::BORDER_REPLICATE);
    const cv::Rect window(cvRound(stone.centreX) - roi.x - 12, cvRound(stone.centreY) - roi.y - 10,
                          24, 20);
    double peak = 0;
    cv::minMaxLoc(blurred(window & cv::Rect(cv::Point(), roi.size())), nullptr, &peak);
    return cvRound(peak) - threshold;
}

void expectSeenOnlyInPlane(const cv::Mat& bgr, const StoneState& stone, int frame) {
    const Blob blob = brightBlob(bgr);
    if (stone.visibility >= 0.5) {
        EXPECT_GE(blob.pixels, 10) << frame;
        EXPECT_LT(cv::norm(blob.centroid - cv::Point2d(stone.centreX, stone.centreY)), 1.5)
            << frame;
    } else {
        // A stone half out of the plane may leave a stray bright pixel, not a blob.
        EXPECT_LE(blob.pixels, 3) << "bright out of plane in frame " << frame;
    }
    if (stone.visibility == 1.0) {
        EXPECT_GT(peakOverThreshold(bgr, stone), 50) << frame;
    } else if (stone.visibility == 0.0) {
        EXPECT_LT(peakOverThreshold(bgr, stone), 0) << frame;
    }
}

} // namespace

TEST(SyntheticVideo, WritesAnAviAndGroundTruthThatAgree) {
    TempDir dir;
    SyntheticVideoSpec spec;
    spec.frames = 60;
    spec.stone = [](int frame) { return demoBreathingPath(frame + 130); }; // the first exit
    ASSERT_TRUE(writeSyntheticVideo(dir.path / "video.avi", dir.path / "truth.csv", spec));

    cv::VideoCapture capture(dir.path / "video.avi", cv::CAP_FFMPEG);
    ASSERT_TRUE(capture.isOpened());
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_COUNT), 60);
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_WIDTH), 640);
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_HEIGHT), 480);
    EXPECT_NEAR(capture.get(cv::CAP_PROP_FPS), 25.0, 1e-6);

    std::ifstream truth(dir.path / "truth.csv");
    std::string line;
    std::getline(truth, line);
    EXPECT_EQ(line, "frame,centre_x,centre_y,in_plane");
    int frames = 0, outOfPlane = 0;
    for (cv::Mat frame; capture.read(frame); ++frames) {
        ASSERT_TRUE(std::getline(truth, line)) << "no ground truth for frame " << frames;
        StoneState stone;
        int index = -1, inPlane = -1;
        ASSERT_EQ(std::sscanf(line.c_str(), "%d,%lf,%lf,%d", &index, &stone.centreX, &stone.centreY,
                              &inPlane),
                  4);
        const StoneState expected = stoneAt(spec, frames);
        EXPECT_EQ(index, frames);
        EXPECT_NEAR(stone.centreX, expected.centreX, 1e-3);
        EXPECT_NEAR(stone.centreY, expected.centreY, 1e-3);
        EXPECT_EQ(inPlane, expected.visibility >= 0.5 ? 1 : 0);
        outOfPlane += 1 - inPlane;
        expectSeenOnlyInPlane(frame, expected, frames);
    }
    EXPECT_EQ(frames, 60);
    EXPECT_FALSE(std::getline(truth, line));
    EXPECT_GT(outOfPlane, 20);
}

TEST(SyntheticVideo, DemoPathStaysInTheRegionAndReachesTheFocusEveryBreath) {
    const SyntheticVideoSpec spec;
    const double breath = 3.5 * spec.fps;
    const cv::Rect2d inner(roi.x + 3, roi.y + 3, roi.width - 6, roi.height - 6);
    // Each breath starts at the top, where the stone rests.
    for (double start = 0; start + breath <= spec.frames; start += breath) {
        StoneState top{0, 1e9, 0}, bottom{0, 0, 0};
        for (int frame = cvCeil(start); frame < start + breath; ++frame) {
            const StoneState s = stoneAt(spec, frame);
            const cv::Rect2d box(s.centreX - spec.stoneWidth / 2.0,
                                 s.centreY - spec.stoneHeight / 2.0, spec.stoneWidth,
                                 spec.stoneHeight);
            EXPECT_EQ(box & inner, box) << "stone outside the region in frame " << frame;
            top = s.centreY < top.centreY ? s : top;
            bottom = s.centreY > bottom.centreY ? s : bottom;
        }
        EXPECT_TRUE(focus.contains({top.centreX, top.centreY})) << "breath from " << start;
        EXPECT_NEAR(bottom.centreY - top.centreY, 25.0, 2.0);
        EXPECT_NEAR(std::abs(bottom.centreX - top.centreX), 3.0, 1.0);
    }
}

TEST(SyntheticVideo, DemoLeavesThePlaneTwiceForAboutASecond) {
    const SyntheticVideoSpec spec;
    std::vector<std::pair<int, int>> exits; // first frame out, frames out
    for (int frame = 0; frame < spec.frames; ++frame) {
        if (stoneAt(spec, frame).visibility >= 0.5) {
            continue;
        }
        if (exits.empty() || exits.back().first + exits.back().second != frame) {
            exits.push_back({frame, 0});
        }
        ++exits.back().second;
    }
    ASSERT_EQ(exits.size(), 2u);
    for (const auto& [first, length] : exits) {
        EXPECT_NEAR(length, spec.fps, 0.25 * spec.fps) << "exit at frame " << first;
        EXPECT_DOUBLE_EQ(stoneAt(spec, first - 3).visibility, 1.0) << "fade too slow";
        EXPECT_DOUBLE_EQ(stoneAt(spec, first + 2).visibility, 0.0) << "fade too slow";
    }
}

TEST(SyntheticVideo, StoneCrossesTheTrackersThresholdOnlyInPlane) {
    const SyntheticVideoSpec spec;
    for (int frame : {0, 20, 44, 60, 160, 170, 178, 290, 410, 420}) {
        expectSeenOnlyInPlane(renderFrame(spec, frame), stoneAt(spec, frame), frame);
    }
}

// Whatever the picture's size, the stone rests in speckled tissue: the
// window's automatic threshold, taken over its region of interest as the frame
// cycle takes it, lies well below the blurred stone. (A stone drawn on the
// black outside the probe's sector drives the threshold to the top bin.)
TEST(SyntheticVideo, AtEverySizeTheAutomaticThresholdSeparatesTheRestingStone) {
    for (const cv::Size size : {cv::Size(640, 480), cv::Size(1280, 720), cv::Size(1920, 1080)}) {
        SCOPED_TRACE(testing::Message() << size.width << "x" << size.height);
        SyntheticVideoSpec spec;
        spec.width = size.width;
        spec.height = size.height;
        const StoneState stone = stoneAt(spec, 0);
        cv::Mat plane;
        cv::extractChannel(renderFrame(spec, 0)(roi), plane, 0);
        cv::Mat bins;
        computeScaledHistogram(plane, bins);
        const int threshold = walkThreshold(bins).level;
        cv::Mat blurred;
        cv::blur(plane, blurred, cv::Size(7, 7), cv::Point(-1, -1), cv::BORDER_REPLICATE);
        double stonePeak = 0;
        cv::minMaxLoc(blurred(cv::Rect(cvRound(stone.centreX) - roi.x - 5,
                                       cvRound(stone.centreY) - roi.y - 4, 10, 8)),
                      nullptr, &stonePeak);
        EXPECT_GT(stonePeak, threshold + 30);
    }
}

TEST(SyntheticVideo, FramesAreDeterministicAndTheSpeckleLives) {
    SyntheticVideoSpec spec;
    const cv::Rect tissue(300, 320, 200, 100); // below the kidney, far from the stone
    const cv::Mat frame = renderFrame(spec, 7);
    EXPECT_EQ(cv::norm(frame, renderFrame(spec, 7), cv::NORM_INF), 0.0);
    const double nextFrame = cv::norm(frame(tissue), renderFrame(spec, 8)(tissue), cv::NORM_L1);
    spec.seed = 2;
    const double otherSeed = cv::norm(frame(tissue), renderFrame(spec, 7)(tissue), cv::NORM_L1);
    EXPECT_GT(nextFrame, 0.1 * otherSeed);
    EXPECT_LT(nextFrame, 0.5 * otherSeed);
}

TEST(SyntheticVideo, OtherSizesAndPathsWork) {
    TempDir dir;
    SyntheticVideoSpec spec;
    spec.width = 320;
    spec.height = 240;
    spec.frames = 30;
    spec.stoneWidth = 12;
    spec.stoneHeight = 10;
    spec.stone = [](int frame) { return StoneState{90.0 + 5.0 * frame, 70.0 + 3.5 * frame, 1.0}; };
    ASSERT_TRUE(writeSyntheticVideo(dir.path / "small.avi", "", spec));

    cv::VideoCapture capture(dir.path / "small.avi", cv::CAP_FFMPEG);
    int frames = 0;
    for (cv::Mat frame; capture.read(frame); ++frames) {
        ASSERT_EQ(frame.size(), cv::Size(320, 240));
        const StoneState s = stoneAt(spec, frames);
        EXPECT_LT(cv::norm(brightBlob(frame).centroid - cv::Point2d(s.centreX, s.centreY)), 1.5);
    }
    EXPECT_EQ(frames, 30);
}

TEST(SyntheticVideo, ReportsUnwritableFiles) {
    TempDir dir;
    SyntheticVideoSpec spec;
    spec.frames = 2;
    EXPECT_FALSE(writeSyntheticVideo(dir.path / "missing/video.avi", "", spec));
    EXPECT_FALSE(writeSyntheticVideo(dir.path / "video.avi", dir.path / "missing/truth.csv", spec));
}
