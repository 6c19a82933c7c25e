// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "evaluation/groundTruth.h"
#include "evaluation/motion.h"
#include "evaluation/proportionIntervals.h"
#include "evaluation/runRecord.h"

// How a run compares with the stone's true position: where the tracker was
// against where the stone was, and how many shots landed on the stone with
// tracking against a fixed focus on the same focal area firing at the same
// rate. Only ticks whose shown frame is annotated count. A shot arrives the
// run's latency after the image it was decided on and is judged by where the
// stone is then.

// The index of the frame shown on `tick`: the record holds the capture
// position after the read, which is one past the frame read.
inline std::int64_t shownFrameIndex(const TickRecord& tick) {
    return tick.frame - 1;
}

// Edges included, as the window's hit test has it, and within the picture
// where its size is known.
bool onFocalArea(const RunSettings& settings, double x, double y);

// What the comparison makes of one tick of the run.
struct TickVerdict {
    // The annotation of the shown frame, pointing into the ground truth, which
    // must outlive the verdict; nullptr: the frame has none.
    const TruthPoint* truth = nullptr;
    // Where the stone is when a shot decided on this tick arrives (truthAt);
    // none: no annotation covers the arrival, and the shot is not judged.
    std::optional<TruthPoint> atArrival;
    // At the arrival the true centre is on the focal area, in plane; with
    // labels of focus, the frame shown then is labelled in focus.
    bool stoneOnFocalArea = false;
    int fixedFocusShots = 0; // shots the fixed focus fires on this tick
    // The tracked centre's distance from the true centre (pixels); set on
    // ticks whose truth is in plane and has a centre.
    std::optional<double> errorPx;
    // The aim's distance from the true centre at arrival; set where that is
    // in plane.
    std::optional<double> aimErrorPx;
};

// The stone's true position at `arrivalUs` on the run's clock (microseconds,
// as microsecondsOf gives the ticks' times): the annotation of the frame shown
// then, that of the last tick at or before the arrival. Between that tick and
// the next the centre moves linearly from the one frame's annotation to the
// other's, which both must have and which must be neighbours (the same frame
// or the next); the stone is in the plane as in the frame shown. None where
// no annotation covers the arrival, before the first tick or after the last.
// Labels of focus are not interpolated: the frame shown at the arrival's own.
// `shown` is where the search starts, and is left at the tick found, so that
// arrivals in time order are found in one pass.
std::optional<TruthPoint> truthAt(std::int64_t arrivalUs, const RunRecord& record,
                                  const GroundTruth& truth, std::size_t& shown);

// A time of the run's clock in whole microseconds.
std::int64_t microsecondsOf(double seconds);

// One verdict per tick, in the order of `record`, whose first tick is the
// start of tracking. The fixed focus fires the shots that the log's summary
// counts without tracking: its n-th shot on the first tick at which the whole
// milliseconds since the start of tracking hold n shot periods (shotPeriodMs
// of the rate, single precision), so that over the run it fires as many as
// the summary says; it fires whether or not the tick is annotated, and a shot
// whose arrival no annotation covers counts as not annotated.
std::vector<TickVerdict> judgeTicks(const RunSettings& settings, const RunRecord& record,
                                    const GroundTruth& truth);

// Linear interpolation between the closest ranks (numpy's default), `p` in
// 0..100, of values sorted ascending; none for no values.
std::optional<double> percentile(const std::vector<double>& sorted, double p);

struct ErrorStats {
    std::int64_t ticks = 0; // ticks measured: annotated, truth in plane
    double meanPx = 0.0;
    double medianPx = 0.0;
    double p95Px = 0.0;
    double maxPx = 0.0;
};

// The statistics of distances, one per tick; none for no distances.
std::optional<ErrorStats> errorStats(std::vector<double> distances);

struct ShotTally {
    std::int64_t fired = 0;
    std::int64_t onStone = 0;
    // Of those fired, the shots whose arrival no annotation covers (the fixed
    // focus's past the last annotated tick): neither on the stone nor tissue.
    std::int64_t notAnnotated = 0;

    std::int64_t judged() const { return fired - notAnnotated; }
    std::int64_t tissue() const { return judged() - onStone; }
    // onStone / judged; none when no shot was judged.
    std::optional<double> efficiency() const;
    // Its 95 % Wilson score interval; none when no shot was judged.
    std::optional<Interval> efficiencyCi95() const { return wilsonInterval(onStone, judged()); }
};

// The distances of an evaluation again in millimetres, for a calibrated run
// (simulation/calibration.h): ErrorStats's figures are then millimetres.
struct MotionInMm {
    std::optional<double> peakToPeakMm;
    std::optional<double> peakSpeedMmPerS;
};
struct MillimetreFigures {
    std::optional<ErrorStats> trackingError;
    std::optional<ErrorStats> aimErrorAtArrival;
    std::optional<ErrorStats> observerDifference; // where a second annotation is compared
    MotionInMm trackMotion;
    MotionInMm truthMotion;
};

struct Evaluation {
    // Judged by labels of focus: the figures of positions (tracking and aim
    // error, plane agreement, the truth's motion) are not measured.
    bool byFocusLabels = false;
    std::int64_t ticks = 0;          // playing ticks in the record
    std::int64_t annotatedTicks = 0; // of them, ticks whose shown frame is annotated
    std::int64_t truthInPlaneTicks = 0;

    std::optional<ErrorStats> trackingError; // none: no annotated in-plane tick
    // The aim against the truth at arrival; none: no arrival in plane.
    std::optional<ErrorStats> aimErrorAtArrival;

    std::int64_t planeAgreeingTicks = 0;          // the tracker's in-plane state equals the truth's
    std::optional<double> planeAgreement() const; // none by labels of focus

    // Two annotations of the recording against each other, where a second
    // one was given (observerDifference): the human baseline of the
    // tracking error.
    bool observersCompared = false;
    std::optional<ErrorStats> observerDifference; // none: no tick in plane in both

    // With tracking a shot is a hit: fired = hits, on the stone = true hits.
    ShotTally tracking;
    ShotTally fixedFocus;
    std::int64_t hits() const { return tracking.fired; }
    std::int64_t trueHits() const { return tracking.onStone; }
    std::int64_t falseHits() const { return tracking.tissue(); }

    // Shot efficiency with tracking minus without (a fraction; 0.25 is 25
    // percentage points); none unless both fired.
    std::optional<double> efficiencyGain() const;
    // Its 95 % interval (Newcombe's hybrid score interval); none unless both fired.
    std::optional<Interval> efficiencyGainCi95() const {
        return newcombeDifferenceInterval(tracking.onStone, tracking.judged(), fixedFocus.onStone,
                                          fixedFocus.judged());
    }
    // Tissue shots of the fixed focus minus those with tracking.
    std::int64_t tissueShotsSpared() const { return fixedFocus.tissue() - tracking.tissue(); }

    // The stone's motion on the tracker's in-plane ticks and on the truth's
    // annotated in-plane ticks (judgeRun).
    MotionFigures trackMotion;
    MotionFigures truthMotion;
    // Where the run is calibrated (judgeRun); none: pixels only.
    std::optional<MillimetreFigures> millimetres;

    std::int64_t heldTicks = 0;  // annotated, in plane, and the tracking window not empty
    std::int64_t recordHits = 0; // hits on all ticks, annotated or not
    // The stone was in the plane, but the tracking window was empty on every
    // such tick and no shot was fired with tracking: nothing to compare.
    bool trackerNeverHeldStone() const {
        return truthInPlaneTicks > 0 && heldTicks == 0 && recordHits == 0;
    }
};

Evaluation evaluate(const RunRecord& record, const std::vector<TickVerdict>& verdicts);

// The motion samples of the ticks on which `centre` gives a position in the
// plane, each weighted by the time until the next tick (the last tick by the
// step before it).
std::vector<MotionSample>
motionSamples(const RunRecord& record,
              const std::function<std::optional<cv::Point2d>(std::size_t)>& centre);

// The statistics of `errors` (any order); none for none.
std::optional<ErrorStats> errorStatsOf(std::vector<double> errors);

// A run judged against the truth once, for the table, the files and the
// picture alike: the verdict of every tick and the figures made of them, the
// motion included. The verdicts point into the ground truth, which must
// outlive them.
struct JudgedRun {
    std::vector<TickVerdict> verdicts;
    Evaluation evaluation;
};

JudgedRun judgeRun(const RunSettings& settings, const RunRecord& record, const GroundTruth& truth);

// The tracking error, the aim's error at arrival and the motion's extent and
// speed of the run judged in `verdicts` (judgeTicks), in millimetres.
MillimetreFigures millimetreFigures(const RunSettings& settings, const MmPerPixel& scale,
                                    const RunRecord& record,
                                    const std::vector<TickVerdict>& verdicts);

// The figures alone.
Evaluation evaluateRun(const RunSettings& settings, const RunRecord& record,
                       const GroundTruth& truth);
