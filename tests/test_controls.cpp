// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QApplication>
#include <QFileDialog>
#include <QLCDNumber>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QStyleOptionSpinBox>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest/QTest>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <opencv2/videoio.hpp>
#include <vector>

namespace {

constexpr std::int64_t ticksPerMs = 1'000'000; // ManualClock: one tick is one nanosecond

// A 640 x 480 video whose stone crosses the picture, so that no two frames look alike.
SyntheticVideoSpec movingStoneVideo(int frames = 30) {
    SyntheticVideoSpec recording;
    recording.width = 640;
    recording.height = 480;
    recording.frames = frames;
    recording.stone = [](int frameIndex) {
        return StoneState{60.0 + 18.0 * frameIndex, 240.0, 1.0};
    };
    return recording;
}

// A tick source that moves on by `step` ticks after every reading, so that each
// reading of the program can be told apart from the one before.
class SteppingClock : public TickSource {
  public:
    std::int64_t now() override {
        const std::int64_t reading = ticks;
        ticks += step;
        return reading;
    }
    double ticksPerMicrosecond() override { return 1000.0; }

    std::int64_t ticks = 5'000'000'000'000;
    std::int64_t step = 0;
};

// The style option that QSlider itself would build for painting and hit testing.
QStyleOptionSlider sliderOption(const QSlider* slider) {
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.subControls = QStyle::SC_None;
    option.activeSubControls = QStyle::SC_None;
    option.orientation = slider->orientation();
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->sliderPosition();
    option.sliderValue = slider->value();
    option.singleStep = slider->singleStep();
    option.pageStep = slider->pageStep();
    option.tickPosition = slider->tickPosition();
    option.tickInterval = slider->tickInterval();
    option.upsideDown = slider->orientation() == Qt::Horizontal
                            ? slider->invertedAppearance() != (option.direction == Qt::RightToLeft)
                            : !slider->invertedAppearance();
    if (slider->orientation() == Qt::Horizontal) {
        option.state |= QStyle::State_Horizontal;
    }
    option.rect = slider->rect();
    return option;
}

QRect sliderPart(QSlider* slider, QStyle::SubControl part) {
    const QStyleOptionSlider option = sliderOption(slider);
    return slider->style()->subControlRect(QStyle::CC_Slider, &option, part, slider);
}

// Takes the handle at its centre and drags it to `fraction` of the groove.
void dragHandle(QSlider* slider, double fraction) {
    const QRect handle = sliderPart(slider, QStyle::SC_SliderHandle);
    const QRect groove = sliderPart(slider, QStyle::SC_SliderGroove);
    const QPoint from = handle.center();
    const QPoint to(groove.left() + static_cast<int>(fraction * groove.width()), from.y());
    QTest::mousePress(slider, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(slider, (from + to) / 2);
    QTest::mouseMove(slider, to);
    QTest::mouseRelease(slider, Qt::LeftButton, Qt::NoModifier, to);
}

// Clicks the groove a few pixels from its left end, away from the handle.
void clickGrooveNearStart(QSlider* slider) {
    const QRect groove = sliderPart(slider, QStyle::SC_SliderGroove);
    const QRect handle = sliderPart(slider, QStyle::SC_SliderHandle);
    const QPoint spot(groove.left() + 2, groove.center().y());
    ASSERT_FALSE(handle.contains(spot)) << "the handle covers the start of the groove";
    QTest::mouseClick(slider, Qt::LeftButton, Qt::NoModifier, spot);
}

void turnWheel(QWidget* widget, int notches) {
    const QPointF centre = QRectF(widget->rect()).center();
    QWheelEvent wheel(centre, widget->mapToGlobal(centre), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &wheel);
}

// Replaces the text of a spin box as a user does: select all and type. The box
// tracks the keyboard, so the value counts as soon as the text is a valid one.
void typeInto(QSpinBox* box, const QString& text) {
    QTest::keyClick(box, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(box, text);
}

void clickSpinButton(QSpinBox* box, QStyle::SubControl button) {
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.rect = box->rect();
    option.buttonSymbols = box->buttonSymbols();
    option.frame = box->hasFrame();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField |
                         QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    const QRect rect = box->style()->subControlRect(QStyle::CC_SpinBox, &option, button, box);
    ASSERT_TRUE(rect.isValid());
    QTest::mouseClick(box, Qt::LeftButton, Qt::NoModifier, rect.center());
}

QList<QByteArray> linesContaining(const QByteArray& text) {
    QList<QByteArray> found;
    for (const QByteArray& line : logLines()) {
        if (line.contains(text)) {
            found.append(line);
        }
    }
    return found;
}

// The last line with `text`, or an empty line if there is none.
QByteArray lastLineContaining(const QByteArray& text) {
    const QList<QByteArray> found = linesContaining(text);
    return found.isEmpty() ? QByteArray() : found.last();
}

double framePosition(MainWindow& window) {
    return static_cast<double>(window.capture.position());
}

// The slider's seek runs in the background; once it has landed, the next
// (paused) tick shows its frame.
void letSeekLand(MainWindow& window) {
    window.capture.waitForBackgroundSeek();
    window.OpenCVMeanShift();
}

// Frame `index` of the video as a second, independent reader decodes it,
// reading from the start without seeking.
cv::Mat decodedFrame(const QString& video, int index) {
    cv::VideoCapture reader(video.toStdString(), cv::CAP_FFMPEG);
    cv::Mat image;
    for (int i = 0; i <= index; ++i) {
        if (!reader.read(image)) {
            return {};
        }
    }
    return image.clone();
}

cv::Point stoneCentre(const SyntheticVideoSpec& recording, int frameIndex) {
    const StoneState stone = stoneAt(recording, frameIndex);
    return {static_cast<int>(stone.centreX), static_cast<int>(stone.centreY)};
}

// Mean grey level of the 5 x 5 pixels around `centre` (blue channel).
double brightnessAround(const cv::Mat& image, cv::Point centre) {
    return cv::mean(image(cv::Rect(centre.x - 2, centre.y - 2, 5, 5)))[0];
}

bool samePicture(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

// A window on a fresh video with a manual clock. The frame clock is stopped, so
// only the test's own events and calls change the window.
class ControlsTest : public testing::Test {
  protected:
    void SetUp() override {
        video = writeVideo(directory.file("stone.avi"), recording);
        window = std::make_unique<MainWindow>(nullptr, video);
        ASSERT_TRUE(window->isReady());
        window->timer->stop();
    }

    void showWindow() {
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }

    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    SyntheticVideoSpec recording = movingStoneVideo();
    QString video;
    std::unique_ptr<MainWindow> window;
};

class ButtonControls : public ControlsTest {};
class SliderControls : public ControlsTest {};
class SpinBoxControls : public ControlsTest {};
class FeedbackSignals : public ControlsTest {};
class VideoPosition : public ControlsTest {};
class ShotClock : public ControlsTest {};

struct SliderField {
    const char* name;
    QSlider* Ui::MainWindow::*slider;
    int MainWindow::*field;
};

const SliderField fieldSliders[] = {
    {"thresholdSlider", &Ui::MainWindow::thresholdSlider, &MainWindow::threshold},
    {"brennpunktXSlider", &Ui::MainWindow::brennpunktXSlider, &MainWindow::brennpunktX},
    {"brennpunktYSlider", &Ui::MainWindow::brennpunktYSlider, &MainWindow::brennpunktY},
    {"RoiXSlider", &Ui::MainWindow::RoiXSlider, &MainWindow::roiX},
    {"RoiYSlider", &Ui::MainWindow::RoiYSlider, &MainWindow::roiY},
    {"filterSlider", &Ui::MainWindow::filterSlider, &MainWindow::filterSize},
};

} // namespace

// --- Buttons ---------------------------------------------------------------

TEST_F(ButtonControls, PlayAndPauseSetAndClearPlaying) {
    showWindow();
    EXPECT_EQ(window->playing, 0);
    QTest::mouseClick(window->ui->startButton, Qt::LeftButton);
    EXPECT_EQ(window->playing, 1);
    QTest::mouseClick(window->ui->startButton, Qt::LeftButton);
    EXPECT_EQ(window->playing, 1);
    QTest::mouseClick(window->ui->pauseButton, Qt::LeftButton);
    EXPECT_EQ(window->playing, 0);
    QTest::mouseClick(window->ui->pauseButton, Qt::LeftButton);
    EXPECT_EQ(window->playing, 0);
    QTest::mouseClick(window->ui->startButton, Qt::LeftButton);
    EXPECT_EQ(window->playing, 1);
    EXPECT_EQ(window->dynThresh, 1);
    EXPECT_EQ(window->loggStarted, 0);
}

TEST_F(ButtonControls, TheThresholdModeButtonsSetAndClearDynThresh) {
    showWindow();
    EXPECT_EQ(window->dynThresh, 1);
    QTest::mouseClick(window->ui->dynThresholdOff, Qt::LeftButton);
    EXPECT_EQ(window->dynThresh, 0);
    QTest::mouseClick(window->ui->dynThresholdOff, Qt::LeftButton);
    EXPECT_EQ(window->dynThresh, 0);
    QTest::mouseClick(window->ui->dynThresholdOn, Qt::LeftButton);
    EXPECT_EQ(window->dynThresh, 1);
    QTest::mouseClick(window->ui->dynThresholdOn, Qt::LeftButton);
    EXPECT_EQ(window->dynThresh, 1);
    EXPECT_EQ(window->playing, 0);
}

TEST_F(ButtonControls, StartingTheLogOnceOrTwiceIsTheSameAndNothingStopsIt) {
    showWindow();
    const QByteArray logBefore = readBytes("loggfile.txt");
    QTest::mouseClick(window->ui->startLoggButton, Qt::LeftButton);
    EXPECT_EQ(window->loggStarted, 1);
    QTest::mouseClick(window->ui->startLoggButton, Qt::LeftButton);
    EXPECT_EQ(window->loggStarted, 1);
    // The button only opens the gate: it neither writes nor empties the log.
    EXPECT_EQ(readBytes("loggfile.txt"), logBefore);
    for (QPushButton* other : {window->ui->pauseButton, window->ui->dynThresholdOff,
                               window->ui->startButton, window->ui->dynThresholdOn}) {
        QTest::mouseClick(other, Qt::LeftButton);
        EXPECT_EQ(window->loggStarted, 1) << other->objectName().toStdString();
    }
}

// --- Sliders ---------------------------------------------------------------

TEST_F(SliderControls, DraggingAHandleSetsItsField) {
    showWindow();
    for (const SliderField& row : fieldSliders) {
        SCOPED_TRACE(row.name);
        QSlider* slider = window->ui.get()->*row.slider;
        const int before = window.get()->*row.field;
        QSignalSpy moved(slider, &QSlider::sliderMoved);
        dragHandle(slider, 0.7);
        ASSERT_GE(moved.count(), 1);
        const int reached = slider->value();
        EXPECT_NE(reached, before);
        // Near 70 % of the range: the handle went where the mouse took it.
        const double expected = slider->minimum() + 0.7 * (slider->maximum() - slider->minimum());
        EXPECT_NEAR(reached, expected, 0.06 * (slider->maximum() - slider->minimum()) + 1);
        EXPECT_EQ(moved.last().at(0).toInt(), reached);
        EXPECT_EQ(window.get()->*row.field, reached);
    }
}

// Whatever moves a handle (a click on the groove, the keys, the wheel) sets
// what the run uses, as a drag does; the video slider shows the frame under
// its handle. The threshold's handle and display show the threshold in use
// from the start.
TEST_F(SliderControls, EveryWayOfMovingAHandleSetsTheValueInUse) {
    showWindow();
    struct Row {
        const char* name;
        QSlider* Ui::MainWindow::*slider;
        std::function<void(MainWindow&, int)> expectInUse;
    };
    const auto field = [](int MainWindow::*member) {
        return [member](MainWindow& shown, int value) { EXPECT_EQ(shown.*member, value); };
    };
    std::vector<Row> rows;
    for (const SliderField& row : fieldSliders) {
        rows.push_back({row.name, row.slider, field(row.field)});
    }
    rows.push_back(
        {"videoSlider", &Ui::MainWindow::videoSlider, [this](MainWindow& shown, int value) {
             letSeekLand(shown);
             EXPECT_EQ(framePosition(shown), value + 1.0);
             EXPECT_TRUE(samePicture(shown.frame, decodedFrame(video, value)));
         }});
    EXPECT_EQ(window->ui->thresholdSlider->value(), window->threshold);
    EXPECT_EQ(window->ui->lcdThreshold->intValue(), window->threshold);
    const QByteArray logBefore = readBytes("loggfile.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        QSlider* slider = window->ui.get()->*row.slider;
        const auto expectInUse = [&](const char* after) {
            SCOPED_TRACE(after);
            row.expectInUse(*window, slider->value());
        };
        expectInUse("start");
        dragHandle(slider, 0.7);
        expectInUse("drag");
        const int dragged = slider->value();
        clickGrooveNearStart(slider);
        ASSERT_LT(slider->value(), dragged);
        expectInUse("groove click");
        const int clicked = slider->value();
        QTest::keyClick(slider, Qt::Key_Right);
        ASSERT_EQ(slider->value(), clicked + 1);
        expectInUse("right arrow");
        QTest::keyClick(slider, Qt::Key_PageUp);
        expectInUse("page up");
        const int paged = slider->value();
        turnWheel(slider, -1);
        ASSERT_LT(slider->value(), paged);
        expectInUse("wheel");
        QTest::keyClick(slider, Qt::Key_Home);
        ASSERT_EQ(slider->value(), slider->minimum());
        expectInUse("home");
    }
    EXPECT_EQ(window->ui->lcdThreshold->intValue(), window->threshold);
    // Slider moves write nothing to the log.
    EXPECT_EQ(readBytes("loggfile.txt"), logBefore);
}

// --- Spin boxes ------------------------------------------------------------

TEST_F(SpinBoxControls, TypingArrowsButtonsAndTheWheelSetTheFocalSize) {
    showWindow();
    typeInto(window->ui->brennpunktXBox, "60");
    EXPECT_EQ(window->brennpunktRect.width, 60);
    typeInto(window->ui->brennpunktYBox, "35");
    EXPECT_EQ(window->brennpunktRect.height, 35);

    QTest::keyClick(window->ui->brennpunktXBox, Qt::Key_Up);
    EXPECT_EQ(window->brennpunktRect.width, 61);
    QTest::keyClick(window->ui->brennpunktYBox, Qt::Key_Down);
    EXPECT_EQ(window->brennpunktRect.height, 34);

    clickSpinButton(window->ui->brennpunktXBox, QStyle::SC_SpinBoxDown);
    EXPECT_EQ(window->brennpunktRect.width, 60);
    clickSpinButton(window->ui->brennpunktYBox, QStyle::SC_SpinBoxUp);
    EXPECT_EQ(window->brennpunktRect.height, 35);

    turnWheel(window->ui->brennpunktYBox, 1);
    EXPECT_EQ(window->brennpunktRect.height, 36);

    // Width and height only: the focal position stays where the sliders put it.
    EXPECT_EQ(window->brennpunktX, 200);
    EXPECT_EQ(window->brennpunktY, 200);
}

TEST_F(SpinBoxControls, ResizingTheFocalAreaKeepsThePositionSliderRanges) {
    showWindow();
    typeInto(window->ui->brennpunktXBox, "100");
    typeInto(window->ui->brennpunktYBox, "100");
    ASSERT_EQ(window->brennpunktRect.size(), cv::Size(100, 100));
    EXPECT_EQ(window->ui->brennpunktXSlider->minimum(), 0);
    EXPECT_EQ(window->ui->brennpunktXSlider->maximum(), 620);
    EXPECT_EQ(window->ui->brennpunktYSlider->minimum(), 0);
    EXPECT_EQ(window->ui->brennpunktYSlider->maximum(), 460);
    EXPECT_EQ(window->ui->brennpunktXSlider->value(), 200);
}

TEST_F(SpinBoxControls, TheRateBoxChangesTheShotClockByTypingArrowsAndButtons) {
    showWindow();
    QSpinBox* box = window->ui->skuddPerMinBox;
    typeInto(box, "120");
    EXPECT_EQ(window->skuddPerMin, 120);
    EXPECT_EQ(window->msPerSkudd, 500.0f);
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(window->skuddPerMin, 119);
    clickSpinButton(box, QStyle::SC_SpinBoxUp);
    EXPECT_EQ(window->skuddPerMin, 120);
    // Beyond the range the box holds the rate at its limit.
    typeInto(box, "40");
    QTest::keyClick(box, Qt::Key_Down);
    EXPECT_EQ(window->skuddPerMin, 40);
    EXPECT_EQ(window->msPerSkudd, 1500.0f);
    EXPECT_EQ(linesContaining("Skuddfrekvens").size(), 4);
}

// --- Signals from the frame cycle to the controls ---------------------------

TEST_F(FeedbackSignals, StartUpSetsTheControlsWithoutRunningAnySlot) {
    // No rate line: the rate box got its range and value before it was connected.
    const QList<QByteArray> lines = logLines();
    ASSERT_EQ(lines.size(), 4);
    EXPECT_TRUE(lines[0].endsWith(": Antall ms mellom hvert skudd er 600.000000 "));
    EXPECT_TRUE(lines[2].endsWith(": Initiering fullfort"));
    EXPECT_TRUE(linesContaining("Skuddfrekvens").isEmpty());
    EXPECT_EQ(window->skuddPerMin, 100);
    EXPECT_EQ(window->msPerSkudd, 600.0f);
    EXPECT_EQ(window->threshold, 100);
    EXPECT_EQ(window->filterSize, 7);
    EXPECT_EQ(window->brennpunktRect, cv::Rect(200, 200, 20, 20));
    EXPECT_EQ(window->ui->videoSlider->value(), 0);
    EXPECT_EQ(framePosition(*window), 1.0);
}

// The level that a playing tick chooses is the one in use, on the handle and
// the display alike.
TEST_F(FeedbackSignals, TheThresholdOfATickIsShownBySliderAndDisplay) {
    QSignalSpy moved(window->ui->thresholdSlider, &QSlider::sliderMoved);
    window->StartButtonClicked();
    window->OpenCVMeanShift();
    ASSERT_NE(window->threshold, 100);
    EXPECT_EQ(window->ui->thresholdSlider->value(), window->threshold);
    EXPECT_EQ(window->ui->lcdThreshold->intValue(), window->threshold);
    EXPECT_EQ(moved.count(), 0);
}

TEST_F(FeedbackSignals, TheHitCountUpdateIsShownOnTheShotDisplay) {
    EXPECT_EQ(window->ui->lcdSkudd->intValue(), 0);
    emit window->updateSkuddLcd(7);
    EXPECT_EQ(window->ui->lcdSkudd->intValue(), 7);
    emit window->updateSkuddLcd(12);
    EXPECT_EQ(window->ui->lcdSkudd->intValue(), 12);
    EXPECT_EQ(window->antallSkudd, 0);
}

TEST_F(FeedbackSignals, TheVideoPositionUpdateMovesTheSliderWithoutSeeking) {
    const cv::Mat firstFrame = window->frame.clone();
    QSignalSpy moved(window->ui->videoSlider, &QSlider::sliderMoved);
    emit window->updateVideoSlider(12);
    EXPECT_EQ(window->ui->videoSlider->value(), 12);
    EXPECT_EQ(moved.count(), 0);
    EXPECT_EQ(framePosition(*window), 1.0);
    EXPECT_TRUE(samePicture(window->frame, firstFrame));
}

// --- The video slider --------------------------------------------------------

TEST_F(VideoPosition, MovingToAMiddleFrameReadsThatFrame) {
    window->moveVideoSlider(10);
    letSeekLand(*window);
    EXPECT_EQ(framePosition(*window), 11.0);
    const cv::Mat expected = decodedFrame(video, 10);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(samePicture(window->frame, expected));
    EXPECT_FALSE(samePicture(window->frame, decodedFrame(video, 9)));
    // The stone of frame 10, not that of the first frame, is in the picture.
    EXPECT_GT(brightnessAround(window->frame, stoneCentre(recording, 10)),
              brightnessAround(window->frame, stoneCentre(recording, 0)) + 50.0);
}

TEST_F(VideoPosition, DraggingTheVideoSliderShowsTheFrameUnderTheHandle) {
    showWindow();
    QSlider* slider = window->ui->videoSlider;
    QSignalSpy moved(slider, &QSlider::sliderMoved);
    dragHandle(slider, 0.5);
    ASSERT_GE(moved.count(), 1);
    const int position = slider->value();
    ASSERT_GT(position, 5);
    ASSERT_LT(position, 25);
    letSeekLand(*window);
    EXPECT_EQ(framePosition(*window), position + 1.0);
    EXPECT_TRUE(samePicture(window->frame, decodedFrame(video, position)));
}

TEST_F(VideoPosition, TheLastFrameAndTheEndOfTheRangeReadNoFrame) {
    window->moveVideoSlider(10);
    letSeekLand(*window);
    const cv::Mat frame10 = window->frame.clone();
    ASSERT_TRUE(samePicture(frame10, decodedFrame(video, 10)));
    const uchar* buffer = window->frame.data;

    window->moveVideoSlider(window->frameCount - 1);
    letSeekLand(*window);
    EXPECT_EQ(framePosition(*window), window->frameCount - 1.0);
    EXPECT_TRUE(samePicture(window->frame, frame10));
    EXPECT_EQ(window->frame.data, buffer);

    window->moveVideoSlider(window->frameCount);
    letSeekLand(*window);
    EXPECT_TRUE(samePicture(window->frame, frame10));
    EXPECT_EQ(window->frame.data, buffer);

    // The next frame before the end is read again.
    window->moveVideoSlider(window->frameCount - 2);
    letSeekLand(*window);
    EXPECT_EQ(framePosition(*window), window->frameCount - 1.0);
    EXPECT_TRUE(samePicture(window->frame, decodedFrame(video, window->frameCount - 2)));
}

// --- The shot clock -----------------------------------------------------------

TEST_F(ShotClock, At100ShotsPerMinute599MsAreTooFewAnd600MsGiveAHit) {
    clock.advanceMs(599);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 0);
    EXPECT_TRUE(linesContaining("Skudd treffer").isEmpty());
    clock.advanceMs(1);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    // A second call at the same moment is in the next period already.
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    const QList<QByteArray> hits = linesContaining("Skudd treffer");
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0], "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff");

    // The next period counts from the hit; the logged gap is whole milliseconds.
    clock.advanceMs(750.9);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 2);
    EXPECT_EQ(lastLineContaining("Skudd treffer"),
              "1.350000: Skudd treffer. Det er 750 millisekunder siden forrige treff");
}

TEST_F(ShotClock, At70ShotsPerMinute857MsAreTooFewAnd858MsGiveAHit) {
    showWindow();
    typeInto(window->ui->skuddPerMinBox, "70");
    ASSERT_EQ(window->skuddPerMin, 70);
    EXPECT_EQ(window->msPerSkudd, 857.142883f);
    clock.advanceMs(857.9); // whole milliseconds count: this is 857
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 0);
    clock.advanceMs(0.1);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    const QList<QByteArray> hits = linesContaining("Skudd treffer");
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0], "0.858000: Skudd treffer. Det er 858 millisekunder siden forrige treff");
}

TEST_F(ShotClock, RaisingTheRateMidwayLetsAHitFollowOnceTheNewPeriodHasPassed) {
    showWindow();
    clock.advanceMs(550);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 0);
    typeInto(window->ui->skuddPerMinBox, "120");
    EXPECT_EQ(window->antallSkudd, 0);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    EXPECT_EQ(lastLineContaining("Skudd treffer"),
              "0.550000: Skudd treffer. Det er 550 millisekunder siden forrige treff");

    // Lowering the rate again delays the next hit to the longer period.
    clock.advanceMs(450);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    typeInto(window->ui->skuddPerMinBox, "60");
    clock.advanceMs(100);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    clock.advanceMs(449);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 1);
    clock.advanceMs(1);
    window->registrerTreff();
    EXPECT_EQ(window->antallSkudd, 2);
    EXPECT_EQ(linesContaining("Skudd treffer").size(), 2);
}

TEST_F(ShotClock, ARateChangeWritesItsLineAtEveryChangeAndTouchesNothingElse) {
    showWindow();
    clock.advanceMs(600);
    window->registrerTreff();
    ASSERT_EQ(window->antallSkudd, 1);
    const std::int64_t lastHit = window->lastSkuddTick;

    clock.advanceMs(634);
    typeInto(window->ui->skuddPerMinBox, "120");
    EXPECT_EQ(window->loggStarted, 0);
    clock.advanceMs(1000);
    QTest::mouseClick(window->ui->startLoggButton, Qt::LeftButton);
    QTest::keyClick(window->ui->skuddPerMinBox, Qt::Key_Down);
    clock.advanceMs(16001);
    typeInto(window->ui->skuddPerMinBox, "70");

    const QList<QByteArray> changes = linesContaining("Skuddfrekvens");
    ASSERT_EQ(changes.size(), 3);
    EXPECT_EQ(changes[0], "1.234000: Skuddfrekvens endret til 500.000000ms og 120skudd per min");
    EXPECT_EQ(changes[1], "2.234000: Skuddfrekvens endret til 504.201691ms og 119skudd per min");
    EXPECT_EQ(changes[2], "18.235000: Skuddfrekvens endret til 857.142883ms og 70skudd per min");
    EXPECT_EQ(window->antallSkudd, 1);
    EXPECT_EQ(window->lastSkuddTick, lastHit);
    EXPECT_EQ(window->loggStarted, 1);
}

TEST_F(ShotClock, ReturnInTheRateBoxWritesALineOnlyWhenTheRateChanged) {
    showWindow();
    QSpinBox* box = window->ui->skuddPerMinBox;
    box->setFocus();
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_TRUE(linesContaining("Skuddfrekvens").isEmpty());
    typeInto(box, "120");
    QTest::keyClick(box, Qt::Key_Return);
    QTest::keyClick(box, Qt::Key_Return);
    EXPECT_EQ(linesContaining("Skuddfrekvens").size(), 1);
    EXPECT_EQ(window->skuddPerMin, 120);
}

TEST_F(ShotClock, TheFirstHitIsMeasuredFromTheOpeningOfTheLog) {
    // A second window that asks for its video: the user takes 450 ms in the
    // dialog, which already count towards the first shot period.
    window.reset();
    answerFileDialog(video, [this](QFileDialog&) { clock.advanceMs(450); });
    MainWindow asking;
    ASSERT_TRUE(asking.isReady());
    asking.timer->stop();
    clock.advanceMs(149);
    asking.registrerTreff();
    EXPECT_EQ(asking.antallSkudd, 0);
    clock.advanceMs(1);
    asking.registrerTreff();
    EXPECT_EQ(asking.antallSkudd, 1);
    const QList<QByteArray> hits = linesContaining("Skudd treffer");
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0], "0.600000: Skudd treffer. Det er 600 millisekunder siden forrige treff");
}

TEST(ShotClockReadings, AHitTakesFreshReadingsForThePreviousHitAndTheStamp) {
    TemporaryWorkingDirectory directory;
    SteppingClock clock;
    ScopedTickSource useClock(clock);
    const QString video = writeVideo(directory.file("stone.avi"), movingStoneVideo(10));
    MainWindow window(nullptr, video);
    ASSERT_TRUE(window.isReady());
    window.timer->stop();
    const std::int64_t opened = window.lastSkuddTick;

    // Each reading now lies 1 ms after the one before.
    clock.ticks = opened + 600 * ticksPerMs;
    clock.step = ticksPerMs;
    window.registrerTreff();
    ASSERT_EQ(window.antallSkudd, 1);
    EXPECT_EQ(window.lastSkuddTick, opened + 601 * ticksPerMs);
    EXPECT_EQ(window.logTick, opened + 602 * ticksPerMs);
    const QList<QByteArray> hits = linesContaining("Skudd treffer");
    ASSERT_EQ(hits.size(), 1);
    EXPECT_EQ(hits[0], "0.602000: Skudd treffer. Det er 600 millisekunder siden forrige treff");

    // So the next period runs from the later reading: 599 ms after it is too early,
    // though 600 ms have passed since the first hit's own test.
    clock.step = 0;
    clock.ticks = opened + 1200 * ticksPerMs;
    window.registrerTreff();
    EXPECT_EQ(window.antallSkudd, 1);
    clock.ticks += ticksPerMs;
    window.registrerTreff();
    EXPECT_EQ(window.antallSkudd, 2);
    EXPECT_EQ(lastLineContaining("Skudd treffer"),
              "1.201000: Skudd treffer. Det er 600 millisekunder siden forrige treff");
}

// The focal area's start position (200, 200) lies outside a 160 x 120 frame:
// it starts inside instead, its sliders show it, and a stone there is hit
// without a slider being touched.
TEST(SmallVideo, TheFocalAreaStartsInsideTheFrameAndAStoneThereIsHit) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    SyntheticVideoSpec small;
    small.width = 160;
    small.height = 120;
    small.frames = 30;
    small.stone = [](int) { return StoneState{150.0, 110.0, 1.0}; };
    const auto window = openWindowForTicking(writeVideo(directory.file("small.avi"), small));
    ASSERT_TRUE(window->isReady());
    EXPECT_EQ(cv::Point(window->brennpunktX, window->brennpunktY), cv::Point(140, 100));
    EXPECT_EQ(window->ui->brennpunktXSlider->value(), 140);
    EXPECT_EQ(window->ui->brennpunktXSlider->maximum(), 140);
    EXPECT_EQ(window->ui->brennpunktYSlider->value(), 100);
    EXPECT_EQ(window->ui->brennpunktYSlider->maximum(), 100);

    window->dataScene->handedOver = QRect(140, 102, 20, 16);
    window->dataScene->selectionState = -1;
    window->startLoggButtonClicked();
    window->StartButtonClicked();
    for (int i = 0; i < 40; ++i) {
        clock.advanceMs(25);
        window->OpenCVMeanShift();
    }
    EXPECT_GE(window->antallSkudd, 1);
}
