// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/meanShift.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <opencv2/imgproc.hpp>

ConnectedComp meanShift(const cv::Mat& picture, cv::Rect window, int maxIterations,
                        double epsilon) {
    const cv::Rect bounds(0, 0, picture.cols, picture.rows);
    const cv::Rect start = window & bounds;
    const int minimumShift = cvRound(epsilon * epsilon);
    cv::Rect current = window;
    double m00 = 0.0;

    for (int i = 0; i < maxIterations; ++i) {
        current &= bounds;
        if (current == cv::Rect()) {
            current.x = picture.cols / 2;
            current.y = picture.rows / 2;
        }
        current.width = std::max(current.width, 1);
        current.height = std::max(current.height, 1);

        const cv::Moments moments = cv::moments(picture(current), false);
        m00 = moments.m00;
        if (std::fabs(m00) < DBL_EPSILON) {
            break;
        }
        // Move the window's centre onto the centre of mass, but keep it inside
        // the picture; stop once the move actually made is too small.
        int dx = cvRound(moments.m10 / m00 - start.width * 0.5);
        int dy = cvRound(moments.m01 / m00 - start.height * 0.5);
        const int nx = std::min(std::max(current.x + dx, 0), picture.cols - current.width);
        const int ny = std::min(std::max(current.y + dy, 0), picture.rows - current.height);
        dx = nx - current.x;
        dy = ny - current.y;
        current.x = nx;
        current.y = ny;
        if (dx * dx + dy * dy < minimumShift) {
            break;
        }
    }
    // The area is kept in single precision, and belongs to the last window whose
    // moments were taken: when the iteration limit ends the search that is the
    // window before the last move.
    return {static_cast<float>(m00), current};
}
