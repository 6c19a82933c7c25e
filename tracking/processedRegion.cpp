// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/processedRegion.h"

#include <algorithm>
#include <array>
#include <opencv2/imgproc.hpp>

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

using Counts = std::array<double, 256>;

// counts[v]: the pixels of value v.
void countInto(const cv::Mat& plane, Counts& counts) {
    for (int row = 0; row < plane.rows; ++row) {
        const uchar* pixel = plane.ptr<uchar>(row);
        for (int column = 0; column < plane.cols; ++column) {
            counts[pixel[column]] += 1.0;
        }
    }
}

// above[t]: the share of the pixels above t.
Counts sharesAbove(const Counts& counts, double total) {
    Counts above{};
    double count = 0.0;
    for (int level = 255; level >= 0; --level) {
        above[static_cast<std::size_t>(level)] = count / total;
        count += counts[static_cast<std::size_t>(level)];
    }
    return above;
}

int otsuLevel(const cv::Mat& plane) {
    cv::Mat ignored;
    return static_cast<int>(
        cv::threshold(plane, ignored, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU));
}

} // namespace

std::optional<int> levelSeparatingMark(const cv::Mat& plane, const cv::Rect& mark) {
    CV_Assert(plane.type() == CV_8UC1);
    const cv::Rect inside = mark & cv::Rect(0, 0, plane.cols, plane.rows);
    if (inside.empty()) {
        return std::nullopt;
    }
    Counts all{};
    Counts marked{};
    countInto(plane, all);
    countInto(plane(inside), marked);
    const double markTotal = inside.area();
    const double restTotal = plane.total() - markTotal;
    if (restTotal <= 0.0) {
        return otsuLevel(plane(inside));
    }
    Counts rest{};
    for (std::size_t v = 0; v < rest.size(); ++v) {
        rest[v] = all[v] - marked[v];
    }
    const Counts markAbove = sharesAbove(marked, markTotal);
    const Counts restAbove = sharesAbove(rest, restTotal);
    std::size_t best = 0;
    for (std::size_t t = 1; t < markAbove.size(); ++t) {
        if (markAbove[t] - restAbove[t] > markAbove[best] - restAbove[best]) {
            best = t;
        }
    }
    const double greatest = markAbove[best] - restAbove[best];
    if (greatest <= 0.0) {
        return otsuLevel(plane(inside));
    }
    // A stretch of levels between the object's and the rest's values
    // separates them alike; its middle leaves room on both sides.
    const auto near = [&](std::size_t t) { return markAbove[t] - restAbove[t] >= 0.95 * greatest; };
    std::size_t low = best;
    std::size_t high = best;
    while (low > 0 && near(low - 1)) {
        --low;
    }
    while (high + 1 < markAbove.size() && near(high + 1)) {
        ++high;
    }
    return static_cast<int>((low + high + 1) / 2);
}
