// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <opencv2/core.hpp>
#include <optional>

// The region of interest that every frame has blurred and thresholded, and
// the settings of it that a replay can take from the marked region.

// The region processed for a region of interest at `topLeft` of `size` on a
// picture of `frame`'s size: moved and if need be cut so that it lies inside.
cv::Rect processedRegion(cv::Point topLeft, cv::Size size, cv::Size frame);

// The top-left corner that centres a region of interest of `size` on
// `mark`, moved as little as needed to keep it inside the picture.
cv::Point regionCentredOn(const cv::Rect& mark, cv::Size size, cv::Size frame);

// The binary threshold level (a pixel above it is on) that tells the marked
// object from what surrounds it. `plane` is the processed region as it is
// thresholded (blurred, one channel, 8 bits) and `mark` the marked region in
// its coordinates, which a user draws around the object with some of its
// surroundings. The level is Otsu's for the mark's pixels: the one that
// splits them into two classes as far apart as their spread allows; where a
// stretch of levels does that about equally well (within 1 %), as across a
// gap between the object's values and the rest's, the middle of it. None
// where the mark holds no pixel of the region.
std::optional<int> levelSeparatingMark(const cv::Mat& plane, const cv::Rect& mark);
