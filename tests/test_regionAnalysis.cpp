// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/regionAnalysis.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <utility>
#include <vector>

namespace {

__extension__ typedef unsigned __int128 u128;

// 0.96 as a double is exactly 8646911284551352 / 2^53, a little below 0.96.
int exactLowPart(int total) {
    const u128 numerator = static_cast<u128>(8646911284551352ull) * static_cast<u128>(total);
    return static_cast<int>(numerator >> 53);
}

cv::Mat bins(std::initializer_list<std::pair<int, float>> values) {
    cv::Mat scaled(histogramBins, 1, CV_32F, cv::Scalar(0));
    for (const auto& [bin, value] : values) {
        scaled.at<float>(bin) = value;
    }
    return scaled;
}

// A one-row plane holding `count` pixels of each level, in order.
cv::Mat planeOf(const std::vector<std::pair<int, int>>& levels) {
    int total = 0;
    for (const auto& level : levels) {
        total += level.second;
    }
    cv::Mat plane(1, total, CV_8UC1);
    int at = 0;
    for (const auto& [level, count] : levels) {
        plane.colRange(at, at + count).setTo(level);
        at += count;
    }
    return plane;
}

int fullestBin(const cv::Mat& scaled) {
    cv::Point at;
    cv::minMaxLoc(scaled, nullptr, nullptr, nullptr, &at);
    return at.y;
}

} // namespace

TEST(Histogram, LevelsZeroAndOneShareTheFirstBinAndEveryOtherLevelHasBinLevelMinusOne) {
    cv::Mat scaled;
    for (int level = 0; level < 256; ++level) {
        SCOPED_TRACE(level);
        computeScaledHistogram(planeOf({{level, 3}}), scaled);
        EXPECT_EQ(fullestBin(scaled), level < 2 ? 0 : level - 1);
        EXPECT_EQ(cv::countNonZero(scaled), 1);
    }
    ASSERT_EQ(scaled.total(), 255u);
    EXPECT_EQ(scaled.type(), CV_32F);
}

TEST(Histogram, CountsAreReturnedAndScaledSoThatTheLargestBinIs255) {
    cv::Mat scaled;
    EXPECT_EQ(computeScaledHistogram(planeOf({{0, 1}, {1, 2}, {10, 3}, {200, 1}}), scaled), 3.0f);
    EXPECT_EQ(scaled.at<float>(0), 255.0f);
    EXPECT_EQ(scaled.at<float>(9), 255.0f);
    EXPECT_EQ(scaled.at<float>(199), 85.0f);
    EXPECT_EQ(cv::countNonZero(scaled), 3);

    // Every call counts afresh.
    EXPECT_EQ(computeScaledHistogram(cv::Mat(100, 200, CV_8UC1, cv::Scalar(128)), scaled),
              20000.0f);
    EXPECT_NEAR(scaled.at<float>(127), 255.0f, 1e-3);
    EXPECT_EQ(cv::countNonZero(scaled), 1);
}

TEST(ThresholdWalk, NinetySixPerCentIsTakenWithTheDoubleJustBelowIt) {
    for (int total = 0; total <= 70000; ++total) {
        ASSERT_EQ(lowPart(total), exactLowPart(total)) << total;
    }
    EXPECT_EQ(lowPart(500), 479);
    EXPECT_EQ(lowPart(25), 23);
    EXPECT_EQ(lowPart(24), 23);
    EXPECT_EQ(lowPart(1), 0);
    EXPECT_EQ(lowPart(0), 0);
}

TEST(ThresholdWalk, TheRemainderIsATwentyFifthPlusOne) {
    for (int total = 1; total <= 70000; ++total) {
        ASSERT_EQ(total - exactLowPart(total), total / 25 + 1) << total;
    }
}

TEST(ThresholdWalk, AnAllDarkRegionStopsAtTheTopBin) {
    const ThresholdWalk walk = walkThreshold(bins({{0, 255.0f}}));
    EXPECT_EQ(walk.histTotal, 0);
    EXPECT_EQ(walk.histLowPart, 0);
    EXPECT_EQ(walk.histHighPart, 0);
    EXPECT_EQ(walk.histFromTop, 0);
    EXPECT_EQ(walk.level, 254);
}

TEST(ThresholdWalk, ATotalOf500LeavesTheBrightest21) {
    // From the top: 10, 20, then 21 at bin 150; 20 would already be met at bin 200.
    const ThresholdWalk walk = walkThreshold(bins(
        {{0, 255.0f}, {80, 224.9f}, {100, 255.0f}, {150, 1.02f}, {200, 10.01f}, {250, 10.01f}}));
    EXPECT_EQ(walk.histTotal, 500);
    EXPECT_EQ(walk.histLowPart, 479);
    EXPECT_EQ(walk.histHighPart, 21);
    EXPECT_EQ(walk.histFromTop, 21);
    EXPECT_EQ(walk.level, 150);
}

TEST(ThresholdWalk, TheAccumulatorsTruncateAtEveryStep) {
    cv::Mat belowOne(histogramBins, 1, CV_32F, cv::Scalar(0.9));
    belowOne.at<float>(0) = 255.0f;
    ThresholdWalk walk = walkThreshold(belowOne);
    EXPECT_EQ(walk.histTotal, 0) << "254 bins of 0.9 add nothing";
    EXPECT_EQ(walk.level, 254);

    cv::Mat halves(histogramBins, 1, CV_32F, cv::Scalar(1.5));
    walk = walkThreshold(halves);
    EXPECT_EQ(walk.histTotal, 254);
    EXPECT_EQ(walk.histHighPart, 11);
    // One per bin from the top: 11 is reached at bin 244.
    EXPECT_EQ(walk.histFromTop, 11);
    EXPECT_EQ(walk.level, 244);

    // Bin 0 never counts, however full.
    walk = walkThreshold(bins({{0, 255.0f}, {1, 50.0f}}));
    EXPECT_EQ(walk.histTotal, 50);
    EXPECT_EQ(walk.histHighPart, 3);
    EXPECT_EQ(walk.level, 1);
}

TEST(ThresholdWalk, FromARealRegion) {
    // 20000 pixels whose scaled bins 1..254 sum to exactly 500.
    cv::Mat scaled;
    const float largest = computeScaledHistogram(
        planeOf({{0, 6746}, {251, 265}, {201, 265}, {151, 27}, {101, 6746}, {81, 5951}}), scaled);
    EXPECT_EQ(largest, 6746.0f);
    const ThresholdWalk walk = walkThreshold(scaled);
    EXPECT_EQ(walk.histTotal, 500);
    EXPECT_EQ(walk.histLowPart, 479);
    EXPECT_EQ(walk.histHighPart, 21);
    EXPECT_EQ(walk.level, 150);
}

TEST(HistogramPicture, EachBinIsAThreePixelWideOutlineFromBelowThePictureUp) {
    cv::Mat picture(histogramBins, histogramBins, CV_8UC1, cv::Scalar(7));
    drawHistogram(bins({{100, 255.0f}, {50, 127.5f}, {200, 0.5f}}), picture);

    cv::Mat expected(histogramBins, histogramBins, CV_8UC1, cv::Scalar(255));
    // Full height: both sides down from row 0, the top edge across.
    expected(cv::Rect(100, 0, 1, 255)).setTo(0);
    expected(cv::Rect(102, 0, 1, 255)).setTo(0);
    expected.at<uchar>(0, 101) = 0;
    // Half height: the top at trunc(255 - 127.5) = 127.
    expected(cv::Rect(50, 127, 1, 128)).setTo(0);
    expected(cv::Rect(52, 127, 1, 128)).setTo(0);
    expected.at<uchar>(127, 51) = 0;
    // Under one: the top at row 254, so a flat line on the bottom row.
    expected(cv::Rect(200, 254, 3, 1)).setTo(0);
    EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0.0);

    // Neighbouring bars overlap and fill each other in; an empty bin draws nothing.
    drawHistogram(bins({{10, 255.0f}, {11, 255.0f}}), picture);
    expected.setTo(255);
    expected(cv::Rect(10, 0, 4, 255)).setTo(0);
    EXPECT_EQ(cv::norm(picture, expected, cv::NORM_INF), 0.0);
}
