// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/markedRegion.h"

#include "app/MainWindow.h"
#include "tracking/VideoImage.h"
#include "ui_MainWindow.h"

#include <QAction>
#include <QGraphicsRectItem>
#include <QPen>
#include <algorithm>

MarkPlace markPlace(const QRect& mark, const QRect& region) {
    if (mark.width() > region.width() || mark.height() > region.height()) {
        return MarkPlace::LargerThanRegion;
    }
    if (region.contains(mark)) {
        return MarkPlace::Inside;
    }
    return region.intersects(mark) ? MarkPlace::PartlyOutside : MarkPlace::Outside;
}

QPoint regionOntoMark(const QRect& mark, QSize regionSize, QPoint most) {
    // Centre on centre, in whole pixels: the mark's middle column and row.
    const int left = mark.left() + mark.width() / 2 - regionSize.width() / 2;
    const int top = mark.top() + mark.height() / 2 - regionSize.height() / 2;
    return {std::clamp(left, 0, std::max(0, most.x())), std::clamp(top, 0, std::max(0, most.y()))};
}

// The offer to move the processed region onto the mark: a context menu of the
// processed view and the key R anywhere in the window. A rectangle marked while
// paused is outlined on both views until a playing tick takes it over (and
// draws its own tracking rectangle).
void MainWindow::setUpMarking() {
    moveRegionAction = new QAction(tr("Move the processed region onto the mark"), this);
    moveRegionAction->setShortcut(QKeySequence(Qt::Key_R));
    moveRegionAction->setShortcutContext(Qt::WindowShortcut);
    moveRegionAction->setEnabled(false);
    connect(moveRegionAction, &QAction::triggered, this, &MainWindow::moveRegionOntoMark);
    addAction(moveRegionAction);
    ui->dataView->addAction(moveRegionAction);
    ui->dataView->setContextMenuPolicy(Qt::ActionsContextMenu);

    QPen pen(QColor(150, 0, 100));
    pen.setWidth(2);
    pen.setCosmetic(true);
    for (VideoImage* scene : {mainScene, dataScene}) {
        auto* outline = new QGraphicsRectItem();
        outline->setPen(pen);
        outline->setZValue(1);
        outline->hide();
        scene->addItem(outline);
        markOutlines.push_back(outline);
    }
}

QRect MainWindow::currentMark() const {
    if (dataScene->selectionState < 0) {
        return dataScene->handedOver;
    }
    if (dataScene->selectionState > 0) {
        return {trackWindow.x, trackWindow.y, trackWindow.width, trackWindow.height};
    }
    return {};
}

QRect MainWindow::processedRegion() const {
    const cv::Rect roi = regionOfInterest();
    return {roi.x, roi.y, roi.width, roi.height};
}

// Through the sliders, whose values the region follows: handle and region
// never part.
void MainWindow::moveRegionOntoMark() {
    const QRect mark = currentMark();
    if (mark.isEmpty()) {
        return;
    }
    const QPoint corner =
        regionOntoMark(mark, QSize(roiWidth, roiHeight),
                       QPoint(ui->RoiXSlider->maximum(), ui->RoiYSlider->maximum()));
    ui->RoiXSlider->setValue(corner.x());
    ui->RoiYSlider->setValue(corner.y());
}

void MainWindow::showWaitingMark() {
    const bool waiting = dataScene->selectionState < 0;
    const QRectF outline(dataScene->handedOver.topLeft(), QSizeF(dataScene->handedOver.size()));
    for (QGraphicsRectItem* item : markOutlines) {
        if (waiting && item->rect() != outline) {
            item->setRect(outline);
        }
        item->setVisible(waiting);
    }
    moveRegionAction->setEnabled(!currentMark().isEmpty());
}
