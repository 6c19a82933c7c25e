// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core.hpp>
#include <optional>

// A lithotripter whose focus follows the stone: the therapy head (or the
// steered beam) moves the focal area so that it is centred on the aim of each
// shot. It fires at the rate, as a fixed focus does, but only while the
// tracker holds the stone. A real head moves at a limited speed: between two
// shots it gets at most speed x the time between them towards the new aim.

struct HeadSpeedLimit {
    double perSecond = 0.0; // in the units of `unitPerPixel`
    // What one pixel across and one down measure in those units: (1, 1) for a
    // limit in pixels per second, the calibration for one in millimetres.
    cv::Point2d unitPerPixel{1.0, 1.0};
};

class FollowingHead {
  public:
    // The head is at `start` (the fixed focal area's centre) at `startSeconds`
    // (the start of tracking); no limit: it is wherever it is aimed.
    FollowingHead(cv::Point2d start, double startSeconds, std::optional<HeadSpeedLimit> limit);

    // Where the focal area is centred for a shot at `seconds` aimed at `aim`:
    // the aim, or as far towards it as the head gets since the last shot.
    cv::Point2d shoot(double seconds, cv::Point2d aim);

  private:
    cv::Point2d at;
    double lastSeconds;
    std::optional<HeadSpeedLimit> limit;
};
