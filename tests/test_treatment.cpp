// SPDX-License-Identifier: GPL-3.0-or-later
// The treatment side of the tracking tick: whether the stone is in the imaging
// plane, shot intervals, hits and the shot clock, the colour of the focal area,
// and the summary that the window writes when it is destroyed.

#include "app/MainWindow.h"
#include "log/ticks.h"
#include "simulation/aimPrediction.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QLCDNumber>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Rows 1, 2 and 4 and the empty line after row 4.
constexpr int startUpLines = 4;

const cv::Vec3b green(0, 255, 0);
const cv::Vec3b red(0, 0, 255);

// A stone that lies still at (210, 210): inside the default focal area
// (200..220 on both axes) and the default region of interest.
SyntheticVideoSpec stillStoneVideo() {
    SyntheticVideoSpec video;
    video.frames = 12;
    video.stone = [](int) { return StoneState{210.0, 210.0, 1.0}; };
    return video;
}

class TreatmentTest : public testing::Test {
  protected:
    void SetUp() override { video = writeVideo(directory.file("stone.avi"), stillStoneVideo()); }

    // A window on the test video with its frame clock stopped: the test ticks.
    std::unique_ptr<MainWindow> openWindow() {
        auto window = openWindowForTicking(video);
        EXPECT_TRUE(window->isReady());
        return window;
    }

    // The lines written since start-up.
    static QList<QByteArray> eventLines() { return logLines().mid(startUpLines); }

    // One tracking tick as the frame cycle hands it over: mean shift found
    // `area` in a window centred on (x, y).
    static void trackingTick(MainWindow& window, double area, int x, int y) {
        window.trackComp.area = area;
        window.trackCenterX = x;
        window.trackCenterY = y;
        window.updatePlaneAndIntervals();
    }

    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    QString video;
};

// ---------------------------------------------------------------------------
// Plane state, hit test, shot intervals and shot clock, tick by tick

// What a tick's assertion compares a tick reading of the window with.
enum class Tick { unchecked, atOpening, now };

// One step of a script: a tracking tick `ms` after the step before (mean shift
// found `area` in a window centred on (x, y)), `times` over, or, where `act` is
// set, what the user does at the moment of the step before. The optional
// fields are what the window must show after each.
struct Step {
    double ms = 25;
    std::function<void(MainWindow&)> act = {};
    double area = 255;
    int x = 210, y = 210; // on the default focal area
    int times = 1;
    std::optional<int> inPlane = {}, interval = {}, onFocalArea = {}, shots = {},
                       displayUpdates = {};
    Tick outOfPlaneSince = Tick::unchecked, lastShotAt = Tick::unchecked;
};

struct TickScript {
    const char* name;
    std::vector<Step> steps;
    // The lines written after start-up, every byte; unchecked where the row is
    // about the hit test alone.
    std::optional<QList<QByteArray>> log = {};
    // Opened through the file dialog, which stays open this long.
    std::optional<double> dialogMs = {};
};

void PrintTo(const TickScript& script, std::ostream* out) {
    *out << script.name;
}

const std::function<void(MainWindow&)> startLogging = [](MainWindow& window) {
    window.startLoggButtonClicked();
};

// Placed and sized through the controls, 300..330 by 150..160: the
// rectangle's own corner stays at the start-up place (200, 200) and must not
// count.
void placeAFlatFocalArea(MainWindow& window) {
    window.moveBrennpunktXSlider(300);
    window.moveBrennpunktYSlider(150);
    window.endreBrennpunktXBox(30);
    window.endreBrennpunktYbox(10);
}

void gateMarginOf2AndAHalfPixels(MainWindow& window) {
    window.gateMarginPx = 2.5;
}

std::function<void(MainWindow&)> shotsPerMinute(int rate) {
    return [rate](MainWindow& window) { window.endreSkuddFrekvens(rate); };
}

// What the user does, at the moment of the step before.
Step user(std::function<void(MainWindow&)> does) {
    return {.act = std::move(does)};
}
// A tracking tick on (x, y) 25 ms after the step before that must be, or must
// not be, a hit.
Step hit(int x, int y) {
    return {.x = x, .y = y, .onFocalArea = 1};
}
Step miss(int x, int y) {
    return {.x = x, .y = y, .onFocalArea = 0};
}
// A tracking tick on the focal area that found `area`, `ms` after the step before.
Step at(double ms, double area = 255) {
    return {.ms = ms, .area = area};
}

const TickScript tickScripts[] = {
    {"TheFirstEntryIsMeasuredFromStartUpAndStampedInSinglePrecision",
     {user(startLogging), {.ms = 123456, .x = 400, .y = 400, .inPlane = 1}, {.x = 400, .y = 400}},
     // The stamp goes through single precision, the duration does not.
     QList<QByteArray>{"123.456001: Inn i planet. Var ute av plan i 123.456000 sekunder"}},
    {"ThePlaneClockStartsAfterTheFileDialogAndTheShotClockBeforeIt",
     {user(startLogging), {.ms = 2000}},
     QList<QByteArray>{
         "6.000000: Inn i planet. Var ute av plan i 2.000000 sekunder",
         "6.000000: Skudd intervall starter",
         "6.000000: Skudd treffer. Det er 6000 millisekunder siden forrige treff",
     },
     4000},
    {"EmptyWindowsBeforeAnyEntryWriteNothing", // on the focal area, but nothing there
     {user(startLogging),
      {.ms = 1000,
       .area = 0,
       .times = 5,
       .inPlane = 0,
       .interval = 0,
       .shots = 0,
       .outOfPlaneSince = Tick::atOpening}},
     QList<QByteArray>{}},
    {"LeavingThePlaneRestartsTheOutOfPlaneClock",
     {user(startLogging),
      {.ms = 1000, .area = 12, .x = 400, .y = 400},
      {.ms = 1500, .area = 12, .x = 400, .y = 400},
      {.ms = 0, .area = 0, .x = 400, .y = 400, .inPlane = 0, .outOfPlaneSince = Tick::now},
      {.ms = 1000, .area = 0, .x = 400, .y = 400},
      {.ms = 750, .area = 3, .x = 400, .y = 400, .inPlane = 1},
      // From 16 s on, single precision shows in the stamp of the entry only.
      {.ms = 16001 - 4250, .area = 0, .x = 400, .y = 400},
      {.ms = 1000, .area = 40, .x = 400, .y = 400}},
     QList<QByteArray>{
         "1.000000: Inn i planet. Var ute av plan i 1.000000 sekunder",
         "2.500000: Ut av planet",
         "4.250000: Inn i planet. Var ute av plan i 1.750000 sekunder",
         "16.001000: Ut av planet",
         "17.000999: Inn i planet. Var ute av plan i 1.000000 sekunder",
     }},
    // The gate is all that holds it back: four seconds have passed since
    // start-up when logging starts.
    {"BeforeLoggingStartsNothingIsLoggedOrCounted",
     {at(1000),
      at(0, 0),
      at(1000),
      at(0, 0),
      at(1000),
      at(0, 0),
      at(1000),
      {.ms = 0, .area = 0, .inPlane = 0, .interval = 0, .onFocalArea = 0, .shots = 0},
      // Nothing was shown and the shot clock never moved up to this moment.
      {.act = startLogging, .displayUpdates = 0, .lastShotAt = Tick::atOpening},
      {.displayUpdates = 1}},
     QList<QByteArray>{
         "4.025000: Inn i planet. Var ute av plan i 4.025000 sekunder",
         "4.025000: Skudd intervall starter",
         "4.025000: Skudd treffer. Det er 4025 millisekunder siden forrige treff",
     }},
    {"TheFocalAreaIncludesItsRightAndBottomEdges",
     {user(placeAFlatFocalArea), user(startLogging), hit(300, 150), hit(330, 160), hit(330, 150),
      hit(300, 160), hit(315, 155), miss(299, 155), miss(331, 155), miss(315, 149), miss(315, 161),
      miss(331, 161), miss(210, 210), miss(200, 200)}},
    // A window with a fraction of a pixel in it still counts as in the plane.
    {"TheAreaIsRoundedToEvenBeforeTheHitTest",
     {user(startLogging),
      {.area = 0.4, .onFocalArea = 0},
      {.area = 0.6, .onFocalArea = 1},
      {.area = 0.5, .onFocalArea = 0},
      {.area = 1.5, .onFocalArea = 1},
      {.area = 2.5, .onFocalArea = 1},
      {.area = 0.0, .onFocalArea = 0}},
     QList<QByteArray>{
         "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
         "0.050000: Skudd intervall starter",
         "0.100000: Skudd intervall slutter",
         "0.100000: Skudd intervall starter",
         "0.150000: Ut av planet",
     }},
    // A simulated lithotripter's gate: the aim must lie the margin inside
    // every edge of the default focal area (200..220 on both axes).
    {"TheGateMarginKeepsHitsOffTheFocalAreasEdges",
     {user(gateMarginOf2AndAHalfPixels), user(startLogging), hit(203, 203), hit(217, 217),
      hit(210, 210), miss(202, 210), miss(218, 210), miss(210, 202), miss(210, 218),
      miss(200, 200)}},
    {"HitMissHitClosesAndReopensTheIntervalInOneTick",
     {user(startLogging), {}, {.x = 250}, {.interval = 1}},
     QList<QByteArray>{
         "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
         "0.025000: Skudd intervall starter",
         "0.075000: Skudd intervall slutter",
         "0.075000: Skudd intervall starter",
     }},
    {"AnIntervalOfOneHitEndsOnTheSecondTickAfterIt",
     {user(startLogging),
      {},
      {.x = 250, .y = 250, .interval = 1},
      {.x = 250, .y = 250, .times = 2, .interval = 0}},
     QList<QByteArray>{
         "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
         "0.025000: Skudd intervall starter",
         "0.075000: Skudd intervall slutter",
     }},
    {"AnEmptyWindowOnTheFocalAreaLeavesThePlaneAndIsNoHit",
     {user(startLogging),
      {},
      {.area = 0, .interval = 1, .onFocalArea = 0},
      {.area = 0, .displayUpdates = 1}},
     QList<QByteArray>{
         "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
         "0.025000: Skudd intervall starter",
         "0.050000: Ut av planet",
         "0.075000: Skudd intervall slutter",
     }},
    {"AtOneHundredPerMinuteAShotNeedsSixHundredWholeMilliseconds",
     {user(startLogging),
      {.ms = 599, .shots = 0},
      {.ms = 1, .shots = 1, .lastShotAt = Tick::now},
      {.ms = 599.999, .shots = 1}, // 599 whole milliseconds
      {.ms = 0.001, .shots = 2}},  // one microsecond more
     QList<QByteArray>{
         "0.599000: Inn i planet. Var ute av plan i 0.599000 sekunder",
         "0.599000: Skudd intervall starter",
         "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff",
         "1.200000: Skudd treffer. Det er 600 millisekunder siden forrige treff",
     }},
    // The rate is logged even before logging has been started.
    {"AtSeventyPerMinute857MillisecondsAreNotEnoughBut858Are",
     {user(shotsPerMinute(70)), user(startLogging), at(857), at(1), at(857), {.ms = 1, .shots = 2}},
     QList<QByteArray>{
         "0.000000: Skuddfrekvens endret til 857.142883ms og 70skudd per min",
         "0.857000: Inn i planet. Var ute av plan i 0.857000 sekunder",
         "0.857000: Skudd intervall starter",
         "0.858000: Skudd treffer. Det er 858 millisekunder siden forrige treff",
         "1.716000: Skudd treffer. Det er 858 millisekunder siden forrige treff",
     }},
    {"ChangingTheRateMovesTheNextShotButNotTheCount",
     {user(startLogging),
      at(600),
      at(400),
      {.act = shotsPerMinute(160), .shots = 1}, // 375 ms: already past
      {},
      user(shotsPerMinute(40)), // 1500 ms
      at(1475),
      {.shots = 3}},
     QList<QByteArray>{
         "0.600000: Inn i planet. Var ute av plan i 0.600000 sekunder",
         "0.600000: Skudd intervall starter",
         "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff",
         "1.000000: Skuddfrekvens endret til 375.000000ms og 160skudd per min",
         "1.025000: Skudd treffer. Det er 425 millisekunder siden forrige treff",
         "1.025000: Skuddfrekvens endret til 1500.000000ms og 40skudd per min",
         "2.525000: Skudd treffer. Det er 1500 millisekunder siden forrige treff",
     }},
};

class TickScriptTest : public TreatmentTest, public testing::WithParamInterface<TickScript> {
  protected:
    std::unique_ptr<MainWindow> openAsTheScriptSays() {
        if (!GetParam().dialogMs) {
            return openWindow();
        }
        answerFileDialog(video, [this](QFileDialog&) { clock.advanceMs(*GetParam().dialogMs); });
        auto window = std::make_unique<MainWindow>();
        EXPECT_TRUE(window->isReady());
        window->timer->stop();
        return window;
    }

    void expectTick(Tick expected, std::int64_t tick, std::int64_t atOpening, const char* what) {
        if (expected != Tick::unchecked) {
            EXPECT_EQ(tick, expected == Tick::now ? clock.now() : atOpening) << what;
        }
    }
};

// Every tick also keeps two rules: the aim is the tracked centre (no
// predictor), and the focal area is drawn green exactly on a hit tick (the
// frame cycle clears the mark after every tick).
TEST_P(TickScriptTest, LogsAndStateFollowTheTicks) {
    auto window = openAsTheScriptSays();
    ASSERT_TRUE(window->isReady());
    QSignalSpy lcd(window.get(), &MainWindow::updateSkuddLcd);
    const std::int64_t outOfPlaneAtOpening = window->utAvPlanTick;
    const std::int64_t lastShotAtOpening = window->lastSkuddTick;
    int stepNumber = 0;
    for (const Step& step : GetParam().steps) {
        ++stepNumber;
        for (int time = 1; time <= step.times; ++time) {
            SCOPED_TRACE(testing::Message() << "step " << stepNumber << ", time " << time);
            if (step.act) {
                step.act(*window);
            } else {
                clock.advanceMs(step.ms);
                trackingTick(*window, step.area, step.x, step.y);
                EXPECT_EQ(window->aimX, step.x);
                EXPECT_EQ(window->aimY, step.y);
                EXPECT_EQ(window->brennpunktDrawn, window->inBrennpunkt);
                window->brennpunktDrawn = 0;
            }
            const auto expect = [](std::optional<int> expected, int actual, const char* what) {
                if (expected) {
                    EXPECT_EQ(actual, *expected) << what;
                }
            };
            expect(step.inPlane, window->inPlane, "in the plane");
            expect(step.interval, window->inSkuddIntervall, "in a shot interval");
            expect(step.onFocalArea, window->inBrennpunkt, "on the focal area");
            expect(step.shots, window->antallSkudd, "shots");
            expect(step.displayUpdates, static_cast<int>(lcd.count()), "display updates");
            expectTick(step.outOfPlaneSince, window->utAvPlanTick, outOfPlaneAtOpening,
                       "out of the plane since");
            expectTick(step.lastShotAt, window->lastSkuddTick, lastShotAtOpening, "last shot at");
        }
    }
    if (GetParam().log) {
        EXPECT_EQ(eventLines(), *GetParam().log);
    }
}

INSTANTIATE_TEST_SUITE_P(Treatment, TickScriptTest, testing::ValuesIn(tickScripts),
                         [](const testing::TestParamInfo<TickScript>& info) {
                             return std::string(info.param.name);
                         });

// A predictor that puts the aim 15 px to the right of the tracked centre, and
// notes what it was given.
class RightOfTheCentre : public AimPredictor {
  public:
    cv::Point2d aim(double seconds, cv::Point2d centre, bool inPlane) override {
        given.push_back({seconds, inPlane});
        return centre + cv::Point2d(15, 0);
    }
    std::vector<std::pair<double, bool>> given;
};

TEST_F(TreatmentTest, WithAPredictorTheHitTestWeighsItsAimNotTheTrackedCentre) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    auto owned = std::make_unique<RightOfTheCentre>();
    RightOfTheCentre& predictor = *owned;
    window->aimPredictor = std::move(owned);
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210); // aimed at 225: off the area
    EXPECT_EQ(window->inBrennpunkt, 0);
    EXPECT_EQ(window->aimX, 225.0);
    clock.advanceMs(25);
    trackingTick(*window, 255, 195, 210); // aimed at 210: a hit
    EXPECT_EQ(window->inBrennpunkt, 1);
    clock.advanceMs(25);
    trackingTick(*window, 0, 195, 210); // empty window: told so, and no hit
    EXPECT_EQ(window->inBrennpunkt, 0);
    ASSERT_EQ(predictor.given.size(), 3u);
    EXPECT_NEAR(predictor.given[1].first - predictor.given[0].first, 0.025, 1e-9)
        << "the run's clock";
    EXPECT_TRUE(predictor.given[1].second);
    EXPECT_FALSE(predictor.given[2].second);
}

TEST_F(TreatmentTest, HitsOnConsecutiveTicksShareOneIntervalAndRefreshTheDisplayEachTick) {
    auto window = openWindow();
    QSignalSpy lcd(window.get(), &MainWindow::updateSkuddLcd);
    window->startLoggButtonClicked();
    QList<int> expectedCounts;
    for (int tick = 1; tick <= 52; ++tick) { // 25 ms .. 1300 ms
        clock.advanceMs(25);
        trackingTick(*window, 255, 210, 210);
        expectedCounts.append(tick * 25 >= 1200 ? 2 : tick * 25 >= 600 ? 1 : 0);
    }
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
                                "0.025000: Skudd intervall starter",
                                "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige "
                                "treff",
                                "1.200000: Skudd treffer. Det er 600 millisekunder siden forrige "
                                "treff",
                            }));
    // Every hit tick reports the count, whether or not a shot was fired on it.
    QList<int> reported;
    for (const QList<QVariant>& arguments : lcd) {
        reported.append(arguments.at(0).toInt());
    }
    EXPECT_EQ(reported, expectedCounts);
    EXPECT_EQ(window->ui->lcdSkudd->intValue(), 2);
    EXPECT_EQ(window->inSkuddIntervall, 1);
}

// ---------------------------------------------------------------------------
// Focal area on the frame, through the frame cycle

class FocalAreaColourTest : public TreatmentTest {
  protected:
    // The focal area's left edge at mid-height, where the rectangle is drawn
    // at full strength.
    static cv::Vec3b leftEdge(const MainWindow& window) {
        return window.frame.at<cv::Vec3b>(window.brennpunktY + window.brennpunktRect.height / 2,
                                          window.brennpunktX);
    }
};

TEST_F(FocalAreaColourTest, TheFocalAreaTurnsGreenOnHitTicksOnly) {
    auto window = openWindow();
    QSignalSpy lcd(window.get(), &MainWindow::updateSkuddLcd);
    window->StartButtonClicked();
    window->dataScene->handedOver = QRect(QPoint(198, 200), QPoint(221, 219));
    window->dataScene->selectionState = -1;
    const auto tick = [&] {
        clock.advanceMs(25);
        window->OpenCVMeanShift();
    };

    tick(); // tracking, but logging is off
    ASSERT_GT(window->trackComp.area, 0);
    ASSERT_NEAR(window->trackCenterX, 210, 3);
    ASSERT_NEAR(window->trackCenterY, 210, 3);
    EXPECT_EQ(leftEdge(*window), red);
    EXPECT_EQ(lcd.count(), 0);

    window->startLoggButtonClicked();
    tick();
    EXPECT_EQ(leftEdge(*window), green);
    EXPECT_EQ(window->brennpunktDrawn, 0); // cleared for the next tick
    tick();
    EXPECT_EQ(leftEdge(*window), green); // a hit tick without a new shot
    EXPECT_EQ(lcd.count(), 2);

    window->moveBrennpunktXSlider(400);
    tick();
    EXPECT_EQ(leftEdge(*window), red);
    EXPECT_NE(window->frame.at<cv::Vec3b>(210, 200), green);
    EXPECT_EQ(lcd.count(), 2);
}

// ---------------------------------------------------------------------------
// Summary at exit

class SummaryTest : public TreatmentTest {
  protected:
    // Plays, starts logging and marks the stone; the first tick starts the
    // tracking period. The focal area is moved off the stone so that no shot
    // is fired.
    void startTracking(MainWindow& window) {
        window.moveBrennpunktXSlider(500);
        window.StartButtonClicked();
        window.startLoggButtonClicked();
        window.dataScene->handedOver = QRect(QPoint(198, 200), QPoint(221, 219));
        window.dataScene->selectionState = -1;
        window.OpenCVMeanShift();
        ASSERT_EQ(window.trackingStarted, 1);
    }
};

TEST_F(SummaryTest, ShotsWithoutTrackingUseTheRateInForceAtExitAndTruncate) {
    struct Case {
        int rate;
        int changedTo; // 0: no change during the run
        int trackingMs;
        QByteArray row12;
        QByteArray row13;
    };
    const Case cases[] = {
        {100, 0, 60000,
         "60.000000: Totalt skudd i tracking periode uten tracking med 100 skudd per min er 100 "
         "p\xE5  60.000000 sekunder",
         "60.000000 : P\xE5 denne tiden ble 0 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5"},
        {100, 0, 59999,
         "59.999000: Totalt skudd i tracking periode uten tracking med 100 skudd per min er 99 "
         "p\xE5  59.999001 sekunder",
         "59.999001 : P\xE5 denne tiden ble 0 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5"},
        {70, 0, 60000,
         "60.000000: Totalt skudd i tracking periode uten tracking med 70 skudd per min er 69 "
         "p\xE5  60.000000 sekunder",
         "60.000000 : P\xE5 denne tiden ble 0 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5"},
        {100, 160, 60000,
         "60.000000: Totalt skudd i tracking periode uten tracking med 160 skudd per min er 160 "
         "p\xE5  60.000000 sekunder",
         "60.000000 : P\xE5 denne tiden ble 0 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << c.rate << " -> " << c.changedTo << " per min, " << c.trackingMs << " ms");
        {
            auto window = openWindow();
            if (c.rate != 100) {
                window->endreSkuddFrekvens(c.rate);
            }
            startTracking(*window);
            clock.advanceMs(c.trackingMs / 3);
            if (c.changedTo != 0) {
                window->endreSkuddFrekvens(c.changedTo);
            }
            clock.advanceMs(c.trackingMs - c.trackingMs / 3);
        }
        const QList<QByteArray> lines = logLines();
        ASSERT_GE(lines.size(), 3);
        EXPECT_EQ(lines[lines.size() - 3], c.row12);
        EXPECT_EQ(lines[lines.size() - 2], c.row13);
        EXPECT_TRUE(lines.last().endsWith(": Programmet avsluttet"));
    }
}

TEST_F(SummaryTest, TheSummaryRowsAreWrittenByteForByte) {
    struct Case {
        int startMs;
        int hits;
        QByteArray tail;
    };
    const Case cases[] = {
        {15500, 42,
         "75.500000: Totalt skudd i tracking periode uten tracking med 100 skudd per min er 100 "
         "p\xE5  60.000000 sekunder\n"
         "75.500000 : P\xE5 denne tiden ble 42 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5\n"
         "75.500000: Programmet avsluttet\n"},
        // One tick reading, printed at full and at single precision.
        {1174567, 7,
         "1234.567000: Totalt skudd i tracking periode uten tracking med 100 skudd per min er 100 "
         "p\xE5  60.000000 sekunder\n"
         "1234.567017 : P\xE5 denne tiden ble 7 skudd gjennomf\xF8rt i brennpunkt med tracking "
         "p\xE5\n"
         "1234.567000: Programmet avsluttet\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startMs);
        {
            auto window = openWindow();
            clock.advanceMs(c.startMs);
            startTracking(*window);
            clock.advanceMs(60000);
            window->antallSkudd = c.hits;
        }
        const QByteArray log = readBytes("loggfile.txt");
        EXPECT_TRUE(log.endsWith(c.tail)) << log.right(c.tail.size()).constData();
    }
}

TEST_F(SummaryTest, WithoutTrackingThereIsNoSummaryButTheLastLineStands) {
    const auto markStone = [](MainWindow& window) {
        window.dataScene->handedOver = QRect(QPoint(198, 200), QPoint(221, 219));
        window.dataScene->selectionState = -1;
    };
    struct Case {
        const char* name;
        std::function<void(MainWindow&)> setUp;
    };
    const Case cases[] = {
        {"logging never started",
         [&](MainWindow& window) {
             window.StartButtonClicked();
             markStone(window);
         }},
        {"no region marked while logging",
         [&](MainWindow& window) {
             window.StartButtonClicked();
             window.startLoggButtonClicked();
         }},
        {"region marked and logging on, but never played",
         [&](MainWindow& window) {
             window.startLoggButtonClicked();
             markStone(window);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        {
            auto window = openWindow();
            c.setUp(*window);
            for (int i = 0; i < 4; ++i) {
                clock.advanceMs(25);
                window->OpenCVMeanShift();
            }
            EXPECT_EQ(window->trackingStarted, 0);
            clock.advanceMs(900);
        }
        const QList<QByteArray> lines = logLines();
        ASSERT_EQ(lines.size(), startUpLines + 1);
        EXPECT_EQ(lines.last(), "1.000000: Programmet avsluttet");
    }
}

} // namespace
