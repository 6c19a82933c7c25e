// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/trackerPlot.h"

#include "evaluation/evaluation.h"
#include "report/pictureFile.h"
#include "report/plotAxes.h"
#include "report/runPlot.h"

#include <QFileInfo>
#include <QPainterPath>
#include <algorithm>
#include <limits>

namespace {

const QColor curveColours[] = {QColor(0, 114, 178),   QColor(230, 159, 0), QColor(0, 158, 115),
                               QColor(204, 121, 167), QColor(213, 94, 0),  QColor(86, 180, 233)};

struct Range {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    void take(double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    }
};

// One panel: coordinate `which` ('x' or 'y') of every curve and of the truth.
void paintPanel(QPainter& painter, const QRectF& area, char which, const RunSettings& settings,
                const std::vector<TrackerCurve>& curves, const GroundTruth& truth) {
    // In millimetres where the run is calibrated, as the run's picture has it.
    const std::optional<double> mm =
        settings.mmPerPixel
            ? std::optional<double>(which == 'x' ? settings.mmPerPixel->x : settings.mmPerPixel->y)
            : std::nullopt;
    const double unit = mm.value_or(1.0);
    const auto coordinate = [which, unit](double x, double y) {
        return (which == 'x' ? x : y) * unit;
    };
    Range values;
    double lastSeconds = tickSeconds;
    for (const TrackerCurve& curve : curves) {
        for (const TickRecord& tick : curve.record) {
            values.take(coordinate(tick.centreX, tick.centreY));
            lastSeconds = std::max(lastSeconds, tick.timeSeconds);
            if (const TruthPoint* point = truth.at(shownFrameIndex(tick))) {
                values.take(coordinate(point->centreX, point->centreY));
            }
        }
    }
    if (values.low > values.high) {
        values = {0.0, 1.0};
    }
    const double pad = std::max(2.0 * unit, (values.high - values.low) * 0.05);
    const plot::Axis time{0.0, lastSeconds, area.left(), area.right()};
    // y grows downward, as in the image, and x upward, as in the run's picture.
    const bool downward = which == 'y';
    const plot::Axis value{values.low - pad, values.high + pad,
                           downward ? area.top() : area.bottom(),
                           downward ? area.bottom() : area.top()};

    painter.setPen(QPen(Qt::gray, 1));
    painter.drawRect(area);
    painter.setFont(plot::font(14));
    for (const double t : plot::roundTicks(time.from, time.to, 10)) {
        painter.drawText(QPointF(time(t) - 10, area.bottom() + 18), plot::tickLabel(t));
    }
    for (const double v : plot::roundTicks(value.from, value.to, 6)) {
        painter.drawText(QPointF(area.left() - 50, value(v) + 5), plot::tickLabel(v));
    }
    painter.save();
    painter.translate(area.left() - 62, area.center().y());
    painter.rotate(-90);
    painter.drawText(QPointF(-80, 0), coordinateAxisLabel(which, mm));
    painter.restore();

    const auto drawCurve = [&](const RunRecord& record, const QPen& pen, bool ofTruth) {
        QPainterPath path;
        bool open = false;
        for (const TickRecord& tick : record) {
            std::optional<double> v;
            if (!ofTruth) {
                v = coordinate(tick.centreX, tick.centreY);
            } else if (const TruthPoint* point = truth.at(shownFrameIndex(tick));
                       point && point->inPlane) {
                v = coordinate(point->centreX, point->centreY);
            }
            if (!v) {
                open = false;
                continue;
            }
            const QPointF at(time(tick.timeSeconds), value(*v));
            open ? path.lineTo(at) : path.moveTo(at);
            open = true;
        }
        painter.setPen(pen);
        painter.drawPath(path);
    };
    painter.setClipRect(area);
    for (std::size_t i = 0; i < curves.size(); ++i) {
        drawCurve(curves[i].record, QPen(curveColours[i % std::size(curveColours)], 1.5), false);
    }
    if (!curves.empty()) {
        drawCurve(curves.front().record, QPen(Qt::black, 2.5, Qt::DashLine), true);
    }
    painter.setClipping(false);
}

} // namespace

void paintTrackerPlot(QPainter& painter, QSizeF size, const RunSettings& settings,
                      const std::vector<TrackerCurve>& curves, const GroundTruth& truth) {
    painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::black);
    painter.setFont(plot::font(20, true));
    painter.drawText(QPointF(80, 34),
                     QStringLiteral("Tracked centres against the truth (dashed): %1")
                         .arg(QFileInfo(settings.video).fileName()));
    const double left = 90;
    const double right = size.width() - 200;
    const double panel = (size.height() - 130) / 2;
    paintPanel(painter, QRectF(left, 60, right - left, panel - 30), 'x', settings, curves, truth);
    paintPanel(painter, QRectF(left, 60 + panel, right - left, panel - 30), 'y', settings, curves,
               truth);
    painter.setFont(plot::font(16));
    for (std::size_t i = 0; i < curves.size(); ++i) {
        const double y = 80 + 26 * static_cast<double>(i);
        painter.setPen(QPen(curveColours[i % std::size(curveColours)], 3));
        painter.drawLine(QPointF(right + 20, y - 5), QPointF(right + 50, y - 5));
        painter.setPen(Qt::black);
        painter.drawText(QPointF(right + 58, y), curves[i].tracker);
    }
    const double y = 80 + 26 * static_cast<double>(curves.size());
    painter.setPen(QPen(Qt::black, 2.5, Qt::DashLine));
    painter.drawLine(QPointF(right + 20, y - 5), QPointF(right + 50, y - 5));
    painter.setPen(Qt::black);
    painter.drawText(QPointF(right + 58, y), QStringLiteral("truth"));
    painter.drawText(QPointF(size.width() / 2 - 20, size.height() - 12),
                     QStringLiteral("time (s)"));
}

Refusable<> writeTrackerPlot(const FileName& path, const RunSettings& settings,
                             const std::vector<TrackerCurve>& curves, const GroundTruth& truth) {
    return writePictureFile(path, trackerPlotSize, QStringLiteral("Tracker comparison"),
                            [&](QPainter& painter, QSizeF size) {
                                paintTrackerPlot(painter, size, settings, curves, truth);
                            });
}
