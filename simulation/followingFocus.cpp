// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/followingFocus.h"

#include <algorithm>
#include <cmath>

FollowingHead::FollowingHead(cv::Point2d start, double startSeconds,
                             std::optional<HeadSpeedLimit> limit)
    : at(start), lastSeconds(startSeconds), limit(limit) {}

cv::Point2d FollowingHead::shoot(double seconds, cv::Point2d aim) {
    const cv::Point2d step = aim - at;
    double share = 1.0;
    if (limit) {
        const double distance =
            std::hypot(step.x * limit->unitPerPixel.x, step.y * limit->unitPerPixel.y);
        const double reach = limit->perSecond * std::max(0.0, seconds - lastSeconds);
        if (distance > reach) {
            share = reach / distance;
        }
    }
    at += step * share;
    lastSeconds = seconds;
    return at;
}
