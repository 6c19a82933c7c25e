#include "simulation/evaluation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "simulation/shotClock.h"

namespace {

// A time of the run's clock in whole microseconds: the ticks' times are
// decimal fractions of a second, which a double holds only nearly.
std::int64_t microseconds(double seconds) {
    return std::llround(seconds * 1e6);
}

} // namespace

bool onFocalArea(const RunSettings& settings, double x, double y) {
    const cv::Point& f = settings.focal;
    const cv::Size& s = settings.focalSize;
    return f.x <= x && x <= f.x + s.width && f.y <= y && y <= f.y + s.height;
}

std::vector<TickVerdict> judgeTicks(const RunSettings& settings, const RunRecord& record,
                                    const GroundTruth& truth) {
    const float periodMs = shotPeriodMs(settings.rate);
    std::vector<TickVerdict> verdicts;
    verdicts.reserve(record.size());
    const std::int64_t trackingFrom = record.empty() ? 0 : microseconds(record.front().timeSeconds);
    int fixedShotsSoFar = 0;
    for (const TickRecord& tick : record) {
        TickVerdict verdict;
        const auto trackingMs =
            static_cast<std::int32_t>((microseconds(tick.timeSeconds) - trackingFrom) / 1000);
        const int due = shotsWithoutTracking(trackingMs, periodMs);
        verdict.fixedFocusShots = due - fixedShotsSoFar;
        fixedShotsSoFar = due;
        verdict.truth = truth.at(shownFrameIndex(tick));
        if (verdict.truth && verdict.truth->inPlane) {
            const TruthPoint& stone = *verdict.truth;
            verdict.stoneOnFocalArea = onFocalArea(settings, stone.centreX, stone.centreY);
            verdict.errorPx =
                std::hypot(tick.centreX - stone.centreX, tick.centreY - stone.centreY);
        }
        verdicts.push_back(verdict);
    }
    return verdicts;
}

std::optional<double> percentile(const std::vector<double>& sorted, double p) {
    if (sorted.empty()) {
        return std::nullopt;
    }
    const double rank = p / 100.0 * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(rank));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double fraction = rank - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * fraction;
}

std::optional<double> ShotTally::efficiency() const {
    if (fired == 0) {
        return std::nullopt;
    }
    return static_cast<double>(onStone) / static_cast<double>(fired);
}

std::optional<double> Evaluation::planeAgreement() const {
    if (annotatedTicks == 0) {
        return std::nullopt;
    }
    return static_cast<double>(planeAgreeingTicks) / static_cast<double>(annotatedTicks);
}

std::optional<double> Evaluation::efficiencyGain() const {
    const std::optional<double> with = tracking.efficiency();
    const std::optional<double> without = fixedFocus.efficiency();
    if (!with || !without) {
        return std::nullopt;
    }
    return *with - *without;
}

Evaluation evaluate(const RunRecord& record, const std::vector<TickVerdict>& verdicts) {
    Evaluation result;
    result.ticks = static_cast<std::int64_t>(record.size());
    std::vector<double> errors;
    for (std::size_t i = 0; i < record.size() && i < verdicts.size(); ++i) {
        const TickRecord& tick = record[i];
        const TickVerdict& verdict = verdicts[i];
        if (!verdict.truth) {
            continue;
        }
        ++result.annotatedTicks;
        if (verdict.truth->inPlane) {
            ++result.truthInPlaneTicks;
        }
        if (tick.inPlane == verdict.truth->inPlane) {
            ++result.planeAgreeingTicks;
        }
        if (verdict.errorPx) {
            errors.push_back(*verdict.errorPx);
        }
        if (tick.hit) {
            ++result.tracking.fired;
            result.tracking.onStone += verdict.stoneOnFocalArea ? 1 : 0;
        }
        result.fixedFocus.fired += verdict.fixedFocusShots;
        result.fixedFocus.onStone += verdict.stoneOnFocalArea ? verdict.fixedFocusShots : 0;
    }
    if (!errors.empty()) {
        std::sort(errors.begin(), errors.end());
        ErrorStats stats;
        stats.ticks = static_cast<std::int64_t>(errors.size());
        stats.meanPx =
            std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
        stats.medianPx = *percentile(errors, 50.0);
        stats.p95Px = *percentile(errors, 95.0);
        stats.maxPx = errors.back();
        result.trackingError = stats;
    }
    return result;
}

JudgedRun judgeRun(const RunSettings& settings, const RunRecord& record, const GroundTruth& truth) {
    JudgedRun judged;
    judged.verdicts = judgeTicks(settings, record, truth);
    judged.evaluation = evaluate(record, judged.verdicts);
    return judged;
}

Evaluation evaluateRun(const RunSettings& settings, const RunRecord& record,
                       const GroundTruth& truth) {
    return judgeRun(settings, record, truth).evaluation;
}
