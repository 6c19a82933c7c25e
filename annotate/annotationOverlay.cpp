// SPDX-License-Identifier: GPL-3.0-or-later
#include "annotate/annotationOverlay.h"

#include "annotate/pictureGeometry.h"

#include <QPainter>

namespace {

const QColor keyframeColour(255, 214, 0);
const QColor interpolatedColour(0, 220, 255);
const QColor outOfPlaneColour(255, 60, 255);

QPen screenPen(const QColor& colour, double width, Qt::PenStyle style = Qt::SolidLine) {
    QPen pen(colour, width, style);
    pen.setCosmetic(true); // the width is in screen pixels at every scale
    return pen;
}

// Text in screen-sized letters, `offset` screen pixels from a scene point
// (its baseline's start), with a dark shadow that keeps it legible.
void label(QPainter& painter, QPointF at, double scale, const QString& text, const QColor& colour,
           QPointF offset = {18, 4}) {
    painter.save();
    painter.translate(at);
    painter.scale(1.0 / scale, 1.0 / scale);
    painter.setPen(QPen(Qt::black));
    painter.drawText(offset + QPointF(1, 1), text);
    painter.setPen(QPen(colour));
    painter.drawText(offset, text);
    painter.restore();
}

} // namespace

void AnnotationOverlay::setMarks(const OverlayMarks& newMarks) {
    prepareGeometryChange();
    marks = newMarks;
    update();
}

QRectF AnnotationOverlay::boundingRect() const {
    // Room for the labels and rings that reach past the picture's edge.
    const double margin = 200.0 / marks.scale;
    return QRectF(QPointF(0, 0), image).adjusted(-margin, -margin, margin, margin);
}

void AnnotationOverlay::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*) {
    QPainter& p = *painter;
    p.setRenderHint(QPainter::Antialiasing);
    const double unit = 1.0 / marks.scale; // one screen pixel in image pixels
    const FrameTruth& truth = marks.truth;

    // The focal marker covers whole pixels, edges included, as the window's does.
    p.setBrush(Qt::NoBrush);
    p.setPen(truth.inFocus ? screenPen(Qt::green, 2) : screenPen(Qt::red, 1));
    p.drawRect(marks.focal);
    if (truth.inFocus) {
        label(p, marks.focal.topLeft(), marks.scale, QStringLiteral("in focus"), Qt::green,
              {0, -5});
    }

    const auto square = [&](QPointF at) {
        const QPointF centre = scenePointOf(at);
        p.drawRect(QRectF(centre - QPointF(3 * unit, 3 * unit), QSizeF(6 * unit, 6 * unit)));
    };
    if (marks.keyframeBefore && marks.keyframeAfter) {
        p.setPen(screenPen(QColor(0, 220, 255, 140), 1));
        p.drawLine(scenePointOf(*marks.keyframeBefore), scenePointOf(*marks.keyframeAfter));
    }
    p.setPen(screenPen(keyframeColour, 1));
    for (const auto& neighbour : {marks.keyframeBefore, marks.keyframeAfter}) {
        if (neighbour) {
            square(*neighbour);
        }
    }
    if (!truth.centre) {
        return;
    }
    const QPointF centre = scenePointOf(*truth.centre);
    // Four strokes from `from` to `to` screen pixels off the centre: the
    // middle stays open, so that the stone itself shows where it is marked.
    const auto cross = [&](double from, double to) {
        for (const QPointF direction :
             {QPointF(1, 0), QPointF(-1, 0), QPointF(0, 1), QPointF(0, -1)}) {
            p.drawLine(centre + direction * from * unit, centre + direction * to * unit);
        }
    };
    if (!truth.inPlane) {
        p.setPen(screenPen(outOfPlaneColour, 2, Qt::DashLine));
        p.drawEllipse(centre, grabRadius * unit, grabRadius * unit);
        cross(grabRadius + 2, grabRadius + 6);
        label(p, centre, marks.scale, QStringLiteral("out of plane"), outOfPlaneColour);
    } else if (truth.keyframe) {
        // A dark rim under the ring keeps it visible on bright tissue.
        p.setPen(screenPen(Qt::black, 4));
        p.drawEllipse(centre, grabRadius * unit, grabRadius * unit);
        p.setPen(screenPen(keyframeColour, 2));
        p.drawEllipse(centre, grabRadius * unit, grabRadius * unit);
        cross(grabRadius + 2, grabRadius + 7);
    } else {
        p.setPen(screenPen(interpolatedColour, 1, truth.carried ? Qt::DashLine : Qt::SolidLine));
        cross(4, 10);
    }
    if (truth.keyframe && !truth.inPlane) {
        label(p, centre, marks.scale, QStringLiteral("keyframe"), keyframeColour, {18, 18});
    }
}
