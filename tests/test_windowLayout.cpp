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

struct SizeRow {
    QSize frame;
    double scale;
};

// 555 x 475 is the largest frame that the form's own layout holds; 480 x 640
// (upright) is limited by the screen's height, the rest by its width.
const SizeRow frameSizes[] = {
    {{320, 240}, 1.0},
    {{555, 475}, 1.0},
    {{640, 480}, 620.0 / 640},
    {{800, 600}, 620.0 / 800},
    {{1920, 1080}, 620.0 / 1920},
    {{3840, 2160}, 620.0 / 3840},
    {{480, 640}, 571.0 / 640},
};

QRect inWindow(QWidget* widget, QWidget* window) {
    return {widget->mapTo(window, QPoint(0, 0)), widget->size()};
}

// The frame as the view shows it, in the view's viewport.
QRect pictureIn(QGraphicsView* view, QSize frame) {
    return view->mapFromScene(QRectF(QPointF(0, 0), frame)).boundingRect();
}

} // namespace

TEST(VideoLayout, BothViewsShowTheWholeFrameSideBySideInsideWindowAndScreen) {
    TemporaryWorkingDirectory directory;
    ManualClock clock;
    ScopedTickSource useClock{clock};
    for (const SizeRow& row : frameSizes) {
        SCOPED_TRACE(testing::Message() << row.frame.width() << "x" << row.frame.height());
        const VideoLayout layout = videoLayoutFor(row.frame, screenArea);
        EXPECT_NEAR(layout.scale, row.scale, 1e-9);
        EXPECT_GE(layout.viewSize.width() - 5, row.scale * row.frame.width() - 1e-6);
        EXPECT_GE(layout.viewSize.height() - 5, row.scale * row.frame.height() - 1e-6);

        // The real window laid out for that screen.
        SyntheticVideoSpec spec;
        spec.width = row.frame.width();
        spec.height = row.frame.height();
        spec.frames = 2;
        auto window = openWindowForTicking(writeVideo(directory.file("v.avi"), spec));
        ASSERT_TRUE(window->isReady());
        window->layOutVideo(screenArea);
        // Shown, and a paused tick gives the views their picture.
        window->show();
        window->OpenCVMeanShift();
        QCoreApplication::processEvents();
        Ui::MainWindow& ui = *window->ui;
        const QRect main = inWindow(ui.mainView, window.get());
        const QRect data = inWindow(ui.dataView, window.get());
        EXPECT_FALSE(main.intersects(data));
        EXPECT_TRUE(window->rect().contains(main));
        EXPECT_TRUE(window->rect().contains(data));
        EXPECT_TRUE(QRect(QPoint(0, 0), screenArea).contains(window->rect()));
        EXPECT_TRUE(ui.VideoGroupBox->rect().contains(ui.dataView->geometry()));
        EXPECT_EQ(window->minimumSize().width(), window->width());
        for (QGraphicsView* view : {ui.mainView, ui.dataView}) {
            EXPECT_EQ(view->transform().m11(), layout.scale);
            EXPECT_TRUE(view->viewport()->rect().contains(pictureIn(view, row.frame)));
        }
        // The controls below the video keep their places relative to one another.
        EXPECT_EQ(ui.groupBox_5->mapTo(window.get(), QPoint(0, 0)) -
                      ui.groupBox_2->mapTo(window.get(), QPoint(0, 0)),
                  QPoint(0, 219));

        if (row.frame == QSize(320, 240)) {
            EXPECT_EQ(window->size(), QSize(1150, 918));
            EXPECT_EQ(window->minimumSize(), QSize(1150, 900));
            EXPECT_EQ(ui.verticalLayoutWidget->geometry(), QRect(0, 0, 1151, 891));
            EXPECT_EQ(ui.VideoGroupBox->height(), 500);
            EXPECT_EQ(ui.mainView->geometry(), QRect(10, 20, 325, 245));
            EXPECT_EQ(ui.dataView->geometry(), QRect(570, 20, 325, 245));
        }
    }
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
        {run(true, false, false, false, false), "Press Play"},
        {run(true, false, true, true, true), "Press Play"},
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
    EXPECT_EQ(window->nextStepLabel->text(), "Press Play");

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
