// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core.hpp>

// Whether (x, y) lies on the focal area whose top-left corner is `corner`,
// edges included, as the window draws it (from the corner to corner + size),
// and at least `margin` pixels inside each of its edges. A margin of 0 is the
// window's own test.
inline bool onFocalArea(cv::Point corner, cv::Size size, double x, double y, double margin = 0.0) {
    return corner.x + margin <= x && x <= corner.x + size.width - margin &&
           corner.y + margin <= y && y <= corner.y + size.height - margin;
}

// Whether the focal area spanning `from` to `to` (edges included) overlaps a
// stone of `stone` size centred on (x, y). A stone of size 0 x 0 is a point:
// on the area where it lies on it, as above.
inline bool focalAreaOverlaps(cv::Point2d from, cv::Point2d to, double x, double y,
                              cv::Size2d stone) {
    const double halfWidth = stone.width / 2.0;
    const double halfHeight = stone.height / 2.0;
    return from.x <= x + halfWidth && x - halfWidth <= to.x && from.y <= y + halfHeight &&
           y - halfHeight <= to.y;
}
