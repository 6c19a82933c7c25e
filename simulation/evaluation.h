#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "simulation/groundTruth.h"
#include "simulation/runRecord.h"

// How a run compares with the stone's true position: where the tracker was
// against where the stone was, and how many shots landed on the stone with
// tracking against a fixed focus on the same focal area firing at the same
// rate. Only ticks whose shown frame is annotated count.

// The index of the frame shown on `tick`: the record holds the capture
// position after the read, which is one past the frame read.
inline std::int64_t shownFrameIndex(const TickRecord& tick) {
    return tick.frame - 1;
}

// Edges included, as the window's hit test has it.
bool onFocalArea(const RunSettings& settings, double x, double y);

// What the comparison makes of one tick of the run.
struct TickVerdict {
    // The annotation of the shown frame, pointing into the ground truth, which
    // must outlive the verdict; nullptr: the frame has none.
    const TruthPoint* truth = nullptr;
    bool stoneOnFocalArea = false; // the true centre on the focal area, in plane
    int fixedFocusShots = 0;       // shots the fixed focus fires on this tick
    // The tracked centre's distance from the true centre (pixels); set on
    // ticks whose truth is in plane.
    std::optional<double> errorPx;
};

// One verdict per tick, in the order of `record`, whose first tick is the
// start of tracking. The fixed focus fires the shots that the log's summary
// counts without tracking: its n-th shot on the first tick at which the whole
// milliseconds since the start of tracking hold n shot periods (shotPeriodMs
// of the rate, single precision), so that over the run it fires as many as
// the summary says; it fires whether or not the tick is annotated.
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

struct ShotTally {
    std::int64_t fired = 0;
    std::int64_t onStone = 0;

    std::int64_t tissue() const { return fired - onStone; }
    // onStone / fired; none when nothing was fired.
    std::optional<double> efficiency() const;
};

struct Evaluation {
    std::int64_t ticks = 0;          // playing ticks in the record
    std::int64_t annotatedTicks = 0; // of them, ticks whose shown frame is annotated
    std::int64_t truthInPlaneTicks = 0;

    std::optional<ErrorStats> trackingError; // none: no annotated in-plane tick

    std::int64_t planeAgreeingTicks = 0; // the tracker's in-plane state equals the truth's
    std::optional<double> planeAgreement() const;

    // With tracking a shot is a hit: fired = hits, on the stone = true hits.
    ShotTally tracking;
    ShotTally fixedFocus;
    std::int64_t hits() const { return tracking.fired; }
    std::int64_t trueHits() const { return tracking.onStone; }
    std::int64_t falseHits() const { return tracking.tissue(); }

    // Shot efficiency with tracking minus without (a fraction; 0.25 is 25
    // percentage points); none unless both fired.
    std::optional<double> efficiencyGain() const;
    // Tissue shots of the fixed focus minus those with tracking.
    std::int64_t tissueShotsSpared() const { return fixedFocus.tissue() - tracking.tissue(); }
};

Evaluation evaluate(const RunRecord& record, const std::vector<TickVerdict>& verdicts);

// A run judged against the truth once, for the table, the files and the
// picture alike: the verdict of every tick and the figures made of them. The
// verdicts point into the ground truth, which must outlive them.
struct JudgedRun {
    std::vector<TickVerdict> verdicts;
    Evaluation evaluation;
};

JudgedRun judgeRun(const RunSettings& settings, const RunRecord& record, const GroundTruth& truth);

// The figures alone.
Evaluation evaluateRun(const RunSettings& settings, const RunRecord& record,
                       const GroundTruth& truth);
