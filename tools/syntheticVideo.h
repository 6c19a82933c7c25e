// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <opencv2/core.hpp>
#include <string>

// Synthetic ultrasound-like videos of a kidney stone that moves with breathing:
// the demo video and the videos the tests make. Everything is deterministic for
// a given description, so a test can regenerate the same pictures at will.

// The stone in one frame. Coordinates are pixels with pixel (i, j) centred on
// x = i, y = j, so the centroid of the stone's pixel indices is its centre.
struct StoneState {
    double centreX = 0.0;
    double centreY = 0.0;
    double visibility = 1.0; // 1: fully in the imaging plane, 0: out of it
};

using StonePath = std::function<StoneState(int frameIndex)>;

struct SyntheticVideoSpec {
    int width = 640;
    int height = 480;
    int frames = 600;
    double fps = 25.0;
    unsigned seed = 1;
    int stoneWidth = 10;
    int stoneHeight = 8;
    StonePath stone; // empty: demoBreathingPath at this fps
};

// The demo's stone: a breath every 3.5 s that dwells at end-expiration with the
// stone at (217, 214), inside the lithotripter's focus, and dips 25 px towards
// the feet (and 3 px sideways) on inspiration. At 6 s and 16 s it leaves the
// imaging plane for about a second, fading out and back in over 4 frames.
StoneState demoBreathingPath(int frameIndex, double fps = 25.0);

// A stone that moves as a pure sinusoid, always in the imaging plane: at
// frame f it is at centre + amplitude x sin(2 pi f / (fps x periodSeconds) +
// phase). The phantom on which the firing strategies' shot efficiencies have
// closed forms.
struct SinusoidalMotion {
    cv::Point2d centre;
    cv::Point2d amplitude; // pixels along x and along y
    double periodSeconds = 3.4;
    double phase = 0.0; // radians at frame 0
};

StonePath sinusoidalPath(const SinusoidalMotion& motion, double fps);

// The stone of `spec` in frame `frameIndex` (its path, or the demo path).
StoneState stoneAt(const SyntheticVideoSpec& spec, int frameIndex);

// Renders one frame (BGR, CV_8UC3, grey content).
cv::Mat renderFrame(const SyntheticVideoSpec& spec, int frameIndex);

// Writes the video as an MJPG AVI and, if `csvPath` is not empty, the stone's
// true position per frame as CSV ("frame,centre_x,centre_y,in_plane", in_plane
// being 1 when the visibility is at least 0.5). Returns false if either file
// cannot be written.
bool writeSyntheticVideo(const std::string& aviPath, const std::string& csvPath,
                         const SyntheticVideoSpec& spec);
