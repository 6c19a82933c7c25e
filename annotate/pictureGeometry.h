// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointF>
#include <QSize>

// The annotation program shows the frame in a view whose scene coordinates are
// the picture's pixels, its top-left corner at the origin. Image points are
// pixel indices: pixel (i, j) is centred on (i, j), as in the truth file.

// Screen pixels per image pixel: 1 where the frame fits `room`, else the one
// factor that makes the whole frame fit.
double pictureScale(QSize frame, QSize room);

// The picture's size on the screen at `scale`, in whole pixels.
QSize scaledPicture(QSize frame, double scale);

// The image point under a mouse at `scenePos`: the centre of the screen pixel
// there, to a tenth of an image pixel (a whole pixel where unscaled), kept
// within the frame.
QPointF imagePointAt(QPointF scenePos, double scale, QSize frame);

// Where an image point lies in the scene.
inline QPointF scenePointOf(QPointF imagePoint) {
    return imagePoint + QPointF(0.5, 0.5);
}
