// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <opencv2/core.hpp>
#include <optional>
#include <vector>

// The stone's motion, as researchers characterise a patient's breathing
// before they judge any tracking: how often it moves (breaths per minute), how
// far along the main axis of its motion, how fast at most, and how much of its
// time in the imaging plane it spends on the focal area.

// The stone in one tick, in the plane.
struct MotionSample {
    double seconds = 0.0; // the run's clock
    cv::Point2d centre;
    // Ticks with the same stretch number follow each other without a tick
    // out of the plane between them.
    int stretch = 0;
    double weightSeconds = 0.0; // how long the tick's frame is shown
};

struct MotionFigures {
    std::int64_t samples = 0;
    // The dominant frequency of the position along the main axis, per minute.
    std::optional<double> breathsPerMin;
    // The extent of the smoothed position along the main axis.
    std::optional<double> peakToPeakPx;
    // The largest speed of the smoothed position, over ticks whose smoothing
    // window lies wholly in the plane.
    std::optional<double> peakSpeedPxPerS;
    // The shown time on the focal area (edges included) over the shown time
    // in the plane.
    std::optional<double> onFocalAreaShare;
};

// Half the width of the smoothing window (s): each position is replaced by a
// local quadratic least-squares fit over the samples of its stretch within
// this time either side, whose slope is the velocity.
inline constexpr double motionSmoothingHalfWidthSeconds = 0.1;
// The breathing rates searched, per minute.
inline constexpr double slowestBreathsPerMin = 2.0;
inline constexpr double fastestBreathsPerMin = 120.0;

// `samples` in time order.
MotionFigures measureMotion(const std::vector<MotionSample>& samples, cv::Point focalCorner,
                            cv::Size focalSize);

// The dominant frequency (Hz) of `values` taken at `seconds` (ascending, with
// gaps where `stretch` changes), between `lowestHz` and `highestHz`: the
// largest peak of the periodogram of the values, resampled on an even grid at
// the median step, zero between stretches, weighted by a Hann window and
// padded to sixteen times the length, refined by a parabola through the
// logarithms of the peak and its neighbours. None if the largest power lies
// at an end of the range or fewer than eight samples are given.
std::optional<double> dominantFrequencyHz(const std::vector<double>& seconds,
                                          const std::vector<double>& values,
                                          const std::vector<int>& stretch, double lowestHz,
                                          double highestHz);
