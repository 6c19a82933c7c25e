// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/MainWindow.h"
#include "app/windowGeometry.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QGraphicsPixmapItem>
#include <QPainter>
#include <QTransform>

namespace {

// A view shows the picture from its top-left corner. Its scene rectangle is
// the picture itself, fixed before the first pixmap arrives: left to grow with
// the pixmap item, the scene starts empty, the view centres that empty scene
// (putting image pixel (0, 0) at the middle of the view) and the first pixmap
// does not always move it back. Without scroll bars, a view laid out smaller
// for a moment never scrolls.
void showFromTopLeft(QGraphicsView* view, QSize picture) {
    view->setSceneRect(QRectF(QPointF(0, 0), QSizeF(picture)));
    view->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

} // namespace

// The views scale the picture, not the frame cycle: scene coordinates stay
// image pixels, so the selection, the overlays and the tracking are the same at
// every scale, and only the painting of the pixmaps is smoothed.
void MainWindow::layOutVideo(QSize screenArea) {
    const VideoLayout layout = videoLayoutFor(QSize(frameWidth, frameHeight), screenArea);
    ui->verticalLayoutWidget->resize(layout.contentSize);
    ui->VideoGroupBox->setFixedHeight(layout.videoGroupHeight);
    ui->mainView->move(layout.mainViewPos);
    ui->dataView->move(layout.dataViewPos);
    showFromTopLeft(ui->histView, QSize(histImage.cols, histImage.rows));
    for (QGraphicsView* view : {ui->mainView, ui->dataView}) {
        showFromTopLeft(view, QSize(frameWidth, frameHeight));
        view->setFixedHeight(layout.viewSize.height());
        view->setFixedWidth(layout.viewSize.width());
        view->setTransform(QTransform::fromScale(layout.scale, layout.scale));
        view->setRenderHint(QPainter::SmoothPixmapTransform, layout.scale != 1.0);
    }
    for (QGraphicsPixmapItem* item : {mainViewItem, dataViewItem}) {
        if (item) {
            item->setTransformationMode(layout.scale != 1.0 ? Qt::SmoothTransformation
                                                            : Qt::FastTransformation);
        }
    }
    setMinimumSize(layout.minimumWindowSize);
    resize(layout.windowSize);

    // The rubber bands are children of the window; a scene driven without its
    // view places its band by the view's corner in window coordinates.
    ui->verticalLayout->invalidate();
    ui->verticalLayout->activate();
    const auto cornerOf = [this](QWidget* view) { return view->mapTo(this, QPoint(0, 0)); };
    for (auto [scene, view] :
         {std::pair(mainScene, ui->mainView), std::pair(dataScene, ui->dataView),
          std::pair(histScene, ui->histView)}) {
        if (scene) {
            scene->bandOffset = cornerOf(view);
        }
    }
}
