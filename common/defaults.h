// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's fixed numbers, each written once: the start values of its state
// and controls, and the bounds of its controls. The window's constructor and
// control set-up, the replay's options and their help, and the man pages take
// them from here; CMake reads the pages' values from this file line by line,
// so each stays on one line of the form `inline constexpr TYPE NAME = VALUE;`.

namespace defaults {

// The region of interest that is blurred and thresholded every frame.
inline constexpr int roiWidth = 200;
inline constexpr int roiHeight = 100;
inline constexpr int roiX = 200;
inline constexpr int roiY = 200;
inline constexpr int threshold = 100;
inline constexpr int filterSize = 7;
// 1: the threshold follows the histogram.
inline constexpr int dynThresh = 1;
// The focal area.
inline constexpr int brennpunktX = 200;
inline constexpr int brennpunktY = 200;
inline constexpr int brennpunktWidth = 20;
inline constexpr int brennpunktHeight = 20;
inline constexpr int skuddPerMin = 100;
// The frame clock's period; it does not follow the video's frame rate.
inline constexpr int tickMs = 25;
// The event log, in the working directory.
inline constexpr char logFileName[] = "loggfile.txt";
// How many earlier logs are kept beside the log: NAME.1 (the run before) to
// NAME.9 (the oldest).
inline constexpr int keptLogs = 9;

} // namespace defaults

namespace bounds {

inline constexpr int skuddPerMinLowest = 40;
inline constexpr int skuddPerMinHighest = 160;
// Width and height of the focal area, each.
inline constexpr int brennpunktSizeLowest = 2;
inline constexpr int brennpunktSizeHighest = 100;
inline constexpr int filterSizeLowest = 2;
inline constexpr int filterSizeHighest = 20;
inline constexpr int thresholdLowest = 0;
inline constexpr int thresholdHighest = 255;

} // namespace bounds

// The replay's simulated lithotripter delay and the predictions that make up
// for it (the window itself fires on the image, and aims at the tracked centre).
namespace prediction {

inline constexpr int latencyMsHighest = 2000;
// In-plane ticks over which the linear prediction fits the stone's velocity.
inline constexpr int predictWindow = 5;
inline constexpr int predictWindowLowest = 2;
inline constexpr int predictWindowHighest = 100;
// The constant-velocity Kalman filter: the spectral density of the white
// acceleration that drives it (px^2/s^3), the spread of a measured centre
// (px), and the spread of the stone's speed when it enters the plane (px/s).
inline constexpr int kalmanAccelerationNoise = 20000;
inline constexpr int kalmanMeasurementNoise = 1;
inline constexpr int kalmanInitialSpeedSpread = 50;

} // namespace prediction
