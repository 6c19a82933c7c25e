// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/regionAnalysis.h"

#include <opencv2/imgproc.hpp>

float computeScaledHistogram(const cv::Mat& plane, cv::Mat& bins) {
    const int channels[] = {0};
    const int size[] = {histogramBins};
    const float levels[] = {0.0f, 256.0f};
    const float* ranges[] = {levels};
    cv::calcHist(&plane, 1, channels, cv::noArray(), bins, 1, size, ranges, true, false);

    double largest = 0.0;
    cv::minMaxLoc(bins, nullptr, &largest);
    const float histMax = static_cast<float>(largest);
    // The scale is a single-precision quotient and each product is rounded back
    // to single precision, so the largest bin lands on 255 or a hair off it.
    const float scale = static_cast<float>(histogramBins) / histMax;
    for (float& bin : cv::Mat_<float>(bins)) {
        bin = static_cast<float>(static_cast<double>(bin) * scale);
    }
    return histMax;
}

// Each bar runs from one row below the picture up to the bin's height and is
// three pixels wide, so neighbouring bars overlap.
void drawHistogram(const cv::Mat& bins, cv::Mat& picture) {
    picture.setTo(cv::Scalar::all(255));
    const float* bin = bins.ptr<float>();
    for (int i = 0; i < histogramBins; ++i) {
        const int top = static_cast<int>(static_cast<float>(histogramBins) - bin[i]);
        cv::rectangle(picture, cv::Point(i, histogramBins), cv::Point(i + 2, top),
                      cv::Scalar::all(0), 1, cv::LINE_8);
    }
}

int lowPart(int total) {
    return total > 0 ? total - (total / 25 + 1) : 0;
}

ThresholdWalk walkThreshold(const cv::Mat& bins) {
    const float* bin = bins.ptr<float>();
    ThresholdWalk walk;
    // Bin 0 (grey levels 0 and 1) is never counted. The accumulators are
    // integers: each step adds a scaled bin and truncates, so a bin below 1
    // adds nothing.
    for (int i = 1; i < histogramBins; ++i) {
        walk.histTotal = static_cast<int>(static_cast<float>(walk.histTotal) + bin[i]);
    }
    walk.histLowPart = lowPart(walk.histTotal);
    walk.histHighPart = walk.histTotal - walk.histLowPart;
    for (int i = histogramBins - 1; i >= 1; --i) {
        walk.histFromTop = static_cast<int>(bin[i] + static_cast<float>(walk.histFromTop));
        if (walk.histFromTop >= walk.histHighPart) {
            walk.level = i;
            break;
        }
    }
    return walk;
}
