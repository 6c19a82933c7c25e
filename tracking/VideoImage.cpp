// SPDX-License-Identifier: GPL-3.0-or-later
#include "tracking/VideoImage.h"

#include <QGraphicsSceneMouseEvent>
#include <QGraphicsView>
#include <QRubberBand>
#include <algorithm>

namespace {

// Scene coordinates are image pixels; fractions are cut toward zero.
QPoint truncated(const QPointF& scenePos) {
    return {static_cast<int>(scenePos.x()), static_cast<int>(scenePos.y())};
}

} // namespace

VideoImage::VideoImage(int imageWidth, int imageHeight, QPoint bandOffset, QWidget* parent)
    : QGraphicsScene(parent), selection(),
      rubberBand(new QRubberBand(QRubberBand::Rectangle, parent)), origin(0, 0),
      imageWidth(imageWidth), imageHeight(imageHeight), bandOffset(bandOffset) {}

void VideoImage::mousePressEvent(QGraphicsSceneMouseEvent* event) {
    if (imageWidth == 0 || event->button() != Qt::LeftButton) {
        return;
    }
    origin = truncated(event->scenePos());
    selection = QRect(origin, QSize(0, 0));
    dragging = 1;
    placeBand(event->widget());
    rubberBand->show();
}

// The rectangle spans from the press to the pointer, the pointer's own column
// and row excluded, and is clipped to the image on all four sides.
void VideoImage::mouseMoveEvent(QGraphicsSceneMouseEvent* event) {
    if (imageWidth == 0 || dragging == 0) {
        return;
    }
    const QPoint at = truncated(event->scenePos());
    selection.setLeft(std::max(0, std::min(at.x(), origin.x())));
    selection.setTop(std::max(0, std::min(at.y(), origin.y())));
    selection.setRight(std::min(std::max(at.x(), origin.x()), imageWidth) - 1);
    selection.setBottom(std::min(std::max(at.y(), origin.y()), imageHeight) - 1);
    placeBand(event->widget());
}

// The band covers the marked pixels where the view shows them, so that on a
// view that scales the picture it still runs from the press to the pointer.
// Driven without a view, the scene puts it at the selection moved by
// `bandOffset`, as on an unscaled view.
void VideoImage::placeBand(QWidget* viewport) {
    QWidget* bandParent = rubberBand->parentWidget();
    auto* view = viewport ? qobject_cast<QGraphicsView*>(viewport->parentWidget()) : nullptr;
    if (!view || !bandParent || !bandParent->isAncestorOf(viewport)) {
        rubberBand->setGeometry(selection.translated(bandOffset));
        return;
    }
    const QPoint from = view->mapFromScene(QPointF(selection.left(), selection.top()));
    const QPoint to = view->mapFromScene(QPointF(selection.right() + 1, selection.bottom() + 1));
    const QPoint corner = viewport->mapTo(bandParent, QPoint(0, 0));
    rubberBand->setGeometry(QRect(from + corner, QSize(to.x() - from.x(), to.y() - from.y())));
}

void VideoImage::mouseReleaseEvent(QGraphicsSceneMouseEvent* event) {
    if (imageWidth == 0 || event->button() != Qt::LeftButton) {
        return;
    }
    dragging = 0;
    if (selection.right() < selection.left() || selection.bottom() < selection.top()) {
        return;
    }
    handedOver = selection;
    selectionState = -1;
    rubberBand->hide();
}
