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
// Plane state

TEST_F(TreatmentTest, TheFirstEntryIsMeasuredFromStartUpAndStampedInSinglePrecision) {
    auto window = openWindow();
    clock.advanceMs(123456);
    window->startLoggButtonClicked();
    trackingTick(*window, 255, 400, 400);
    // The stamp of this row goes through single precision, the duration does not.
    EXPECT_EQ(eventLines(),
              QList<QByteArray>{"123.456001: Inn i planet. Var ute av plan i 123.456000 sekunder"});
    EXPECT_EQ(window->inPlane, 1);

    clock.advanceMs(25);
    trackingTick(*window, 255, 400, 400);
    EXPECT_EQ(eventLines().size(), 1);
}

TEST_F(TreatmentTest, ThePlaneClockStartsAfterTheFileDialogAndTheShotClockBeforeIt) {
    answerFileDialog(video, [this](QFileDialog&) { clock.advanceMs(4000); });
    MainWindow window;
    ASSERT_TRUE(window.isReady());
    window.timer->stop();
    clock.advanceMs(2000);
    window.startLoggButtonClicked();
    trackingTick(window, 255, 210, 210);
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "6.000000: Inn i planet. Var ute av plan i 2.000000 sekunder",
                                "6.000000: Skudd intervall starter",
                                "6.000000: Skudd treffer. Det er 6000 millisekunder siden forrige "
                                "treff",
                            }));
}

TEST_F(TreatmentTest, EmptyWindowsBeforeAnyEntryWriteNothing) {
    auto window = openWindow();
    const std::int64_t startUp = window->utAvPlanTick;
    window->startLoggButtonClicked();
    for (int i = 0; i < 5; ++i) {
        clock.advanceMs(1000);
        trackingTick(*window, 0, 210, 210); // on the focal area, but nothing there
    }
    EXPECT_TRUE(eventLines().isEmpty());
    EXPECT_EQ(window->inPlane, 0);
    EXPECT_EQ(window->inSkuddIntervall, 0);
    EXPECT_EQ(window->antallSkudd, 0);
    EXPECT_EQ(window->utAvPlanTick, startUp);
}

TEST_F(TreatmentTest, LeavingThePlaneRestartsTheOutOfPlaneClock) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    clock.advanceMs(1000);
    trackingTick(*window, 12, 400, 400);
    clock.advanceMs(1500);
    trackingTick(*window, 12, 400, 400);
    trackingTick(*window, 0, 400, 400);
    EXPECT_EQ(window->inPlane, 0);
    EXPECT_EQ(window->utAvPlanTick, clock.now());
    clock.advanceMs(1000);
    trackingTick(*window, 0, 400, 400);
    clock.advanceMs(750);
    trackingTick(*window, 3, 400, 400);
    EXPECT_EQ(window->inPlane, 1);

    // From 16 s on, single precision shows in the stamp of the entry only.
    clock.advanceMs(16001 - 4250);
    trackingTick(*window, 0, 400, 400);
    clock.advanceMs(1000);
    trackingTick(*window, 40, 400, 400);

    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "1.000000: Inn i planet. Var ute av plan i 1.000000 sekunder",
                                "2.500000: Ut av planet",
                                "4.250000: Inn i planet. Var ute av plan i 1.750000 sekunder",
                                "16.001000: Ut av planet",
                                "17.000999: Inn i planet. Var ute av plan i 1.000000 sekunder",
                            }));
}

TEST_F(TreatmentTest, BeforeLoggingStartsNothingIsLoggedOrCounted) {
    auto window = openWindow();
    QSignalSpy lcd(window.get(), &MainWindow::updateSkuddLcd);
    const std::int64_t lastShot = window->lastSkuddTick;
    for (int i = 0; i < 4; ++i) {
        clock.advanceMs(1000);
        trackingTick(*window, 255, 210, 210);
        trackingTick(*window, 0, 210, 210);
    }
    EXPECT_TRUE(eventLines().isEmpty());
    EXPECT_EQ(window->inPlane, 0);
    EXPECT_EQ(window->inSkuddIntervall, 0);
    EXPECT_EQ(window->inBrennpunkt, 0);
    EXPECT_EQ(window->brennpunktDrawn, 0);
    EXPECT_EQ(window->antallSkudd, 0);
    EXPECT_EQ(window->lastSkuddTick, lastShot);
    EXPECT_EQ(lcd.count(), 0);

    // The gate was all that held it back: four seconds have passed since start-up.
    window->startLoggButtonClicked();
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "4.025000: Inn i planet. Var ute av plan i 4.025000 sekunder",
                                "4.025000: Skudd intervall starter",
                                "4.025000: Skudd treffer. Det er 4025 millisekunder siden forrige "
                                "treff",
                            }));
    EXPECT_EQ(lcd.count(), 1);
}

// ---------------------------------------------------------------------------
// Hit test

TEST_F(TreatmentTest, TheFocalAreaIncludesItsRightAndBottomEdges) {
    auto window = openWindow();
    // Placed and sized through the controls: the rectangle's own corner stays
    // at the start-up place (200, 200) and must not count.
    window->moveBrennpunktXSlider(300);
    window->moveBrennpunktYSlider(150);
    window->endreBrennpunktXBox(30);
    window->endreBrennpunktYbox(10);
    window->startLoggButtonClicked();
    struct Case {
        int x, y;
        bool hit;
    };
    const Case cases[] = {
        {300, 150, true},  {330, 160, true},  {330, 150, true},  {300, 160, true},
        {315, 155, true},  {299, 155, false}, {331, 155, false}, {315, 149, false},
        {315, 161, false}, {331, 161, false}, {210, 210, false}, {200, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "centre (" << c.x << ", " << c.y << ")");
        clock.advanceMs(25);
        trackingTick(*window, 255, c.x, c.y);
        EXPECT_EQ(window->inBrennpunkt, c.hit ? 1 : 0);
        EXPECT_EQ(window->brennpunktDrawn, c.hit ? 1 : 0);
        window->brennpunktDrawn = 0; // the frame cycle clears it after every tick
    }
}

TEST_F(TreatmentTest, TheAreaIsRoundedToEvenBeforeTheHitTest) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    const std::pair<double, bool> cases[] = {
        {0.4, false}, {0.6, true}, {0.5, false}, {1.5, true}, {2.5, true}, {0.0, false},
    };
    for (const auto& [area, hit] : cases) {
        SCOPED_TRACE(testing::Message() << "area " << area);
        clock.advanceMs(25);
        trackingTick(*window, area, 210, 210);
        EXPECT_EQ(window->inBrennpunkt, hit ? 1 : 0);
    }
    // A window with a fraction of a pixel in it still counts as in the plane.
    const QList<QByteArray> lines = eventLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder");
}

// A simulated lithotripter's gate: the aim must lie the margin inside every
// edge of the default focal area (200..220 on both axes).
TEST_F(TreatmentTest, TheGateMarginKeepsHitsOffTheFocalAreasEdges) {
    auto window = openWindow();
    window->gateMarginPx = 2.5;
    window->startLoggButtonClicked();
    struct Case {
        int x, y;
        bool hit;
    };
    const Case cases[] = {
        {203, 203, true},  {217, 217, true},  {210, 210, true},  {202, 210, false},
        {218, 210, false}, {210, 202, false}, {210, 218, false}, {200, 200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "centre (" << c.x << ", " << c.y << ")");
        clock.advanceMs(25);
        trackingTick(*window, 255, c.x, c.y);
        EXPECT_EQ(window->inBrennpunkt, c.hit ? 1 : 0);
        EXPECT_EQ(window->aimX, c.x);
        EXPECT_EQ(window->aimY, c.y);
    }
}

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

// ---------------------------------------------------------------------------
// Shot intervals

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

TEST_F(TreatmentTest, HitMissHitClosesAndReopensTheIntervalInOneTick) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    clock.advanceMs(25);
    trackingTick(*window, 255, 250, 210);
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
                                "0.025000: Skudd intervall starter",
                                "0.075000: Skudd intervall slutter",
                                "0.075000: Skudd intervall starter",
                            }));
    EXPECT_EQ(window->inSkuddIntervall, 1);
}

TEST_F(TreatmentTest, AnIntervalOfOneHitEndsOnTheSecondTickAfterIt) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    for (int i = 0; i < 3; ++i) {
        clock.advanceMs(25);
        trackingTick(*window, 255, 250, 250);
        EXPECT_EQ(window->inSkuddIntervall, i == 0 ? 1 : 0);
    }
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
                                "0.025000: Skudd intervall starter",
                                "0.075000: Skudd intervall slutter",
                            }));
}

TEST_F(TreatmentTest, AnEmptyWindowOnTheFocalAreaLeavesThePlaneAndIsNoHit) {
    auto window = openWindow();
    QSignalSpy lcd(window.get(), &MainWindow::updateSkuddLcd);
    window->startLoggButtonClicked();
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    clock.advanceMs(25);
    trackingTick(*window, 0, 210, 210);
    EXPECT_EQ(window->inBrennpunkt, 0);
    EXPECT_EQ(window->inSkuddIntervall, 1);
    clock.advanceMs(25);
    trackingTick(*window, 0, 210, 210);
    EXPECT_EQ(eventLines(), (QList<QByteArray>{
                                "0.025000: Inn i planet. Var ute av plan i 0.025000 sekunder",
                                "0.025000: Skudd intervall starter",
                                "0.050000: Ut av planet",
                                "0.075000: Skudd intervall slutter",
                            }));
    EXPECT_EQ(lcd.count(), 1);
}

// ---------------------------------------------------------------------------
// Shot clock

TEST_F(TreatmentTest, AtOneHundredPerMinuteAShotNeedsSixHundredWholeMilliseconds) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    clock.advanceMs(599);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(window->antallSkudd, 0);
    clock.advanceMs(1);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(window->antallSkudd, 1);
    EXPECT_EQ(window->lastSkuddTick, clock.now());
    clock.advanceMs(599.999); // 599 whole milliseconds
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(window->antallSkudd, 1);
    clock.advanceTicks(1'000);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(window->antallSkudd, 2);
    const QList<QByteArray> lines = eventLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[2], "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff");
    EXPECT_EQ(lines[3], "1.200000: Skudd treffer. Det er 600 millisekunder siden forrige treff");
}

TEST_F(TreatmentTest, AtSeventyPerMinute857MillisecondsAreNotEnoughBut858Are) {
    auto window = openWindow();
    // The rate is logged even before logging has been started.
    window->endreSkuddFrekvens(70);
    window->startLoggButtonClicked();
    for (const int at : {857, 858, 1715, 1716}) {
        clock.advanceMs(at - (clock.now() - window->startTick) / 1'000'000);
        trackingTick(*window, 255, 210, 210);
    }
    EXPECT_EQ(window->antallSkudd, 2);
    EXPECT_EQ(eventLines(),
              (QList<QByteArray>{
                  "0.000000: Skuddfrekvens endret til 857.142883ms og 70skudd per min",
                  "0.857000: Inn i planet. Var ute av plan i 0.857000 sekunder",
                  "0.857000: Skudd intervall starter",
                  "0.858000: Skudd treffer. Det er 858 millisekunder siden forrige "
                  "treff",
                  "1.716000: Skudd treffer. Det er 858 millisekunder siden forrige "
                  "treff",
              }));
}

TEST_F(TreatmentTest, ChangingTheRateMovesTheNextShotButNotTheCount) {
    auto window = openWindow();
    window->startLoggButtonClicked();
    clock.advanceMs(600);
    trackingTick(*window, 255, 210, 210);
    clock.advanceMs(400);
    trackingTick(*window, 255, 210, 210);
    window->endreSkuddFrekvens(160); // 375 ms: already past
    EXPECT_EQ(window->antallSkudd, 1);
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    window->endreSkuddFrekvens(40); // 1500 ms
    clock.advanceMs(1475);
    trackingTick(*window, 255, 210, 210);
    clock.advanceMs(25);
    trackingTick(*window, 255, 210, 210);
    EXPECT_EQ(window->antallSkudd, 3);
    EXPECT_EQ(eventLines().mid(2),
              (QList<QByteArray>{
                  "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff",
                  "1.000000: Skuddfrekvens endret til 375.000000ms og 160skudd per min",
                  "1.025000: Skudd treffer. Det er 425 millisekunder siden forrige treff",
                  "1.025000: Skuddfrekvens endret til 1500.000000ms og 40skudd per min",
                  "2.525000: Skudd treffer. Det er 1500 millisekunder siden forrige treff",
              }));
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
