// SPDX-License-Identifier: GPL-3.0-or-later
// The figures that say how far a run can be trusted: the 95 % intervals of
// the shot efficiencies and their gain against published values, the
// warnings of a run, and the settings taken from the marked region.

#include "evaluation/proportionIntervals.h"
#include "evaluation/runWarnings.h"
#include "evaluation/figureText.h"
#include "tracking/processedRegion.h"

#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

// Wilson's intervals as Newcombe (1998, Statistics in Medicine 17:857, table
// I, method 3) gives them, and one by hand: 29 of 29 is [n / (n + z²), 1].
TEST(ProportionIntervals, WilsonIntervalsAreThePublishedOnes) {
    const struct {
        std::int64_t x, n;
        double low, high;
    } cases[] = {{81, 263, 0.2553, 0.3662},
                 {15, 148, 0.0624, 0.1605},
                 {0, 20, 0.0, 0.1611},
                 {1, 29, 0.0061, 0.1718},
                 {29, 29, 0.8830, 1.0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x << " of " << c.n);
        const std::optional<Interval> interval = wilsonInterval(c.x, c.n);
        ASSERT_TRUE(interval);
        EXPECT_NEAR(interval->low, c.low, 5e-5);
        EXPECT_NEAR(interval->high, c.high, 5e-5);
    }
    EXPECT_EQ(wilsonInterval(0, 20)->low, 0.0);
    EXPECT_EQ(wilsonInterval(29, 29)->high, 1.0);
    EXPECT_FALSE(wilsonInterval(0, 0));
    EXPECT_FALSE(wilsonInterval(3, 2));
}

// Newcombe (1998, Statistics in Medicine 17:873, table II, method 10): his
// eight worked examples of two independent proportions.
TEST(ProportionIntervals, TheGainsIntervalIsNewcombesHybridScoreInterval) {
    const struct {
        std::int64_t x1, n1, x2, n2;
        double low, high;
        GainVerdict verdict;
    } cases[] = {
        {56, 70, 48, 80, 0.0524, 0.3339, GainVerdict::Helps},
        {9, 10, 3, 10, 0.1705, 0.8090, GainVerdict::Helps},
        {6, 7, 2, 7, 0.0582, 0.8062, GainVerdict::Helps},
        {5, 56, 0, 29, -0.0381, 0.1926, GainVerdict::CannotTell},
        {0, 10, 0, 20, -0.1611, 0.2775, GainVerdict::CannotTell},
        {0, 10, 0, 10, -0.2775, 0.2775, GainVerdict::CannotTell},
        {10, 10, 0, 20, 0.6791, 1.0, GainVerdict::Helps},
        {10, 10, 0, 10, 0.6075, 1.0, GainVerdict::Helps},
        // The same the other way round: the interval mirrored, tracking hurts.
        {48, 80, 56, 70, -0.3339, -0.0524, GainVerdict::Hurts},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.x1 << "/" << c.n1 << " - " << c.x2 << "/" << c.n2);
        const std::optional<Interval> gain = newcombeDifferenceInterval(c.x1, c.n1, c.x2, c.n2);
        ASSERT_TRUE(gain);
        EXPECT_NEAR(gain->low, c.low, 5e-5);
        EXPECT_NEAR(gain->high, c.high, 5e-5);
        EXPECT_EQ(gainVerdict(gain), c.verdict);
    }
    EXPECT_FALSE(newcombeDifferenceInterval(3, 5, 0, 0));
    EXPECT_EQ(gainVerdict(std::nullopt), GainVerdict::CannotTell);
    EXPECT_EQ(gainIntervalText(Interval{-0.0381, 0.1926}), "-3.8 to +19.3 points");
    EXPECT_EQ(percentIntervalText(Interval{0.2553, 0.3662}), "25.5 to 36.6 %");
}

// A run that every warning passes, and the one change that brings each.
TEST(RunWarnings, EachReasonNotToTrustARunIsSaidOnce) {
    RunSettings clean;
    clean.roi = {100, 100};
    clean.roiSize = {200, 100};
    clean.selection = {180, 140, 20, 16};
    Evaluation good;
    good.truthInPlaneTicks = good.heldTicks = good.recordHits = 300;
    good.tracking = {40, 30};
    good.fixedFocus = {40, 12};
    good.trackMotion.peakToPeakPx = 20.0;
    good.truthMotion.peakToPeakPx = 25.0;
    const struct {
        const char* name;
        std::function<void(RunSettings&, Evaluation&)> change;
        const char* said; // empty: no warning
    } cases[] = {
        {"nothing wrong", [](RunSettings&, Evaluation&) {}, ""},
        {"mark partly outside", [](RunSettings& s, Evaluation&) { s.selection.x = 290; },
         "lies partly outside the processed region (100,100 200 x 100)"},
        {"mark wholly outside", [](RunSettings& s, Evaluation&) { s.selection.y = 300; },
         "lies wholly outside"},
        {"few shots with tracking",
         [](RunSettings&, Evaluation& e) {
             e.tracking = {19, 15};
         },
         "With tracking only 19 shots were fired (fewer than 20): the shot efficiency's 95 % "
         "interval is 56.7 to 91.5 %"},
        {"no shot of the fixed focus", [](RunSettings&, Evaluation& e) { e.fixedFocus = {}; },
         "With the fixed focus no shot was fired"},
        {"never held",
         [](RunSettings&, Evaluation& e) {
             e.heldTicks = e.recordHits = 0;
             e.trackMotion.peakToPeakPx.reset();
         },
         "The tracker never held the stone"},
        {"track still", [](RunSettings&, Evaluation& e) { e.trackMotion.peakToPeakPx = 12.4; },
         "The track moved 12.4 px peak to peak, less than half the truth's 25.0 px"},
        {"calibration", [](RunSettings& s, Evaluation&) { s.recordingWarnings << "Wrong size."; },
         "Wrong size."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RunSettings settings = clean;
        Evaluation evaluation = good;
        c.change(settings, evaluation);
        const QStringList warnings = runWarnings(settings, evaluation);
        if (QString(c.said).isEmpty()) {
            EXPECT_TRUE(warnings.isEmpty()) << warnings.join('\n').toStdString();
            continue;
        }
        ASSERT_EQ(warnings.size(), 1) << warnings.join('\n').toStdString();
        EXPECT_TRUE(warnings.front().contains(QString::fromUtf8(c.said)))
            << warnings.front().toStdString();
    }
}

TEST(SettingsFromTheMark, TheRegionOfInterestIsCentredOnTheMarkInsideThePicture) {
    const cv::Size roi(200, 100);
    const struct {
        cv::Rect mark;
        cv::Size frame;
        cv::Point topLeft;
    } cases[] = {
        {{300, 200, 20, 20}, {640, 480}, {210, 160}}, // centred
        {{10, 5, 20, 20}, {640, 480}, {0, 0}},        // held at the top left
        {{600, 460, 20, 18}, {640, 480}, {440, 380}}, // and at the bottom right
        {{100, 100, 10, 10}, {150, 80}, {0, 0}},      // a picture smaller than the region
    };
    for (const auto& c : cases) {
        EXPECT_EQ(regionCentredOn(c.mark, roi, c.frame), c.topLeft) << c.mark;
        const cv::Rect processed = processedRegion(c.topLeft, roi, c.frame);
        EXPECT_EQ(processed & cv::Rect({0, 0}, c.frame), processed);
    }
}

// A bright object in a box marked around it, on speckle-like tissue with
// bright spots elsewhere: the level lies in the middle of the gap between the
// tissue and the object.
TEST(SettingsFromTheMark, TheLevelTellsTheMarkedObjectFromItsSurroundings) {
    cv::Mat plane(100, 200, CV_8UC1);
    cv::RNG random(7);
    random.fill(plane, cv::RNG::UNIFORM, 30, 140);
    plane(cv::Rect(20, 20, 4, 4)).setTo(250);
    const cv::Rect stone(95, 45, 12, 10);
    random.fill(plane(stone), cv::RNG::UNIFORM, 190, 235);
    const cv::Rect mark(88, 38, 26, 24);
    const std::optional<int> level = levelSeparatingMark(plane, mark);
    ASSERT_TRUE(level);
    EXPECT_NEAR(*level, (139 + 190) / 2, 3);
    // Tissue whose values reach into the object's: the level still keeps
    // most of the object on and most of the tissue off.
    random.fill(plane(mark), cv::RNG::NORMAL, 100, 30);
    random.fill(plane(stone), cv::RNG::NORMAL, 200, 20);
    const std::optional<int> overlapping = levelSeparatingMark(plane, mark);
    ASSERT_TRUE(overlapping);
    EXPECT_GT(*overlapping, 130);
    EXPECT_LT(*overlapping, 170);
    EXPECT_FALSE(levelSeparatingMark(plane, cv::Rect(300, 10, 10, 10)));
}

} // namespace
