// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/processedRegion.h"

#include <algorithm>
#include <array>
#include <cstddef>

cv::Rect processedRegion(cv::Point topLeft, cv::Size size, cv::Size frame) {
    const int width = std::min(size.width, frame.width);
    const int height = std::min(size.height, frame.height);
    return {std::clamp(topLeft.x, 0, frame.width - width),
            std::clamp(topLeft.y, 0, frame.height - height), width, height};
}

cv::Point regionCentredOn(const cv::Rect& mark, cv::Size size, cv::Size frame) {
    const cv::Point centre(mark.x + mark.width / 2, mark.y + mark.height / 2);
    return processedRegion(centre - cv::Point(size.width / 2, size.height / 2), size, frame).tl();
}

namespace {

// Otsu's criterion, the variance between the pixels at or below `level` and
// those above it, for every level of the histogram `counts`.
std::array<double, 256> varianceBetween(const std::array<double, 256>& counts) {
    double total = 0.0;
    double sum = 0.0;
    for (std::size_t v = 0; v < counts.size(); ++v) {
        total += counts[v];
        sum += static_cast<double>(v) * counts[v];
    }
    std::array<double, 256> between{};
    double below = 0.0;
    double belowSum = 0.0;
    for (std::size_t level = 0; level < counts.size(); ++level) {
        below += counts[level];
        belowSum += static_cast<double>(level) * counts[level];
        const double above = total - below;
        if (below > 0.0 && above > 0.0) {
            const double difference = belowSum / below - (sum - belowSum) / above;
            between[level] = below * above * difference * difference / (total * total);
        }
    }
    return between;
}

} // namespace

std::optional<int> levelSeparatingMark(const cv::Mat& plane, const cv::Rect& mark) {
    CV_Assert(plane.type() == CV_8UC1);
    const cv::Rect inside = mark & cv::Rect(0, 0, plane.cols, plane.rows);
    if (inside.empty()) {
        return std::nullopt;
    }
    std::array<double, 256> counts{};
    const cv::Mat marked = plane(inside);
    for (int row = 0; row < marked.rows; ++row) {
        const uchar* pixel = marked.ptr<uchar>(row);
        for (int column = 0; column < marked.cols; ++column) {
            counts[pixel[column]] += 1.0;
        }
    }
    const std::array<double, 256> between = varianceBetween(counts);
    const auto best = static_cast<std::size_t>(std::max_element(between.begin(), between.end()) -
                                               between.begin());
    // Where no value lies between the object's and its surroundings', every
    // level of the gap splits them alike: its middle leaves room both ways.
    const auto near = [&](std::size_t level) { return between[level] >= 0.99 * between[best]; };
    std::size_t low = best;
    std::size_t high = best;
    while (low > 0 && near(low - 1)) {
        --low;
    }
    while (high + 1 < between.size() && near(high + 1)) {
        ++high;
    }
    return static_cast<int>((low + high + 1) / 2);
}
