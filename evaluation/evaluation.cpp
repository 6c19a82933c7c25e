// SPDX-License-Identifier: GPL-3.0-or-later
#include "evaluation/evaluation.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "evaluation/calibration.h"
#include "simulation/focalArea.h"
#include "simulation/shotClock.h"

std::optional<ErrorStats> errorStats(std::vector<double> errors) {
    if (errors.empty()) {
        return std::nullopt;
    }
    std::sort(errors.begin(), errors.end());
    ErrorStats stats;
    stats.ticks = static_cast<std::int64_t>(errors.size());
    stats.meanPx =
        std::accumulate(errors.begin(), errors.end(), 0.0) / static_cast<double>(errors.size());
    stats.medianPx = *percentile(errors, 50.0);
    stats.p95Px = *percentile(errors, 95.0);
    stats.maxPx = errors.back();
    return stats;
}

// The ticks' times are decimal fractions of a second, which a double holds
// only nearly; in whole microseconds they compare exactly.
std::int64_t microsecondsOf(double seconds) {
    return std::llround(seconds * 1e6);
}

std::optional<TruthPoint> truthAt(std::int64_t arrivalUs, const RunRecord& record,
                                  const GroundTruth& truth, std::size_t& shown) {
    if (record.empty() || arrivalUs < microsecondsOf(record.front().timeSeconds)) {
        return std::nullopt;
    }
    shown = std::min(shown, record.size() - 1);
    while (shown > 0 && microsecondsOf(record[shown].timeSeconds) > arrivalUs) {
        --shown;
    }
    while (shown + 1 < record.size() &&
           microsecondsOf(record[shown + 1].timeSeconds) <= arrivalUs) {
        ++shown;
    }
    const TickRecord& tick = record[shown];
    const TruthPoint* here = truth.at(shownFrameIndex(tick));
    const std::int64_t from = microsecondsOf(tick.timeSeconds);
    if (!here || from == arrivalUs) {
        return here ? std::optional<TruthPoint>(*here) : std::nullopt;
    }
    if (shown + 1 == record.size()) {
        return std::nullopt;
    }
    if (truth.labelsFocusOnly()) {
        return *here;
    }
    const TickRecord& next = record[shown + 1];
    const std::int64_t step = shownFrameIndex(next) - shownFrameIndex(tick);
    const TruthPoint* there = truth.at(shownFrameIndex(next));
    if (!there || (step != 0 && step != 1)) {
        return std::nullopt;
    }
    const double fraction = static_cast<double>(arrivalUs - from) /
                            static_cast<double>(microsecondsOf(next.timeSeconds) - from);
    TruthPoint between = *here;
    between.centreX += (there->centreX - here->centreX) * fraction;
    between.centreY += (there->centreY - here->centreY) * fraction;
    return between;
}

bool onFocalArea(const RunSettings& settings, double x, double y) {
    // The window's hit test sees only tracked centres, which lie on the
    // picture's pixels; the part of the area beyond them is never hit.
    const cv::Size& picture = settings.frame;
    const bool inPicture =
        picture.empty() || (0 <= x && x <= picture.width - 1 && 0 <= y && y <= picture.height - 1);
    return inPicture && onFocalArea(settings.focal, settings.focalSize, x, y);
}

std::vector<TickVerdict> judgeTicks(const RunSettings& settings, const RunRecord& record,
                                    const GroundTruth& truth) {
    const float periodMs = shotPeriodMs(settings.rate);
    std::vector<TickVerdict> verdicts;
    verdicts.reserve(record.size());
    const std::int64_t trackingFrom =
        record.empty() ? 0 : microsecondsOf(record.front().timeSeconds);
    const std::int64_t latencyUs = std::int64_t{settings.timing.latencyMs} * 1000;
    int fixedShotsSoFar = 0;
    std::size_t shownAtArrival = 0;
    for (const TickRecord& tick : record) {
        TickVerdict verdict;
        const std::int64_t decidedUs = microsecondsOf(tick.timeSeconds);
        const auto trackingMs = static_cast<std::int32_t>((decidedUs - trackingFrom) / 1000);
        const int due = shotsWithoutTracking(trackingMs, periodMs);
        verdict.fixedFocusShots = due - fixedShotsSoFar;
        fixedShotsSoFar = due;
        verdict.truth = truth.at(shownFrameIndex(tick));
        const bool focusOnly = truth.labelsFocusOnly();
        if (verdict.truth && verdict.truth->inPlane && !focusOnly) {
            const TruthPoint& stone = *verdict.truth;
            verdict.errorPx =
                std::hypot(tick.centreX - stone.centreX, tick.centreY - stone.centreY);
        }
        verdict.atArrival = truthAt(decidedUs + latencyUs, record, truth, shownAtArrival);
        if (verdict.atArrival && focusOnly) {
            verdict.stoneOnFocalArea = verdict.atArrival->inFocus;
        } else if (verdict.atArrival && verdict.atArrival->inPlane) {
            const TruthPoint& stone = *verdict.atArrival;
            verdict.stoneOnFocalArea = onFocalArea(settings, stone.centreX, stone.centreY);
            verdict.aimErrorPx = std::hypot(tick.aimX - stone.centreX, tick.aimY - stone.centreY);
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
    if (judged() <= 0) {
        return std::nullopt;
    }
    return static_cast<double>(onStone) / static_cast<double>(judged());
}

std::optional<double> Evaluation::planeAgreement() const {
    if (annotatedTicks == 0 || byFocusLabels) {
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
    std::vector<double> aimErrors;
    for (std::size_t i = 0; i < record.size() && i < verdicts.size(); ++i) {
        const TickRecord& tick = record[i];
        const TickVerdict& verdict = verdicts[i];
        result.recordHits += tick.hit ? 1 : 0;
        if (verdict.truth) {
            ++result.annotatedTicks;
            if (verdict.truth->inPlane) {
                ++result.truthInPlaneTicks;
                result.heldTicks += tick.inPlane ? 1 : 0;
            }
            if (tick.inPlane == verdict.truth->inPlane) {
                ++result.planeAgreeingTicks;
            }
            if (verdict.errorPx) {
                errors.push_back(*verdict.errorPx);
            }
        }
        if (verdict.atArrival) {
            if (tick.hit) {
                ++result.tracking.fired;
                result.tracking.onStone += verdict.stoneOnFocalArea ? 1 : 0;
            }
            result.fixedFocus.onStone += verdict.stoneOnFocalArea ? verdict.fixedFocusShots : 0;
            if (verdict.aimErrorPx) {
                aimErrors.push_back(*verdict.aimErrorPx);
            }
        } else {
            result.fixedFocus.notAnnotated += verdict.fixedFocusShots;
        }
        result.fixedFocus.fired += verdict.fixedFocusShots;
    }
    result.trackingError = errorStats(std::move(errors));
    result.aimErrorAtArrival = errorStats(std::move(aimErrors));
    return result;
}

std::vector<MotionSample>
motionSamples(const RunRecord& record,
              const std::function<std::optional<cv::Point2d>(std::size_t)>& centre) {
    std::vector<MotionSample> samples;
    int stretch = 0;
    bool previousInPlane = false;
    for (std::size_t i = 0; i < record.size(); ++i) {
        const std::optional<cv::Point2d> at = centre(i);
        if (!at) {
            stretch += previousInPlane ? 1 : 0;
            previousInPlane = false;
            continue;
        }
        double shown = tickSeconds;
        if (i + 1 < record.size()) {
            shown = record[i + 1].timeSeconds - record[i].timeSeconds;
        } else if (i > 0) {
            shown = record[i].timeSeconds - record[i - 1].timeSeconds;
        }
        samples.push_back({record[i].timeSeconds, *at, stretch, shown});
        previousInPlane = true;
    }
    return samples;
}

namespace {

// The motion's extent and speed with every position scaled to millimetres,
// so that the main axis is found where the stone moves, not in pixels that
// are longer one way.
MotionInMm motionInMm(const RunSettings& settings, const RunRecord& record,
                      const std::function<std::optional<cv::Point2d>(std::size_t)>& centrePx,
                      const MmPerPixel& scale) {
    const std::vector<MotionSample> samples =
        motionSamples(record, [&](std::size_t i) -> std::optional<cv::Point2d> {
            const std::optional<cv::Point2d> at = centrePx(i);
            if (!at) {
                return std::nullopt;
            }
            return cv::Point2d(at->x * scale.x, at->y * scale.y);
        });
    // The focal area's share of the time is the pixels' figure; only the
    // extent and the speed are taken from here.
    const MotionFigures figures = measureMotion(samples, settings.focal, settings.focalSize);
    return {figures.peakToPeakPx, figures.peakSpeedPxPerS};
}

} // namespace

MillimetreFigures millimetreFigures(const RunSettings& settings, const MmPerPixel& scale,
                                    const RunRecord& record,
                                    const std::vector<TickVerdict>& verdicts) {
    std::vector<double> errors;
    std::vector<double> aimErrors;
    for (std::size_t i = 0; i < record.size() && i < verdicts.size(); ++i) {
        const TickRecord& tick = record[i];
        const TickVerdict& verdict = verdicts[i];
        if (verdict.errorPx) {
            errors.push_back(distanceMm(tick.centreX - verdict.truth->centreX,
                                        tick.centreY - verdict.truth->centreY, scale));
        }
        if (verdict.aimErrorPx) {
            aimErrors.push_back(distanceMm(tick.aimX - verdict.atArrival->centreX,
                                           tick.aimY - verdict.atArrival->centreY, scale));
        }
    }
    MillimetreFigures figures;
    figures.trackingError = errorStatsOf(std::move(errors));
    figures.aimErrorAtArrival = errorStatsOf(std::move(aimErrors));
    figures.trackMotion = motionInMm(
        settings, record,
        [&record](std::size_t i) -> std::optional<cv::Point2d> {
            if (!record[i].inPlane) {
                return std::nullopt;
            }
            return cv::Point2d(record[i].centreX, record[i].centreY);
        },
        scale);
    figures.truthMotion = motionInMm(
        settings, record,
        [&verdicts](std::size_t i) -> std::optional<cv::Point2d> {
            const TruthPoint* stone = verdicts[i].truth;
            if (!stone || !stone->inPlane) {
                return std::nullopt;
            }
            return cv::Point2d(stone->centreX, stone->centreY);
        },
        scale);
    return figures;
}

JudgedRun judgeRun(const RunSettings& settings, const RunRecord& record, const GroundTruth& truth) {
    JudgedRun judged;
    judged.verdicts = judgeTicks(settings, record, truth);
    judged.evaluation = evaluate(record, judged.verdicts);
    judged.evaluation.byFocusLabels = truth.labelsFocusOnly();
    const std::vector<MotionSample> tracked =
        motionSamples(record, [&record](std::size_t i) -> std::optional<cv::Point2d> {
            if (!record[i].inPlane) {
                return std::nullopt;
            }
            return cv::Point2d(record[i].centreX, record[i].centreY);
        });
    const std::vector<TickVerdict>& verdicts = judged.verdicts;
    const std::vector<MotionSample> annotated =
        motionSamples(record, [&verdicts](std::size_t i) -> std::optional<cv::Point2d> {
            const TruthPoint* stone = verdicts[i].truth;
            if (!stone || !stone->inPlane || !verdicts[i].errorPx) {
                return std::nullopt;
            }
            return cv::Point2d(stone->centreX, stone->centreY);
        });
    judged.evaluation.trackMotion = measureMotion(tracked, settings.focal, settings.focalSize);
    judged.evaluation.truthMotion = measureMotion(annotated, settings.focal, settings.focalSize);
    if (settings.mmPerPixel) {
        judged.evaluation.millimetres =
            millimetreFigures(settings, *settings.mmPerPixel, record, judged.verdicts);
    }
    return judged;
}

Evaluation evaluateRun(const RunSettings& settings, const RunRecord& record,
                       const GroundTruth& truth) {
    return judgeRun(settings, record, truth).evaluation;
}

std::optional<ErrorStats> errorStatsOf(std::vector<double> errors) {
    return errorStats(std::move(errors));
}
