// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "annotate/annotation.h"

#include <QGraphicsItem>
#include <QRectF>
#include <optional>

// What the annotation shows on the picture of one frame, in image pixels.
struct OverlayMarks {
    FrameTruth truth;
    std::optional<QPointF> keyframeBefore; // the centres of the enclosing keyframes
    std::optional<QPointF> keyframeAfter;
    QRectF focal;       // the focal marker, in image pixels
    double scale = 1.0; // screen pixels per image pixel: marks keep their screen size
};

// Draws the marks over the picture: the focal marker (red, green where the
// frame is labelled in focus), the centre of this frame (a large yellow ring
// on a keyframe, a small cyan cross where interpolated, dashed where carried
// from a keyframe, a dashed magenta ring out of the plane), and the enclosing
// keyframes with the line between them.
class AnnotationOverlay : public QGraphicsItem {
  public:
    explicit AnnotationOverlay(QSizeF image) : image(image) {}

    void setMarks(const OverlayMarks& marks);
    const OverlayMarks& currentMarks() const { return marks; }

    QRectF boundingRect() const override;
    void paint(QPainter* painter, const QStyleOptionGraphicsItem* option, QWidget* widget) override;

  private:
    QSizeF image;
    OverlayMarks marks;
};

// How far from a keyframe's centre, in screen pixels, a press grabs its mark.
inline constexpr double grabRadius = 9.0;
