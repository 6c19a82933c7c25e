// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core.hpp>

// Analysis of the region of interest: its grey-level histogram, the picture of
// that histogram and the automatic threshold. The histogram has 255 bins over
// the grey levels 0..255 (levels 0 and 1 share bin 0, level g >= 2 is bin g - 1).

inline constexpr int histogramBins = 255;

// Counts the grey levels of `plane` (8-bit, one channel) into `bins` (255 floats,
// allocated on first use), returns the largest count and scales the bins in
// place so that the largest becomes 255.
float computeScaledHistogram(const cv::Mat& plane, cv::Mat& bins);

// Draws the scaled bins as black bars on a white 255 x 255 picture.
void drawHistogram(const cv::Mat& bins, cv::Mat& picture);

// The accumulators of the automatic threshold, all truncating integers.
struct ThresholdWalk {
    int histTotal = 0;    // sum of bins 1..254
    int histLowPart = 0;  // 96 % of the total, truncated
    int histHighPart = 0; // the rest: the brightest ~4 % of the counted pixels
    int histFromTop = 0;  // bins summed from the top down until histHighPart is reached
    int level = -1;       // the bin at which the walk stopped, or -1 if it never did
};

// Walks the scaled bins from the top down until the brightest ~4 % are covered.
ThresholdWalk walkThreshold(const cv::Mat& bins);

// 96 % of `total`, truncated, computed as the exact product with the double
// nearest to 0.96 (which lies just below it): the remainder is total / 25 + 1
// for every positive total, so a total of 500 splits into 479 and 21.
int lowPart(int total);
