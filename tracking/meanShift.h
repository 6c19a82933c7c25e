// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core.hpp>

// How the frame cycle runs mean shift on every tick.
inline constexpr int meanShiftIterations = 10;
inline constexpr double meanShiftEpsilon = 1.0;

// The result of one mean-shift search: the moved window and the zeroth moment
// (the sum of the picture's values) of the last window whose moments were taken.
struct ConnectedComp {
    double area = 0.0;
    cv::Rect rect;
};

// Mean shift on a one-channel 8-bit picture, starting from `window` (positive
// width and height). Each iteration takes the moments of the current window
// (kept inside the picture); it stops when the window is empty, when the shift
// actually made is shorter than `epsilon`, or after `maxIterations`. Unlike
// cv::meanShift it also reports the area, which decides whether the tracked
// object is still in the imaging plane.
ConnectedComp meanShift(const cv::Mat& picture, cv::Rect window, int maxIterations, double epsilon);
