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
