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

// The binary threshold level (a pixel above it is on) that best tells the
// marked object from the rest of the processed region. `plane` is the
// processed region as it is thresholded (blurred, one channel, 8 bits) and
// `mark` the marked region in its coordinates. The level is where the shares
// of pixels above it, of the mark and of the rest of the region, differ most
// (their Kolmogorov-Smirnov distance): the middle of the levels within 5 % of
// that greatest difference. With no rest, or a mark no brighter than the
// rest, Otsu's level of the mark alone. None where the mark holds no pixel
// of the region.
std::optional<int> levelSeparatingMark(const cv::Mat& plane, const cv::Rect& mark);
