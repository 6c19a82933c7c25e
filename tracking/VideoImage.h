// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QGraphicsScene>
#include <QPoint>
#include <QRect>

class QRubberBand;
class QWidget;

// The scene behind each of the three views. Besides the picture it lets the
// user mark a rectangle with the left mouse button, shown by a rubber band
// while the button is held; a non-empty rectangle is handed to the frame
// cycle through `selection` and `selectionState`.
class VideoImage : public QGraphicsScene {
    Q_OBJECT

  public:
    // `bandOffset` is the view's top-left corner in the coordinates of `parent`,
    // which also parents the rubber band; the band uses it when the scene is
    // driven without a view. A width of 0 switches the mouse off.
    VideoImage(int imageWidth, int imageHeight, QPoint bandOffset, QWidget* parent);

    // The region being marked, in image pixels, corners inclusive.
    QRect selection;
    int dragging = 0;
    // 0: nothing marked yet; -1: a new region waits for the frame cycle;
    // 1: the frame cycle has taken it.
    int selectionState = 0;
    QRubberBand* rubberBand = nullptr;
    QPoint origin;
    int imageWidth = 0;
    int imageHeight = 0;
    QPoint bandOffset;
    // The last region accepted at a release: what the frame cycle takes over.
    // A later press starts a new `selection` but leaves this one in force until
    // the new region is accepted, so a click or a drag still in progress never
    // replaces a region that waits to be taken.
    QRect handedOver;

  protected:
    void mousePressEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseMoveEvent(QGraphicsSceneMouseEvent* event) override;
    void mouseReleaseEvent(QGraphicsSceneMouseEvent* event) override;

  private:
    // `viewport`: the widget the mouse event came from (none if sent directly).
    void placeBand(QWidget* viewport);
};
