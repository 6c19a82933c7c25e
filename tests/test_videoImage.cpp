// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QRubberBand>
#include <QTimer>
#include <QWidget>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Sends one mouse event straight to the scene, at an exact (possibly fractional)
// scene position, as the view would after mapping the pointer.
void sendToScene(VideoImage& scene, QEvent::Type type, QPointF at,
                 Qt::MouseButton button = Qt::LeftButton) {
    QGraphicsSceneMouseEvent event(type);
    event.setScenePos(at);
    event.setButton(type == QEvent::GraphicsSceneMouseMove ? Qt::NoButton : button);
    event.setButtons(type == QEvent::GraphicsSceneMouseRelease ? Qt::NoButton
                                                               : Qt::MouseButtons(button));
    QCoreApplication::sendEvent(&scene, &event);
}

void press(VideoImage& scene, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    sendToScene(scene, QEvent::GraphicsSceneMousePress, at, button);
}
void moveTo(VideoImage& scene, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    sendToScene(scene, QEvent::GraphicsSceneMouseMove, at, button);
}
void release(VideoImage& scene, QPointF at, Qt::MouseButton button = Qt::LeftButton) {
    sendToScene(scene, QEvent::GraphicsSceneMouseRelease, at, button);
}

void drag(VideoImage& scene, QPointF from, QPointF to) {
    press(scene, from);
    moveTo(scene, to);
    release(scene, to);
}

// A 640 x 480 picture shown in a view whose corner lies at (10, 20) in the window.
class SelectionScene : public testing::Test {
  protected:
    QWidget window;
    VideoImage scene{640, 480, QPoint(10, 20), &window};
};

} // namespace

TEST_F(SelectionScene, StartsWithNothingMarkedAndAHiddenBandOwnedByTheWindow) {
    EXPECT_TRUE(scene.selection.isNull());
    EXPECT_EQ(scene.selection, QRect(QPoint(0, 0), QPoint(-1, -1)));
    EXPECT_EQ(scene.selectionState, 0);
    EXPECT_EQ(scene.dragging, 0);
    ASSERT_NE(scene.rubberBand, nullptr);
    EXPECT_EQ(scene.rubberBand->shape(), QRubberBand::Rectangle);
    EXPECT_EQ(scene.rubberBand->parentWidget(), &window);
    EXPECT_TRUE(scene.rubberBand->isHidden());
    EXPECT_EQ(scene.parent(), &window);
    EXPECT_TRUE(scene.inherits("VideoImage"));
}

TEST_F(SelectionScene, ADragMarksTheRectangleWithoutThePointersRowAndColumn) {
    press(scene, {100, 50});
    EXPECT_EQ(scene.dragging, 1);
    EXPECT_EQ(scene.origin, QPoint(100, 50));
    EXPECT_FALSE(scene.rubberBand->isHidden());
    EXPECT_EQ(scene.rubberBand->geometry(), QRect(110, 70, 0, 0));

    moveTo(scene, {140, 90});
    EXPECT_EQ(scene.rubberBand->geometry(), QRect(110, 70, 40, 40));
    // Nothing is handed over while the button is held.
    EXPECT_EQ(scene.selectionState, 0);

    release(scene, {140, 90});
    EXPECT_EQ(scene.selection, QRect(QPoint(100, 50), QPoint(139, 89)));
    EXPECT_EQ(scene.selectionState, -1);
    EXPECT_EQ(scene.dragging, 0);
    EXPECT_TRUE(scene.rubberBand->isHidden());
}

TEST_F(SelectionScene, EveryDragDirectionGivesTheSameRectangle) {
    const QRect expected(QPoint(100, 50), QPoint(139, 89));
    const QPointF corners[][2] = {{{100, 50}, {140, 90}},
                                  {{140, 90}, {100, 50}},
                                  {{140, 50}, {100, 90}},
                                  {{100, 90}, {140, 50}}};
    for (const auto& corner : corners) {
        SCOPED_TRACE(testing::Message() << corner[0].x() << "," << corner[0].y());
        drag(scene, corner[0], corner[1]);
        EXPECT_EQ(scene.selection, expected);
        EXPECT_EQ(scene.selectionState, -1);
    }
}

TEST_F(SelectionScene, TheRectangleIsClippedToThePictureOnAllFourSides) {
    struct Case {
        QPointF from, to;
        QRect expected;
    };
    const Case cases[] = {
        {{100, 50}, {-30, 90}, QRect(QPoint(0, 50), QPoint(99, 89))},
        {{600, 50}, {700, 90}, QRect(QPoint(600, 50), QPoint(639, 89))},
        {{100, 30}, {140, -10}, QRect(QPoint(100, 0), QPoint(139, 29))},
        {{100, 450}, {140, 900}, QRect(QPoint(100, 450), QPoint(139, 479))},
        {{-50, -50}, {1000, 1000}, QRect(QPoint(0, 0), QPoint(639, 479))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.to.x() << "," << c.to.y());
        press(scene, c.from);
        moveTo(scene, c.to);
        EXPECT_EQ(scene.selection, c.expected);
        EXPECT_EQ(scene.rubberBand->geometry(), c.expected.translated(10, 20));
        release(scene, c.to);
        EXPECT_EQ(scene.selectionState, -1);
    }
}

TEST_F(SelectionScene, AClickOrAOneAxisDragHandsNothingOver) {
    press(scene, {100, 50});
    release(scene, {100, 50});
    EXPECT_EQ(scene.selectionState, 0);
    EXPECT_EQ(scene.dragging, 0);
    // The band keeps its empty geometry and is not hidden by an empty release.
    EXPECT_FALSE(scene.rubberBand->isHidden());
    EXPECT_EQ(scene.rubberBand->geometry().size(), QSize(0, 0));

    drag(scene, {100, 50}, {100, 90});
    EXPECT_EQ(scene.selection.width(), 0);
    EXPECT_EQ(scene.selectionState, 0);
    drag(scene, {100, 50}, {180, 50});
    EXPECT_EQ(scene.selection.height(), 0);
    EXPECT_EQ(scene.selectionState, 0);
    // Wholly outside the picture.
    drag(scene, {700, 50}, {750, 90});
    EXPECT_EQ(scene.selectionState, 0);
    drag(scene, {-40, -40}, {-10, -10});
    EXPECT_EQ(scene.selectionState, 0);
}

TEST_F(SelectionScene, AnEmptyReleaseLeavesTheEarlierHandOverInForce) {
    drag(scene, {100, 50}, {140, 90});
    scene.selectionState = 1; // taken by the frame cycle
    press(scene, {300, 300});
    release(scene, {300, 300});
    EXPECT_EQ(scene.selectionState, 1);
    drag(scene, {300, 300}, {300, 340});
    EXPECT_EQ(scene.selectionState, 1);
}

TEST_F(SelectionScene, AClickOrADragInProgressNeverReplacesARegionWaitingToBeTaken) {
    drag(scene, {100, 50}, {140, 90});
    const QRect marked(QPoint(100, 50), QPoint(139, 89));
    EXPECT_EQ(scene.handedOver, marked);
    ASSERT_EQ(scene.selectionState, -1);

    // A click while the region still waits (the video is paused) must not hand
    // over the click's empty rectangle.
    press(scene, {300, 300});
    release(scene, {300, 300});
    EXPECT_EQ(scene.selectionState, -1);
    EXPECT_EQ(scene.handedOver, marked);

    // Nor does a drag that is still going on.
    press(scene, {200, 210});
    moveTo(scene, {230, 250});
    EXPECT_EQ(scene.handedOver, marked);
    release(scene, {230, 250});
    EXPECT_EQ(scene.handedOver, QRect(QPoint(200, 210), QPoint(229, 249)));
}

TEST_F(SelectionScene, ANewMarkWhileTrackingIsHandedOverAgain) {
    drag(scene, {100, 50}, {140, 90});
    scene.selectionState = 1;
    press(scene, {200, 210});
    // Pressing does not withdraw the region in force.
    EXPECT_EQ(scene.selectionState, 1);
    moveTo(scene, {230, 250});
    release(scene, {230, 250});
    EXPECT_EQ(scene.selectionState, -1);
    EXPECT_EQ(scene.selection, QRect(QPoint(200, 210), QPoint(229, 249)));
}

TEST_F(SelectionScene, OnlyTheLeftButtonMarks) {
    for (Qt::MouseButton button : {Qt::RightButton, Qt::MiddleButton}) {
        press(scene, {100, 50}, button);
        moveTo(scene, {140, 90}, button);
        release(scene, {140, 90}, button);
    }
    EXPECT_TRUE(scene.selection.isNull());
    EXPECT_EQ(scene.selectionState, 0);
    EXPECT_EQ(scene.dragging, 0);
    EXPECT_TRUE(scene.rubberBand->isHidden());

    // A right release in the middle of a left drag does not end it.
    press(scene, {100, 50});
    release(scene, {120, 70}, Qt::RightButton);
    EXPECT_EQ(scene.dragging, 1);
    moveTo(scene, {140, 90});
    release(scene, {140, 90});
    EXPECT_EQ(scene.selection, QRect(QPoint(100, 50), QPoint(139, 89)));
    EXPECT_EQ(scene.selectionState, -1);
}

TEST_F(SelectionScene, MovesOutsideADragChangeNothing) {
    moveTo(scene, {140, 90});
    EXPECT_TRUE(scene.selection.isNull());
    drag(scene, {100, 50}, {140, 90});
    moveTo(scene, {300, 300}, Qt::NoButton);
    EXPECT_EQ(scene.selection, QRect(QPoint(100, 50), QPoint(139, 89)));
    EXPECT_TRUE(scene.rubberBand->isHidden());
}

TEST_F(SelectionScene, FractionalPositionsAreCutTowardZero) {
    press(scene, {12.9, -0.7});
    EXPECT_EQ(scene.origin, QPoint(12, 0));
    // Flooring -0.7 would have started the empty rectangle on row -1.
    EXPECT_EQ(scene.selection.left(), 12);
    EXPECT_EQ(scene.selection.top(), 0);
    moveTo(scene, {52.99, 40.5});
    EXPECT_EQ(scene.selection, QRect(QPoint(12, 0), QPoint(51, 39)));
    release(scene, {52.99, 40.5});

    // -0.7 is column 0, so a drag from 30 back to it keeps column 0 out.
    press(scene, {30.2, 10.0});
    moveTo(scene, {-0.7, 20.9});
    EXPECT_EQ(scene.selection, QRect(QPoint(0, 10), QPoint(29, 19)));
    release(scene, {-0.7, 20.9});
    EXPECT_EQ(scene.selectionState, -1);
}

TEST(SelectionSceneWithoutPicture, IgnoresTheMouseEntirely) {
    QWidget window;
    VideoImage scene(0, 480, QPoint(10, 20), &window);
    press(scene, {100, 50});
    moveTo(scene, {140, 90});
    release(scene, {140, 90});
    EXPECT_TRUE(scene.selection.isNull());
    EXPECT_EQ(scene.selectionState, 0);
    EXPECT_EQ(scene.dragging, 0);
    EXPECT_EQ(scene.origin, QPoint(0, 0));
    EXPECT_TRUE(scene.rubberBand->isHidden());
}

// A shown window on a short video, its frame clock stopped: the test ticks it.
class SelectionSceneInTheWindow : public testing::Test {
  protected:
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    std::unique_ptr<MainWindow> shown;

    void SetUp() override {
        SyntheticVideoSpec recording;
        recording.frames = 4;
        shown =
            std::make_unique<MainWindow>(nullptr, writeVideo(directory.file("v.avi"), recording));
        ASSERT_TRUE(shown->isReady());
        shown->timer->stop();
        // A screen too small for the 640 x 480 video: both views scale it down.
        shown->layOutVideo(QSize(1150, 918));
        shown->show();
        // A paused tick puts the first frame into the views; the event loop then
        // lets the views take the picture's size.
        shown->OpenCVMeanShift();
        QCoreApplication::processEvents();
    }
};

TEST_F(SelectionSceneInTheWindow, ARealDragOnTheProcessedViewMarksTheRegion) {
    MainWindow& window = *shown;

    QGraphicsView* view = window.ui->dataView;
    VideoImage* scene = window.dataScene;
    ASSERT_EQ(view->scene(), scene);
    // The band's parent is the window, and the scene knows where the view sits in it.
    EXPECT_EQ(scene->rubberBand->parentWidget(), &window);
    EXPECT_EQ(scene->bandOffset, view->mapTo(&window, QPoint(0, 0)));

    // The view shows the picture scaled down: the pointer's position in the
    // viewport is not the image pixel, the view's mapping is.
    ASSERT_LT(view->transform().m11(), 0.9);
    QWidget* viewport = view->viewport();
    const QPoint from = view->mapFromScene(QPointF(100.4, 50.4));
    const QPoint to = view->mapFromScene(QPointF(140.4, 90.4));
    const auto imagePixel = [view](QPoint at) {
        const QPointF inScene = view->mapToScene(at);
        return QPoint(static_cast<int>(inScene.x()), static_cast<int>(inScene.y()));
    };
    const QRect expected(imagePixel(from), imagePixel(to) - QPoint(1, 1));
    ASSERT_LE((expected.topLeft() - QPoint(100, 50)).manhattanLength(), 2);
    ASSERT_LE((expected.bottomRight() - QPoint(139, 89)).manhattanLength(), 2);
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    EXPECT_EQ(scene->dragging, 1);
    EXPECT_EQ(scene->origin, expected.topLeft());
    QTest::mouseMove(viewport, to);
    // The band runs from the press to the pointer on screen.
    const QRect band = scene->rubberBand->geometry();
    EXPECT_LE((band.topLeft() - viewport->mapTo(&window, from)).manhattanLength(), 2);
    const QPoint bandEnd = band.topLeft() + QPoint(band.width(), band.height());
    EXPECT_LE((bandEnd - viewport->mapTo(&window, to)).manhattanLength(), 2);
    EXPECT_TRUE(scene->rubberBand->isVisible());
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    EXPECT_EQ(scene->selection, expected);
    EXPECT_EQ(scene->selectionState, -1);
    EXPECT_FALSE(scene->rubberBand->isVisible());

    // The other two views mark on their own scenes; the tracker never sees them.
    QWidget* mainViewport = window.ui->mainView->viewport();
    QTest::mousePress(mainViewport, Qt::LeftButton, {},
                      window.ui->mainView->mapFromScene(QPointF(10, 10)));
    QTest::mouseMove(mainViewport, window.ui->mainView->mapFromScene(QPointF(30, 30)));
    QTest::mouseRelease(mainViewport, Qt::LeftButton, {},
                        window.ui->mainView->mapFromScene(QPointF(30, 30)));
    EXPECT_EQ(window.mainScene->selectionState, -1);
    EXPECT_NEAR(window.mainScene->selection.width(), 20, 1);
    EXPECT_NEAR(window.mainScene->selection.height(), 20, 1);
    EXPECT_EQ(scene->selection, expected);
}

TEST_F(SelectionSceneInTheWindow, AClickAfterMarkingWhilePausedKeepsTheRegionForTracking) {
    MainWindow& window = *shown;

    QGraphicsView* view = window.ui->dataView;
    QWidget* viewport = view->viewport();
    const QPoint from = view->mapFromScene(QPointF(205, 203));
    const QPoint to = view->mapFromScene(QPointF(229, 223));
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, to);
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    // Still paused: the user clicks once more on the picture, then plays.
    QTest::mouseClick(viewport, Qt::LeftButton, {}, view->mapFromScene(QPointF(300, 300)));
    window.StartButtonClicked();
    clock.advanceMs(25);
    window.OpenCVMeanShift();
    EXPECT_EQ(window.dataScene->selectionState, 1);
    // Mean shift may move the window, but it keeps the marked size.
    EXPECT_EQ(window.trackWindow.size(), cv::Size(24, 20));
    EXPECT_LT(std::abs(window.trackWindow.x - 205), 12);
    EXPECT_LT(std::abs(window.trackWindow.y - 203), 12);
}
