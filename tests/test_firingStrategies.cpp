// SPDX-License-Identifier: GPL-3.0-or-later
// Three ways to fire, judged with a stone that has a size: gating (the
// window's shots), a fixed focus and a focus that follows the stone. On a
// hand-made run where every figure can be counted, and through the replay on
// a phantom whose stone moves as a sinusoid, against the closed forms that
// the man page derives.

#include "evaluation/evaluation.h"
#include "report/evaluationReport.h"
#include "tests/testSupport.h"
#include "tools/syntheticVideo.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <gtest/gtest.h>
#include <numbers>

namespace {

// 62 ticks of 25 ms from tick 1, each showing the next frame. The stone rests
// 25 px below the centre of the default focal area (210, 210); the tracker
// holds it and aims at it, except on ticks 40 to 50, where it has lost it.
// At 160 shots a minute (375 ms) the fixed focus fires on ticks 16, 31, 46
// and 61.
struct HandMadeRun {
    RunRecord record;
    GroundTruth truth;
};

HandMadeRun stoneAtRestBelowTheFocalArea() {
    HandMadeRun run;
    for (int i = 1; i <= 62; ++i) {
        TickRecord tick;
        tick.tick = i;
        tick.frame = i + 1;
        tick.timeSeconds = i * 0.025;
        tick.inPlane = i < 40 || i > 50;
        tick.area = tick.inPlane ? 100.0 : 0.0;
        tick.centreX = 210;
        tick.centreY = 235;
        tick.aimX = 210.0;
        tick.aimY = 235.0;
        run.record.push_back(tick);
        run.truth.byFrame[i] = {210.0, 235.0, true};
    }
    return run;
}

} // namespace

TEST(FiringStrategies, EachWayOfFiringCountedOnAHandMadeRun) {
    const HandMadeRun run = stoneAtRestBelowTheFocalArea();
    // The head, from (210, 210), gets 9 px towards the stone in the 375 ms
    // to the first shot at 24 px/s (16 px off), 9 more to the second (7 px
    // off), and all the way in the 750 ms to the last.
    const struct {
        const char* name;
        cv::Size2d stone;
        std::optional<double> pxPerS, mmPerS;
        std::int64_t fixedOnStone, followingOnStone;
    } cases[] = {
        {"point", {0, 0}, {}, {}, 0, 3},
        {"30 px high: the edges meet", {0, 30}, {}, {}, 4, 3},
        {"28 px high", {4, 28}, {}, {}, 0, 3},
        {"point, head at 24 px/s", {0, 0}, 24.0, {}, 0, 2},
        {"14 px high, head at 24 px/s", {0, 14}, 24.0, {}, 0, 3},
        {"point, head at 12 mm/s of 0.5 mm pixels", {0, 0}, {}, 12.0, 0, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings;
        settings.rate = 160;
        settings.stoneSize = c.stone;
        settings.headSpeedPxPerS = c.pxPerS;
        settings.headSpeedMmPerS = c.mmPerS;
        settings.mmPerPixel = MmPerPixel{0.5, 0.5};
        const Evaluation e = evaluateRun(settings, run.record, run.truth);
        EXPECT_EQ(e.fixedFocus.fired, 4);
        EXPECT_EQ(e.fixedFocus.onStone, c.fixedOnStone);
        EXPECT_EQ(e.following.fired, 3);
        EXPECT_EQ(e.followingWithheld, 1);
        EXPECT_EQ(e.following.onStone, c.followingOnStone);
        EXPECT_EQ(e.tracking.fired, 0);
    }
    RunSettings settings;
    settings.rate = 160;
    const Evaluation e = evaluateRun(settings, run.record, run.truth);
    const QJsonObject report = evaluationJson(settings, {}, e).object();
    EXPECT_EQ(report["following"].toObject()["shots_withheld"].toInt(), 1);
    EXPECT_EQ(report["following"].toObject()["shot_efficiency"].toDouble(), 1.0);
    EXPECT_TRUE(report["settings"].toObject()["head_speed_limit"].isNull());
    EXPECT_EQ(summaryRow(settings, {}, e).count(','), summaryHeader().count(','));
    EXPECT_TRUE(evaluationTable(settings, e).contains("1 shots withheld"));
}

namespace {

// The phantom: a 10 x 8 px stone moving 25 px up and down about (120, 120)
// every 3.43 s, at 40 frames a second so that the replay's 25 ms ticks show
// one frame each on the video's own time. The 397 ms shot period of 151
// shots a minute and the breath are in no small whole-number ratio, nor is
// the breath a whole number of ticks, so that the shots' phases spread evenly
// over the breath.
constexpr double amplitude = 25.0;
constexpr double breathSeconds = 3.43;
constexpr double focalHalfHeight = 10.0; // the default 20 x 20 focal area
constexpr double markedHalfHeight = 8.5; // the 21 x 17 marked region
constexpr double fps = 40.0;
constexpr int frames = 4000; // 100 s: about 250 shots

// The share of shots on the stone that the man page derives: a fixed focus
// centred on the motion, and a focus that follows with latency `tauSeconds`
// and no prediction; `reach` is the focal area's half-height plus the
// stone's.
double fixedFocusShare(double reach) {
    return reach >= amplitude ? 1.0 : 2.0 / std::numbers::pi * std::asin(reach / amplitude);
}

double followingShare(double reach, double tauSeconds) {
    const double d = 2.0 * amplitude * std::sin(std::numbers::pi * tauSeconds / breathSeconds);
    return d <= reach ? 1.0 : 2.0 / std::numbers::pi * std::asin(reach / d);
}

// Three standard errors of a binomial share of `shots` at `share`, and one
// shot for the count being whole.
double binomialTolerance(double share, double shots) {
    return 3.0 * std::sqrt(share * (1.0 - share) / shots) + 1.0 / shots;
}

void expectShare(const QJsonObject& tally, double expected, const char* what) {
    const double shots = tally["shots_fired"].toDouble();
    ASSERT_GT(shots, 200) << what;
    const double share = tally["shots_on_stone"].toDouble() / shots;
    EXPECT_NEAR(share, expected, binomialTolerance(expected, shots))
        << what << ": " << tally["shots_on_stone"].toInt() << " of " << shots;
}

} // namespace

TEST(FiringStrategies, ASinusoidalPhantomGivesTheClosedFormShares) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.width = 240;
    spec.height = 180;
    spec.fps = fps;
    spec.frames = frames;
    spec.seed = 36;
    spec.stone = sinusoidalPath({{120.0, 120.0}, {0.0, amplitude}, breathSeconds, 0.0}, fps);
    ASSERT_TRUE(writeSyntheticVideo("phantom.avi", "phantom.csv", spec));

    const struct {
        const char* name;
        QStringList stone;
        double stoneHalfHeight;
    } stones[] = {{"point", {"--stone-size", "0,0"}, 0.0},
                  {"the marked region's size", {}, markedHalfHeight}};
    for (const auto& stone : stones) {
        SCOPED_TRACE(stone.name);
        const ProgramOutput run =
            runToEnd(TESSAVOLANT_REPLAY_BINARY,
                     QStringList{"--select", "110,112,21,17", "--focal", "110,110", "--roi",
                                 "20,70", "--rate", "151", "--truth", "phantom.csv", "--report",
                                 "report.json", "--latency-sweep", "0:300:100", "--log",
                                 "replay.log", "--quiet", "phantom.avi"} +
                         stone.stone,
                     300000);
        ASSERT_EQ(run.exitCode, 0) << run.errors.constData();
        const QJsonObject report = QJsonDocument::fromJson(readBytes("report.json")).object();
        EXPECT_EQ(report["settings"].toObject()["stone_size_px"].toObject()["height"].toDouble(),
                  2 * stone.stoneHalfHeight);
        const double reach = focalHalfHeight + stone.stoneHalfHeight;
        for (const QJsonValue& value : report["sweep"].toArray()) {
            const QJsonObject point = value.toObject();
            const int latencyMs = point["latency_ms"].toInt();
            if (point["predict"].toString() != "none" || latencyMs == 200) {
                continue;
            }
            SCOPED_TRACE(testing::Message() << latencyMs << " ms");
            const QJsonObject following = point["following"].toObject();
            expectShare(point["without_tracking"].toObject(), fixedFocusShare(reach),
                        "fixed focus");
            expectShare(following, followingShare(reach, latencyMs / 1000.0), "following");
            EXPECT_EQ(following["shots_withheld"].toInt(), 0);
            EXPECT_EQ(following["shots_fired"],
                      point["without_tracking"].toObject()["shots_fired"]);
            if (latencyMs == 0 && stone.stoneHalfHeight > 0) {
                // Fired on the tracked centre, within a pixel of the truth.
                const QJsonObject gating = point["with_tracking"].toObject();
                EXPECT_EQ(gating["shots_on_stone"], gating["shots_fired"]);
            }
        }
    }
}
