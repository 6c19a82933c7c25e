// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/markedRegion.h"
#include "app/refusal.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QGraphicsRectItem>
#include <QGraphicsView>
#include <QLabel>
#include <QSlider>
#include <QTest>
#include <gtest/gtest.h>
#include <opencv2/imgproc.hpp>

namespace {

// The default region of interest.
const cv::Rect startRegion(200, 200, 200, 100);

// A 640 x 480 video whose stone stays at (450, 120), outside that region.
QString stoneAboveTheRegion(const TemporaryWorkingDirectory& directory) {
    SyntheticVideoSpec spec;
    spec.frames = 10;
    spec.stone = [](int) { return StoneState{450.0, 120.0, 1.0}; };
    return writeVideo(directory.file("stone.avi"), spec);
}

// Thresholded pixels are 0 or 255 in every channel.
bool thresholded(const cv::Mat& image) {
    cv::Mat between;
    cv::inRange(image.reshape(1), 1, 254, between);
    return cv::countNonZero(between) == 0;
}

bool samePixels(const cv::Mat& a, const cv::Mat& b) {
    return a.size() == b.size() && cv::norm(a, b, cv::NORM_INF) == 0.0;
}

} // namespace

TEST(MarkedRegion, WhereAMarkLiesAndWhereTheRegionGoesToHoldIt) {
    const QRect region(200, 200, 200, 100);
    struct PlaceRow {
        QRect mark;
        MarkPlace place;
    };
    const PlaceRow places[] = {
        {{240, 220, 20, 16}, MarkPlace::Inside},
        {{200, 200, 200, 100}, MarkPlace::Inside},
        {{390, 220, 20, 16}, MarkPlace::PartlyOutside},
        {{210, 190, 20, 16}, MarkPlace::PartlyOutside},
        {{440, 112, 21, 17}, MarkPlace::Outside},
        {{200, 200, 201, 20}, MarkPlace::LargerThanRegion},
        {{250, 210, 30, 101}, MarkPlace::LargerThanRegion},
    };
    for (const PlaceRow& row : places) {
        EXPECT_EQ(markPlace(row.mark, region), row.place) << row.mark.x() << "," << row.mark.y();
    }
    struct MoveRow {
        QRect mark;
        QPoint most;
        QPoint corner;
    };
    const MoveRow moves[] = {
        {{440, 112, 21, 17}, {440, 380}, {350, 70}},
        {{0, 0, 10, 10}, {440, 380}, {0, 0}},
        {{630, 470, 10, 10}, {440, 380}, {440, 380}},
        // A frame no larger than the region: the sliders cannot move it.
        {{100, 50, 20, 20}, {0, 0}, {0, 0}},
    };
    for (const MoveRow& row : moves) {
        EXPECT_EQ(regionOntoMark(row.mark, QSize(200, 100), row.most), row.corner)
            << row.mark.x() << "," << row.mark.y();
    }
}

// Before Play the processed view shows what the frame cycle makes of the
// frame on show, without taking the threshold level it used.
TEST(MarkedRegion, FromTheFirstPictureTheProcessedViewIsTheFrameCyclesOwn) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    auto window = openWindowForTicking(stoneAboveTheRegion(directory));
    ASSERT_TRUE(window->isReady());
    const cv::Mat preview = window->dataFrame.clone();
    EXPECT_EQ(window->threshold, 100);
    EXPECT_TRUE(thresholded(preview(startRegion)));
    cv::Mat outside = preview.clone();
    window->frame(startRegion).copyTo(outside(startRegion));
    EXPECT_TRUE(samePixels(outside, window->frame));

    // The first paused tick puts it on the view.
    window->OpenCVMeanShift();
    cv::Mat shown;
    const QImage& image = window->dataViewImage;
    cv::cvtColor(cv::Mat(image.height(), image.width(), CV_8UC4,
                         const_cast<uchar*>(image.constBits()), image.bytesPerLine()),
                 shown, cv::COLOR_BGRA2BGR);
    EXPECT_TRUE(samePixels(shown, preview));

    window->processFrame();
    EXPECT_NE(window->threshold, 100);
    EXPECT_TRUE(samePixels(window->dataFrame, preview));
}

// A rectangle dragged around the stone outside the region while paused: it is
// outlined on both views at once, the status bar says what is wrong, R moves
// the region (and its sliders) onto it, the processed view follows, and the
// next playing tick tracks it. Nothing of this is logged.
TEST(MarkedRegion, AMarkOutsideTheRegionIsShownSaidAndTheRegionMovedOntoIt) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    auto window = openWindowForTicking(stoneAboveTheRegion(directory));
    ASSERT_TRUE(window->isReady());
    window->layOutVideo({1280, 1024});
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QByteArray logBefore = readBytes("loggfile.txt");
    Ui::MainWindow& ui = *window->ui;

    QWidget* viewport = ui.dataView->viewport();
    const QPoint from = ui.dataView->mapFromScene(QPointF(440.5, 112.5));
    const QPoint to = ui.dataView->mapFromScene(QPointF(461.5, 129.5));
    QTest::mousePress(viewport, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(viewport, (from + to) / 2);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, Qt::NoModifier, to);
    ASSERT_EQ(window->dataScene->handedOver, QRect(QPoint(440, 112), QPoint(460, 128)));
    window->OpenCVMeanShift();
    window->showNextStep();
    EXPECT_TRUE(window->nextStepLabel->text().startsWith(
        "The mark lies outside the processed region, where the stone cannot be tracked"));
    for (QGraphicsView* view : {ui.mainView, ui.dataView}) {
        SCOPED_TRACE(view->objectName().toStdString());
        const QImage painted = view->viewport()->grab().toImage();
        const QRgb edge = painted.pixel(view->mapFromScene(QPointF(440, 120)));
        EXPECT_GT(qRed(edge), 120);
        EXPECT_LT(qGreen(edge), 40);
        EXPECT_GT(qBlue(edge), 60);
    }

    QTest::keyClick(window.get(), Qt::Key_R);
    EXPECT_EQ(window->roiX, 350);
    EXPECT_EQ(window->roiY, 70);
    EXPECT_EQ(ui.RoiXSlider->value(), 350);
    EXPECT_EQ(ui.RoiYSlider->value(), 70);
    window->OpenCVMeanShift();
    window->showNextStep();
    EXPECT_EQ(window->nextStepLabel->text(), "Marked: tracking starts when you press Play");
    EXPECT_TRUE(thresholded(window->dataFrame(cv::Rect(350, 70, 200, 100))));
    EXPECT_TRUE(samePixels(window->dataFrame(startRegion), window->frame(startRegion)));
    EXPECT_EQ(readBytes("loggfile.txt"), logBefore);

    window->StartButtonClicked();
    window->OpenCVMeanShift();
    window->showNextStep();
    EXPECT_EQ(window->dataScene->selectionState, 1);
    EXPECT_TRUE(window->currentMark().contains(QPoint(450, 120)));
    for (const QGraphicsRectItem* outline : window->markOutlines) {
        EXPECT_FALSE(outline->isVisible());
    }
}

// From a desktop's menu nobody reads standard error: the refusal is shown in a
// box as well, where there is a screen to show it on.
TEST(Refusal, AMessageBoxOnlyWhereNobodyReadsStandardError) {
    EXPECT_TRUE(refusalWantsMessageBox(false, "xcb"));
    EXPECT_TRUE(refusalWantsMessageBox(false, "wayland"));
    EXPECT_FALSE(refusalWantsMessageBox(true, "xcb"));
    EXPECT_FALSE(refusalWantsMessageBox(false, "offscreen"));
    EXPECT_FALSE(refusalWantsMessageBox(false, "minimal"));
}
