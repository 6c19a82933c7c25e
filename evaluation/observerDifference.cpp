// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/observerDifference.h"

#include "evaluation/calibration.h"

#include <cmath>
#include <vector>

std::optional<ErrorStats> observerDifference(const RunRecord& record, const GroundTruth& first,
                                             const GroundTruth& second, const MmPerPixel* scale) {
    std::vector<double> distances;
    for (const TickRecord& tick : record) {
        const TruthPoint* one = first.at(shownFrameIndex(tick));
        const TruthPoint* other = second.at(shownFrameIndex(tick));
        if (one && other && one->inPlane && other->inPlane) {
            const double dx = one->centreX - other->centreX;
            const double dy = one->centreY - other->centreY;
            distances.push_back(scale ? distanceMm(dx, dy, *scale) : std::hypot(dx, dy));
        }
    }
    return errorStats(std::move(distances));
}
