// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/pictureGeometry.h"

#include <algorithm>
#include <cmath>

double pictureScale(QSize frame, QSize room) {
    if (frame.isEmpty() || room.isEmpty()) {
        return 1.0;
    }
    return std::min({1.0, static_cast<double>(room.width()) / frame.width(),
                     static_cast<double>(room.height()) / frame.height()});
}

QSize scaledPicture(QSize frame, double scale) {
    // Forgives the rounding error of a factor chosen to make a side whole.
    const auto side = [scale](int extent) {
        return static_cast<int>(std::ceil(scale * extent - 1e-6));
    };
    return {side(frame.width()), side(frame.height())};
}

QPointF imagePointAt(QPointF scenePos, double scale, QSize frame) {
    const auto coordinate = [scale](double scene, int extent) {
        // The screen pixel under the mouse, and its centre in image pixels.
        const double screenPixel = std::floor(scene * scale + 1e-9);
        const double centre = (screenPixel + 0.5) / scale - 0.5;
        return std::clamp(std::round(centre * 10.0) / 10.0, 0.0, extent - 1.0);
    };
    return {coordinate(scenePos.x(), frame.width()), coordinate(scenePos.y(), frame.height())};
}
