// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/nextStep.h"
#include "app/windowGeometry.h"
#include "log/ticks.h"
#include "tests/testSupport.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QCoreApplication>
#include <QGraphicsView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QSize screenArea(1280, 1024);

QRect inWindow(QWidget* widget, QWidget* window) {
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

// The frame as the view shows it, in the view's viewport.
QRect pictureIn(QGraphicsView* view, QSize frame) {
    return view->mapFromScene(QRectF(QPointF(0, 0), frame)).boundingRect();
}

// The window manager's title bar takes this much of a screen's height.
constexpr int titleBar = 32;

} // namespace

// The laptop screens (1366 x 768, 1280 x 720) and the form's own (1280 x 1024),
// for a video that fits the form, the 1146 x 624 screen captures of a real
// echo loop and full HD. On a low screen the controls take what they need
// (418 px below the video group, status bar included) and the pictures get
// the rest.
TEST(VideoLayout, TheWindowWithBothWholeViewsFitsLaptopScreens) {
    struct Row {
        QSize screen;
        QSize frame;
        double scale;
        int videoGroupHeight;
    };
    const Row rows[] = {
        {{1280, 1024}, {544, 464}, 1.0, 500},
        {{1280, 1024}, {1146, 624}, 620.0 / 1146, 500},
        {{1280, 1024}, {1920, 1080}, 620.0 / 1920, 500},
        {{1366, 768}, {544, 464}, 283.0 / 464, 318},
        {{1366, 768}, {1146, 624}, 283.0 / 624, 318},
        {{1366, 768}, {1920, 1080}, 283.0 / 1080, 318},
        {{1280, 720}, {544, 464}, 235.0 / 464, 270},
        {{1280, 720}, {1146, 624}, 235.0 / 624, 270},
        {{1280, 720}, {1920, 1080}, 235.0 / 1080, 270},
        // A small frame on a low screen is not scaled: the group only shrinks.
        {{1366, 768}, {320, 240}, 1.0, 275},
        {{1280, 1024}, {480, 640}, 539.0 / 640, 574},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.frame.width() << "x" << row.frame.height() << " on "
                                        << row.screen.width() << "x" << row.screen.height());
        const VideoLayout layout = videoLayoutFor(row.frame, row.screen);
        EXPECT_NEAR(layout.scale, row.scale, 1e-9);
        EXPECT_EQ(layout.videoGroupHeight, row.videoGroupHeight);
        // Both whole pictures, side by side inside the group.
        const QSize picture = layout.viewSize - QSize(5, 5);
        EXPECT_GE(picture.width(), row.scale * row.frame.width() - 1e-6);
        EXPECT_GE(picture.height(), row.scale * row.frame.height() - 1e-6);
        EXPECT_LT(picture.height(), row.scale * row.frame.height() + 1);
        EXPECT_GE(layout.dataViewPos.x(), layout.mainViewPos.x() + layout.viewSize.width());
        EXPECT_LE(layout.mainViewPos.y() + layout.viewSize.height(), layout.videoGroupHeight);
        EXPECT_LE(layout.dataViewPos.x() + layout.viewSize.width(), layout.contentSize.width());
        // The controls keep their height below the group, and the window and
        // its smallest size fit the screen under a title bar.
        EXPECT_EQ(layout.windowSize.height() - layout.videoGroupHeight, 418);
        EXPECT_LE(layout.windowSize.width(), row.screen.width());
        EXPECT_LE(layout.windowSize.height(), row.screen.height() - titleBar);
        EXPECT_LE(layout.minimumWindowSize.height(), row.screen.height() - titleBar);
        EXPECT_LE(layout.minimumWindowSize.width(), layout.windowSize.width());
    }
    // The form's own window where it fits.
    const VideoLayout form = videoLayoutFor({544, 464}, {1280, 1024});
    EXPECT_EQ(form.windowSize, QSize(1150, 918));
    EXPECT_EQ(form.minimumWindowSize, QSize(1150, 900));
    EXPECT_EQ(form.mainViewPos, QPoint(10, 20));
    EXPECT_EQ(form.dataViewPos, QPoint(570, 20));
}

// The real window laid out for the lowest laptop screen: every control lies
// inside it, none under the views, and the views show the whole frame.
TEST(VideoLayout, OnA1280x720ScreenEveryControlIsInTheWindow) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    const QSize laptop(1280, 720);
    const QSize frame(1146, 624);
    SyntheticVideoSpec spec;
    spec.width = frame.width();
    spec.height = frame.height();
    spec.frames = 2;
    auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
    ASSERT_TRUE(window->isReady());
    window->layOutVideo(laptop);
    window->show();
    window->OpenCVMeanShift();
    QCoreApplication::processEvents();
    Ui::MainWindow& ui = *window->ui;
    EXPECT_LE(window->width(), laptop.width());
    EXPECT_LE(window->height(), laptop.height() - titleBar);
    const QRect main = inWindow(ui.mainView, window.get());
    const QRect data = inWindow(ui.dataView, window.get());
    EXPECT_FALSE(main.intersects(data));
    const double scale = videoLayoutFor(frame, laptop).scale;
    for (QGraphicsView* view : {ui.mainView, ui.dataView}) {
        EXPECT_EQ(view->transform().m11(), scale);
        EXPECT_TRUE(view->viewport()->rect().contains(pictureIn(view, frame)));
    }
    for (QWidget* control : ui.centralWidget->findChildren<QWidget*>()) {
        if (!control->isVisibleTo(window.get()) || qobject_cast<QGraphicsView*>(control) ||
            control->parentWidget() == ui.mainView || control->parentWidget() == ui.dataView ||
            control->inherits("QLineEdit") || control->inherits("QScrollBar")) {
            continue;
        }
        SCOPED_TRACE(control->objectName().toStdString());
        const QRect place = inWindow(control, window.get());
        // The form's content area is one pixel wider than its window.
        EXPECT_TRUE(window->rect().adjusted(0, 0, 1, 0).contains(place))
            << place.x() << "," << place.y() << " " << place.width() << "x" << place.height();
        if (control != ui.VideoGroupBox && control != ui.verticalLayoutWidget) {
            EXPECT_FALSE(place.intersects(main) || place.intersects(data));
        }
    }
    EXPECT_TRUE(window->rect().contains(inWindow(ui.statusBar, window.get())));
    // The controls below the video keep their places relative to one another.
    EXPECT_EQ(ui.groupBox_5->mapTo(window.get(), QPoint(0, 0)) -
                  ui.groupBox_2->mapTo(window.get(), QPoint(0, 0)),
              QPoint(0, 219));
}

// The picture's place in a view may not depend on when the first pixmap
// reaches the scene: image pixel (0, 0) is at the viewport's top-left corner
// before the window is shown, once it is painted, and after the first ticks.
TEST(VideoLayout, EveryViewShowsItsPictureFromTheTopLeftFromTheFirstPaintOn) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    const QSize openings[] = {{500, 400}, {544, 464}, {640, 480}, {1920, 1080}};
    for (const QSize frame : openings) {
        SCOPED_TRACE(testing::Message() << frame.width() << "x" << frame.height());
        SyntheticVideoSpec spec;
        spec.width = frame.width();
        spec.height = frame.height();
        spec.frames = 3;
        auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
        ASSERT_TRUE(window->isReady());
        window->layOutVideo(screenArea);
        const double scale = videoLayoutFor(frame, screenArea).scale;
        Ui::MainWindow& ui = *window->ui;
        const auto expectPicturesFromTopLeft = [&](const char* moment) {
            SCOPED_TRACE(moment);
            for (QGraphicsView* view : {ui.mainView, ui.dataView}) {
                EXPECT_EQ(view->mapFromScene(QPointF(0, 0)), QPoint(0, 0));
                EXPECT_EQ(view->mapFromScene(QPointF(frame.width(), frame.height())),
                          QPointF(frame.width() * scale, frame.height() * scale).toPoint());
            }
            EXPECT_EQ(ui.histView->mapFromScene(QPointF(0, 0)), QPoint(0, 0));
        };
        expectPicturesFromTopLeft("built");
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
        expectPicturesFromTopLeft("shown");
        window->OpenCVMeanShift();
        QCoreApplication::processEvents();
        expectPicturesFromTopLeft("first paused tick");
        window->StartButtonClicked();
        window->OpenCVMeanShift();
        QCoreApplication::processEvents();
        expectPicturesFromTopLeft("first playing tick");
    }
}

TEST(Captions, EveryLabelShowsItsWholeTextAndCoversNoNeighbour) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.frames = 2;
    auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
    ASSERT_TRUE(window->isReady());
    for (QLabel* label : window->ui->centralWidget->findChildren<QLabel*>()) {
        SCOPED_TRACE(label->objectName().toStdString());
        const QFontMetrics metrics(label->font());
        EXPECT_GE(label->width(), metrics.horizontalAdvance(label->text()));
        EXPECT_GE(label->height(), metrics.height());
        for (QWidget* sibling :
             label->parentWidget()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            // The form's own layout lets a caption touch the slider above it by one row.
            EXPECT_TRUE(sibling == label ||
                        label->geometry().intersected(sibling->geometry()).height() <= 1)
                << "covers " << sibling->objectName().toStdString();
        }
    }
}

// Spin boxes show their widest value whole ("100", not "10("), and no child
// of a group box crosses the letters of its title.
TEST(Captions, SpinBoxesShowTheirWidestValueAndNoChildCrossesAGroupTitle) {
    TemporaryWorkingDirectory directory;
    SyntheticVideoSpec spec;
    spec.frames = 2;
    auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
    ASSERT_TRUE(window->isReady());
    window->show();
    QCoreApplication::processEvents();
    for (QSpinBox* box : window->ui->centralWidget->findChildren<QSpinBox*>()) {
        SCOPED_TRACE(box->objectName().toStdString());
        const auto* text = box->findChild<QLineEdit*>();
        ASSERT_NE(text, nullptr);
        // A line edit keeps 2 pixels free on either side of its text.
        EXPECT_GE(text->width(),
                  QFontMetrics(text->font()).horizontalAdvance(QString::number(box->maximum())) +
                      4);
    }
    for (QGroupBox* box : window->ui->centralWidget->findChildren<QGroupBox*>()) {
        SCOPED_TRACE(box->objectName().toStdString());
        const QList<QWidget*> children = box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
        int top = box->height();
        const int titleWidth = QFontMetrics(box->font()).horizontalAdvance(box->title());
        for (QWidget* child : children) {
            const auto* frame = qobject_cast<QFrame*>(child);
            if (!child->isHidden() && !(frame && frame->frameShape() == QFrame::NoFrame) &&
                child->x() < titleWidth + 12) {
                top = std::min(top, child->y());
            }
            child->hide();
        }
        // The lowest row of the title's letters, drawn without the children.
        const QImage alone = box->grab().toImage();
        int lowestInk = -1;
        for (int y = 0; y < alone.height(); ++y) {
            for (int x = 0; x < std::min(alone.width(), titleWidth + 12); ++x) {
                if (qGray(alone.pixel(x, y)) < 128) {
                    lowestInk = y;
                }
            }
        }
        EXPECT_LT(lowestInk, top);
        for (QWidget* child : children) {
            child->show();
        }
    }
}

TEST(NextStep, TheStatusBarSaysWhatComesNext) {
    const auto run = [](bool marked, bool playing, bool logging, bool tracking, bool inPlane) {
        RunProgress progress;
        progress.regionMarked = marked;
        progress.playing = playing;
        progress.logging = logging;
        progress.frameNumber = 12;
        progress.frameCount = 600;
        progress.seconds = 3.456;
        progress.tracking = tracking;
        progress.stoneInPlane = inPlane;
        return progress;
    };
    const auto outside = [](RunProgress progress, MarkPlace place) {
        progress.markPlace = place;
        return progress;
    };
    RunProgress lengthUnknown = run(true, true, true, true, true);
    lengthUnknown.frameCount = 0;
    struct Row {
        RunProgress run;
        const char* text;
    };
    const Row rows[] = {
        {run(false, false, false, false, false),
         "Drag a rectangle around the stone on the right-hand view"},
        {run(false, false, true, false, false),
         "Drag a rectangle around the stone on the right-hand view"},
        {run(true, false, false, false, false), "Marked: tracking starts when you press Play"},
        {run(true, false, true, true, true), "Paused: tracking goes on when you press Play"},
        {outside(run(true, false, false, false, false), MarkPlace::PartlyOutside),
         "The mark lies partly outside the processed region, so tracking will drift: press R, "
         "or right-click the right-hand view, to move the region onto it"},
        {outside(run(true, false, false, false, false), MarkPlace::Outside),
         "The mark lies outside the processed region, where the stone cannot be tracked: press "
         "R, or right-click the right-hand view, to move the region onto it"},
        {outside(run(true, false, false, false, false), MarkPlace::LargerThanRegion),
         "The mark is larger than the processed region: drag a smaller rectangle around the "
         "stone alone"},
        {outside(run(true, true, false, true, false), MarkPlace::Outside),
         "Frame 12 of 600  \u00b7  3.5 s  \u00b7  stone tracked, out of the plane  \u00b7  "
         "stone outside the processed region: press R to move the region"},
        {run(false, true, false, false, false),
         "Frame 12 of 600  \u00b7  3.5 s  \u00b7  stone not tracked  \u00b7  "
         "Drag a rectangle around the stone on the right-hand view"},
        {run(true, true, false, true, true),
         "Frame 12 of 600  \u00b7  3.5 s  \u00b7  stone tracked, in the plane  \u00b7  "
         "Press Start to log and count shots"},
        {run(true, true, true, true, false),
         "Frame 12 of 600  \u00b7  3.5 s  \u00b7  stone tracked, out of the plane"},
        {lengthUnknown, "Frame 12  \u00b7  3.5 s  \u00b7  stone tracked, in the plane"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(nextStepText(row.run), QString::fromUtf8(row.text));
    }
}

TEST(NextStep, TheWindowShowsItInAStatusBarLabelAndLogsNothing) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    SyntheticVideoSpec spec;
    spec.frames = 5;
    auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
    ASSERT_TRUE(window->isReady());
    const QByteArray logBefore = readBytes("loggfile.txt");
    window->showNextStep();
    EXPECT_EQ(window->nextStepLabel->text(),
              "Drag a rectangle around the stone on the right-hand view");
    EXPECT_EQ(window->nextStepLabel->parentWidget(), window->ui->statusBar);

    window->dataScene->handedOver = QRect(200, 200, 30, 20);
    window->dataScene->selectionState = -1;
    window->showNextStep();
    EXPECT_EQ(window->nextStepLabel->text(), "Marked: tracking starts when you press Play");

    window->StartButtonClicked();
    clock.advanceMs(1500);
    window->OpenCVMeanShift();
    window->showNextStep();
    // The first frame was read at start-up; the first playing tick shows the second.
    EXPECT_TRUE(window->nextStepLabel->text().startsWith(
        QString::fromUtf8("Frame 2 of 5  \u00b7  1.5 s  \u00b7  stone tracked, ")));
    EXPECT_TRUE(window->nextStepLabel->text().endsWith("Press Start to log and count shots"));
    EXPECT_EQ(readBytes("loggfile.txt"), logBefore);
}
