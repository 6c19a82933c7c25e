// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/calibration.h"

#include <algorithm>
#include <cmath>

double distanceMm(double dxPx, double dyPx, const MmPerPixel& scale) {
    return std::hypot(dxPx * scale.x, dyPx * scale.y);
}

double shortestMm(double px, const MmPerPixel& scale) {
    return px * std::min(scale.x, scale.y);
}

double pixelsSpanning(double mm, const MmPerPixel& scale) {
    return mm / std::min(scale.x, scale.y);
}
