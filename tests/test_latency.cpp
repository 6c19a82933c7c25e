// SPDX-License-Identifier: GPL-3.0-or-later
// Shots that arrive some time after their image: what the predictors aim at,
// where the truth puts the stone at arrival, how shots and aims are judged
// then, the stone's motion figures, and the sweep's pieces.

#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

#include "evaluation/evaluation.h"
#include "evaluation/latencySweep.h"
#include "evaluation/motion.h"
#include "report/evaluationReport.h"
#include "report/sweepPlot.h"
#include "simulation/aimPrediction.h"
#include "tools/syntheticVideo.h"

namespace {

constexpr double tick = 0.025;

// Consecutive ticks from tick 1 on, each showing the next frame from frame 0.
RunRecord ticks(int count) {
    RunRecord record(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        record[i].tick = i + 1;
        record[i].frame = i + 1;
        record[i].timeSeconds = (i + 1) * tick;
        record[i].inPlane = true;
        record[i].area = 100.0;
    }
    return record;
}

GroundTruth truthOf(const std::map<std::int64_t, TruthPoint>& frames) {
    GroundTruth truth;
    truth.byFrame = frames;
    return truth;
}

} // namespace

TEST(AimPrediction, NamesAreTheOptionsValues) {
    for (const Prediction p : sweptPredictions) {
        EXPECT_EQ(predictionNamed(predictionName(p)), p);
    }
    EXPECT_EQ(predictionName(Prediction::Kalman), "kalman");
    EXPECT_FALSE(predictionNamed("magic"));
    EXPECT_FALSE(predictionNamed("Linear"));
    EXPECT_EQ(makeAimPredictor(Prediction::None, 0.2, 5), nullptr);
}

// Each step: time, centre, in plane, and the aim expected at 200 ms.
TEST(AimPrediction, TheLinearFitExtrapolatesItsWindowAndStartsAgainAfterThePlane) {
    struct Step {
        double seconds;
        cv::Point2d centre;
        bool inPlane;
        cv::Point2d aim;
    };
    const Step steps[] = {
        {0.000, {100, 50}, true, {100, 50}},  // one step: no velocity yet
        {0.025, {101, 49}, true, {109, 41}},  // 40 px/s right, 40 px/s up
        {0.050, {102, 48}, true, {110, 40}},  // the same line
        {0.075, {102, 48}, true, {106, 44}},  // the last 3 only: 20 px/s by least squares
        {0.100, {102, 48}, false, {102, 48}}, // out of the plane: the tracked centre
        {0.125, {120, 60}, true, {120, 60}},  // back: the fit starts again
        {0.150, {121, 60}, true, {129, 60}},  // 40 px/s from the two new steps only
    };
    LinearAimPredictor predictor(0.2, 3);
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << "t " << step.seconds);
        const cv::Point2d aim = predictor.aim(step.seconds, step.centre, step.inPlane);
        EXPECT_NEAR(aim.x, step.aim.x, 1e-9);
        EXPECT_NEAR(aim.y, step.aim.y, 1e-9);
    }
}

TEST(AimPrediction, TheKalmanFilterFollowsAConstantVelocityAndStartsAgainAfterThePlane) {
    KalmanAimPredictor predictor(0.2, defaultKalmanNoise());
    // 40 px/s to the right and 10 px/s down, for two seconds.
    cv::Point2d aim;
    for (int i = 0; i <= 80; ++i) {
        const double t = i * tick;
        const cv::Point2d centre(100 + 40 * t, 200 + 10 * t);
        aim = predictor.aim(t, centre, true);
        if (i == 0) {
            EXPECT_EQ(aim, centre) << "it starts at rest where the stone is";
        }
    }
    const double t = 80 * tick;
    EXPECT_NEAR(aim.x, 100 + 40 * (t + 0.2), 0.3);
    EXPECT_NEAR(aim.y, 200 + 10 * (t + 0.2), 0.3);

    EXPECT_EQ(predictor.aim(2.025, {150, 220}, false), cv::Point2d(150, 220));
    EXPECT_EQ(predictor.aim(2.05, {10, 20}, true), cv::Point2d(10, 20))
        << "back in the plane it starts again, at rest";
}

// Frames 0..3 annotated (2 out of the plane), shown on ticks 1..4; tick 5
// wraps back to frame 1.
TEST(Evaluation, TheTruthAtArrivalIsTheShownFrameOrTheLineToItsNeighbour) {
    RunRecord record = ticks(5);
    record[4].frame = 2;
    std::map<std::int64_t, TruthPoint> frames{
        {0, {0, 0, true}}, {1, {10, 0, true}}, {2, {20, 4, false}}, {3, {30, 0, true}}};
    struct Case {
        double seconds;
        std::optional<TruthPoint> expected;
        bool sparse; // frame 1 not annotated
    };
    const Case cases[] = {
        {0.025, TruthPoint{0, 0, true}, false},
        {0.0375, TruthPoint{5, 0, true}, false},   // half way from frame 0 to 1
        {0.0625, TruthPoint{15, 2, true}, false},  // in the plane, as frame 1 shown then
        {0.0875, TruthPoint{25, 2, false}, false}, // out, as frame 2 shown then
        {0.1125, std::nullopt, false},             // frames 3 and 1 are no neighbours
        {0.125, TruthPoint{10, 0, true}, false},   // frame 1 again
        {0.13, std::nullopt, false},               // after the last tick
        {0.01, std::nullopt, false},               // before the first
        {0.0375, std::nullopt, true},              // the neighbour is not annotated
        {0.05, std::nullopt, true},                // nor the frame shown
        {0.025, TruthPoint{0, 0, true}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.seconds << (c.sparse ? " sparse" : ""));
        std::map<std::int64_t, TruthPoint> given = frames;
        if (c.sparse) {
            given.erase(1);
        }
        const GroundTruth truth = truthOf(given);
        std::size_t shown = 3; // any start will do
        const std::optional<TruthPoint> found =
            truthAt(microsecondsOf(c.seconds), record, truth, shown);
        ASSERT_EQ(found.has_value(), c.expected.has_value());
        if (found) {
            EXPECT_DOUBLE_EQ(found->centreX, c.expected->centreX);
            EXPECT_DOUBLE_EQ(found->centreY, c.expected->centreY);
            EXPECT_EQ(found->inPlane, c.expected->inPlane);
        }
    }
}

// The stone moves 5 px per frame from x = 190 across the focal area
// (200..220); the tracker and its aim are exactly on it. Hits on ticks 3
// (x 200), 7 (220) and 10 (235).
TEST(Evaluation, ShotsAndAimsAreJudgedWhereTheStoneIsAtArrival) {
    RunRecord record = ticks(10);
    std::map<std::int64_t, TruthPoint> frames;
    for (int f = 0; f < 10; ++f) {
        frames[f] = {190.0 + 5 * f, 210.0, true};
        record[f].centreX = 190 + 5 * f;
        record[f].centreY = 210;
        record[f].aimX = record[f].centreX;
        record[f].aimY = record[f].centreY;
    }
    for (int hitTick : {3, 7, 10}) {
        record[hitTick - 1].hit = true;
    }
    const GroundTruth truth = truthOf(frames);
    struct Case {
        int latencyMs;
        std::int64_t fired, onStone, aimTicks;
        double aimMean;
    };
    const Case cases[] = {
        {0, 3, 2, 10, 0.0},  // 200 and 220 on the edges, 235 off
        {50, 2, 1, 8, 10.0}, // at 210 and 230; tick 10's shot arrives after the last tick
        {10, 2, 1, 9, 2.0},  // 202 and 222, between frames
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.latencyMs << " ms");
        RunSettings settings;
        settings.rate = 160;
        settings.timing.latencyMs = c.latencyMs;
        const Evaluation e = evaluateRun(settings, record, truth);
        EXPECT_EQ(e.tracking.fired, c.fired);
        EXPECT_EQ(e.tracking.onStone, c.onStone);
        ASSERT_TRUE(e.aimErrorAtArrival);
        EXPECT_EQ(e.aimErrorAtArrival->ticks, c.aimTicks);
        EXPECT_NEAR(e.aimErrorAtArrival->meanPx, c.aimMean, 1e-9);
        // The tracking error is that of the image, whatever the latency.
        EXPECT_EQ(e.trackingError->ticks, 10);
        EXPECT_DOUBLE_EQ(e.trackingError->maxPx, 0.0);
    }
}

TEST(EvaluationReport, ATrackerThatNeverHeldTheStoneIsSaidSoInsteadOfTissueSpared) {
    RunRecord record = ticks(40);
    std::map<std::int64_t, TruthPoint> frames;
    for (int f = 0; f < 40; ++f) {
        frames[f] = {210.0, 210.0, true};
        record[f].inPlane = false;
        record[f].area = 0.0;
    }
    RunSettings settings;
    const GroundTruth truth = truthOf(frames);
    for (const bool heldOnce : {false, true}) {
        SCOPED_TRACE(heldOnce ? "held on one tick" : "never held");
        RunRecord run = record;
        run[20].inPlane = heldOnce;
        const Evaluation e = evaluateRun(settings, run, truth);
        EXPECT_EQ(e.trackerNeverHeldStone(), !heldOnce);
        const QString table = evaluationTable(settings, e);
        EXPECT_EQ(table.contains("never held the stone"), !heldOnce) << table.toStdString();
        EXPECT_EQ(table.contains("tissue shots spared"), heldOnce) << table.toStdString();
        const QJsonObject json = evaluationJson(settings, {}, e).object();
        EXPECT_EQ(json["tracker_held_stone"].toBool(), heldOnce);
        EXPECT_EQ(json["tissue_shots_spared"].isNull(), !heldOnce);
    }
}

namespace {

// Samples every tick from 0 to `seconds`, in the plane where `inPlane` says.
std::vector<MotionSample> sampled(double seconds, const std::function<cv::Point2d(double)>& path,
                                  const std::function<bool(double)>& inPlane) {
    std::vector<MotionSample> samples;
    int stretch = 0;
    bool before = true;
    for (int i = 0; i * tick <= seconds + 1e-9; ++i) {
        const double t = i * tick;
        if (!inPlane(t)) {
            stretch += before ? 1 : 0;
            before = false;
            continue;
        }
        before = true;
        samples.push_back({t, path(t), stretch, tick});
    }
    return samples;
}

} // namespace

TEST(Motion, FiguresOfHandMadeSines) {
    const auto always = [](double) { return true; };
    const auto twoGaps = [](double t) { return !(t >= 5 && t < 6) && !(t >= 12 && t < 12.5); };
    struct Case {
        const char* name;
        double hz, amplitude;
        cv::Point2d direction;
        std::function<bool(double)> inPlane;
        double onFocus; // share expected
    };
    const Case cases[] = {
        {"up and down", 0.3, 10.0, {0, 1}, always, 0.5},
        {"diagonal, out of the plane twice", 0.45, 8.0, {0.6, 0.8}, twoGaps, 0.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The focal area holds the upper half of the motion: y from 200 down.
        const auto path = [&c](double t) {
            return cv::Point2d(300, 200) +
                   c.direction * (c.amplitude * std::sin(2 * std::numbers::pi * c.hz * t));
        };
        const MotionFigures m =
            measureMotion(sampled(20.0, path, c.inPlane), cv::Point(280, 200), cv::Size(40, 40));
        ASSERT_TRUE(m.breathsPerMin && m.peakToPeakPx && m.peakSpeedPxPerS && m.onFocalAreaShare);
        EXPECT_NEAR(*m.breathsPerMin, c.hz * 60, 0.3);
        EXPECT_NEAR(*m.peakToPeakPx, 2 * c.amplitude, 0.3);
        const double speed = 2 * std::numbers::pi * c.hz * c.amplitude;
        EXPECT_NEAR(*m.peakSpeedPxPerS, speed, speed * 0.03);
        EXPECT_NEAR(*m.onFocalAreaShare, c.onFocus, 0.02);
    }
}

// The demo video's stone: a breath every 3.5 s, a 25 px dip with 3 px
// sideways, out of the plane twice; sampled on its frames at 25 per second.
TEST(Motion, FiguresOfTheDemoVideosBreathing) {
    constexpr double fps = 25.0;
    std::vector<MotionSample> samples;
    int stretch = 0;
    for (int frame = 0; frame < 600; ++frame) {
        const StoneState stone = demoBreathingPath(frame, fps);
        if (stone.visibility < 0.5) {
            stretch += samples.empty() || samples.back().stretch == stretch ? 1 : 0;
            continue;
        }
        samples.push_back({frame / fps, {stone.centreX, stone.centreY}, stretch, 1 / fps});
    }
    // The fastest the stone moves in the plane, from the path at a thousand
    // points a second.
    double fastest = 0.0;
    for (int i = 1; i < 24000; ++i) {
        const StoneState a = demoBreathingPath(i - 1, 1000.0);
        const StoneState b = demoBreathingPath(i, 1000.0);
        if (a.visibility >= 0.5 && b.visibility >= 0.5) {
            fastest = std::max(fastest,
                               std::hypot(b.centreX - a.centreX, b.centreY - a.centreY) * 1000.0);
        }
    }
    const MotionFigures m = measureMotion(samples, cv::Point(200, 200), cv::Size(20, 20));
    ASSERT_TRUE(m.breathsPerMin && m.peakToPeakPx && m.peakSpeedPxPerS);
    EXPECT_NEAR(*m.breathsPerMin, 60 / 3.5, 0.3);
    EXPECT_GE(*m.peakToPeakPx, 24.7);
    EXPECT_LE(*m.peakToPeakPx, std::hypot(25.0, 3.0) + 0.3);
    EXPECT_NEAR(*m.peakSpeedPxPerS, fastest, fastest * 0.03);
}

TEST(Motion, TooLittleToMeasureGivesNoFigure) {
    const auto still = [](double) { return cv::Point2d(210, 210); };
    const auto slow = [](double t) { return cv::Point2d(210, 210 + 5 * std::sin(0.2 * t)); };
    const auto always = [](double) { return true; };
    const MotionFigures none = measureMotion({}, cv::Point(200, 200), cv::Size(20, 20));
    EXPECT_EQ(none.samples, 0);
    EXPECT_FALSE(none.onFocalAreaShare || none.breathsPerMin || none.peakToPeakPx);
    const MotionFigures two =
        measureMotion(sampled(0.025, still, always), cv::Point(200, 200), cv::Size(20, 20));
    EXPECT_DOUBLE_EQ(*two.onFocalAreaShare, 1.0);
    EXPECT_FALSE(two.breathsPerMin || two.peakSpeedPxPerS);
    // Less than two periods of the motion in the record: no rate.
    const MotionFigures part =
        measureMotion(sampled(10.0, slow, always), cv::Point(200, 200), cv::Size(20, 20));
    EXPECT_FALSE(part.breathsPerMin);
    EXPECT_TRUE(part.peakToPeakPx);
}

TEST(LatencySweep, LatenciesAndThePicturesName) {
    EXPECT_EQ((LatencySweep{0, 400, 50}.latencies()),
              (std::vector<int>{0, 50, 100, 150, 200, 250, 300, 350, 400}));
    EXPECT_EQ((LatencySweep{0, 10, 3}.latencies()), (std::vector<int>{0, 3, 6, 9}));
    EXPECT_EQ((LatencySweep{5, 5, 1}.latencies()), (std::vector<int>{5}));
    const struct {
        const char* run;
        const char* sweep;
    } names[] = {
        {"run.png", "run-sweep.png"},
        {"out/a.b/run.pdf", "out/a.b/run-sweep.pdf"},
        {"out.d/run", "out.d/run-sweep"},
        {".hidden", ".hidden-sweep"},
    };
    for (const auto& n : names) {
        EXPECT_EQ(sweepPlotPath(FileName::fromBytes(n.run)).bytes, QByteArray(n.sweep));
    }
}
