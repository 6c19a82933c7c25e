// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/observerDifference.h"

#include <cmath>
#include <vector>

std::optional<ErrorStats> observerDifference(const RunRecord& record, const GroundTruth& first,
                                             const GroundTruth& second) {
    std::vector<double> distances;
    for (const TickRecord& tick : record) {
        const TruthPoint* one = first.at(shownFrameIndex(tick));
        const TruthPoint* other = second.at(shownFrameIndex(tick));
        if (one && other && one->inPlane && other->inPlane) {
            distances.push_back(
                std::hypot(one->centreX - other->centreX, one->centreY - other->centreY));
        }
    }
    return errorStats(std::move(distances));
}

ErrorStats scaledStats(ErrorStats stats, double factor) {
    for (double ErrorStats::*field :
         {&ErrorStats::meanPx, &ErrorStats::medianPx, &ErrorStats::p95Px, &ErrorStats::maxPx}) {
        stats.*field *= factor;
    }
    return stats;
}
