// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/sweepPlot.h"

#include "report/pictureFile.h"

#include <QFileInfo>
#include <QFontMetricsF>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>

#include "evaluation/figureText.h"
#include "report/plotAxes.h"

namespace {

using plot::Axis;
using plot::drawPanelLabel;
using plot::font;

const QColor textColour(30, 30, 30);
const QColor gridColour(225, 225, 225);
const QColor fixedColour(120, 120, 120);

QColor colourOf(Prediction predict) {
    switch (predict) {
    case Prediction::None:
        return {230, 97, 0}; // the tracker's orange of the run's picture
    case Prediction::Linear:
        return {31, 119, 180};
    case Prediction::Kalman:
        return {26, 152, 80};
    }
    return textColour;
}

// How a way of aiming is drawn, so that curves that coincide stay apart: the
// first widest with the largest hollow marks under the others, each its own
// dashes and marks.
struct Look {
    Qt::PenStyle style;
    double width;
    int marks; // corners of the mark: 0 a circle
    double radius;
    bool hollow;
};

Look lookOf(Prediction predict) {
    switch (predict) {
    case Prediction::None:
        return {Qt::SolidLine, 4.5, 0, 7.0, true};
    case Prediction::Linear:
        return {Qt::DashLine, 2.2, 4, 4.5, false};
    case Prediction::Kalman:
        return {Qt::DotLine, 2.2, 3, 4.0, false};
    }
    return {Qt::SolidLine, 2.2, 0, 3.5, false};
}

void drawMark(QPainter& painter, QPointF at, const QColor& colour, const Look& look) {
    painter.save();
    painter.setPen(look.hollow ? QPen(colour, 2.0) : QPen(Qt::NoPen));
    painter.setBrush(look.hollow ? QBrush(Qt::white) : QBrush(colour));
    if (look.marks == 0) {
        painter.drawEllipse(at, look.radius, look.radius);
    } else {
        QPolygonF corners;
        for (int i = 0; i < look.marks; ++i) {
            const double angle = -std::numbers::pi / 2 + 2 * std::numbers::pi * i / look.marks +
                                 (look.marks == 4 ? std::numbers::pi / 4 : 0);
            corners << at + look.radius * 1.2 * QPointF(std::cos(angle), std::sin(angle));
        }
        painter.drawPolygon(corners);
    }
    painter.restore();
}

// One line of the picture: a value per latency, none where it does not exist.
struct Series {
    QString name;
    QColor colour;
    Qt::PenStyle style;
    std::vector<std::pair<int, std::optional<double>>> values;
    Look look = {style, 2.2, 0, 3.5, false};
};

class SweepPlot {
  public:
    SweepPlot(const RunSettings& settings, const std::vector<SweepPoint>& sweep)
        : settings(settings), sweep(sweep) {
        for (const SweepPoint& point : sweep) {
            lowest = std::min(lowest, point.latencyMs);
            highest = std::max(highest, point.latencyMs);
        }
        if (highest <= lowest) {
            highest = lowest + 1;
        }
    }

    void paint(QPainter& painter, QSizeF size) const {
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillRect(QRectF(QPointF(0, 0), size), Qt::white);
        const double left = 110.0;
        const double right = size.width() - 40.0;
        const double top = 134.0; // below a legend of two lines
        const double bottom = size.height() - 70.0;
        const double gap = 40.0;
        const double efficiencyHeight = (bottom - top - gap) * 0.6;
        const QRectF efficiencyPanel(left, top, right - left, efficiencyHeight);
        const QRectF aimPanel(left, efficiencyPanel.bottom() + gap, right - left,
                              bottom - efficiencyPanel.bottom() - gap);
        const Axis latency{static_cast<double>(lowest), static_cast<double>(highest), left, right};

        drawTitle(painter, QRectF(left, 10, right - left, 60));
        std::vector<Series> efficiencies;
        std::vector<Series> aims;
        for (const Prediction predict : sweptPredictions) {
            efficiencies.push_back(series(
                "with tracking, aim " + predictionName(predict), colourOf(predict), Qt::SolidLine,
                predict, [](const Evaluation& e) { return percentOf(e.tracking.efficiency()); }));
            aims.push_back(series("aim " + predictionName(predict), colourOf(predict),
                                  Qt::SolidLine, predict, [](const Evaluation& e) {
                                      return e.aimErrorAtArrival ? std::optional<double>(
                                                                       e.aimErrorAtArrival->meanPx)
                                                                 : std::nullopt;
                                  }));
            efficiencies.back().look = aims.back().look = lookOf(predict);
        }
        efficiencies.push_back(
            series(QStringLiteral("fixed focus"), fixedColour, Qt::DashLine, Prediction::None,
                   [](const Evaluation& e) { return percentOf(e.fixedFocus.efficiency()); }));
        for (const Prediction predict : sweptPredictions) {
            efficiencies.push_back(series(
                "following, aim " + predictionName(predict), colourOf(predict), Qt::DotLine,
                predict, [](const Evaluation& e) { return percentOf(e.following.efficiency()); }));
            // Thin, dashes and dots, the aim's own marks: beside gating's curve of that aim.
            efficiencies.back().look = lookOf(predict);
            efficiencies.back().look.style = Qt::DashDotLine;
            efficiencies.back().look.width = 1.6;
            efficiencies.back().look.hollow = false;
        }
        drawLegend(painter, QPointF(left, 84), right, efficiencies);
        drawPanel(painter, efficiencyPanel, latency, {0.0, 100.0}, efficiencies,
                  QStringLiteral("shot efficiency (%)"));
        drawPanel(painter, aimPanel, latency, {0.0, largest(aims)}, aims,
                  QStringLiteral("aim error, mean (px)"));
        drawLatencyAxis(painter, aimPanel, latency);
    }

  private:
    static std::optional<double> percentOf(const std::optional<double>& share) {
        return share ? std::optional<double>(*share * 100.0) : std::nullopt;
    }

    Series series(const QString& name, const QColor& colour, Qt::PenStyle style, Prediction predict,
                  const std::function<std::optional<double>(const Evaluation&)>& value) const {
        Series line{name, colour, style, {}};
        for (const SweepPoint& point : sweep) {
            if (point.predict == predict) {
                line.values.emplace_back(point.latencyMs, value(point.evaluation));
            }
        }
        return line;
    }

    static double largest(const std::vector<Series>& lines) {
        double top = 1.0;
        for (const Series& line : lines) {
            for (const auto& [ms, value] : line.values) {
                top = std::max(top, value.value_or(0.0));
            }
        }
        return top * 1.1;
    }

    void drawTitle(QPainter& painter, const QRectF& area) const {
        painter.setPen(textColour);
        painter.setFont(font(20, true));
        painter.drawText(QRectF(area.left(), area.top(), area.width(), 28), Qt::AlignLeft,
                         QStringLiteral("Shot efficiency against latency"));
        painter.setFont(font(14));
        painter.drawText(
            QRectF(area.left(), area.top() + 32, area.width(), 22), Qt::AlignLeft,
            QStringLiteral("%1  ·  %2 shots/min  ·  focal area (%3, %4) %5 × %6 px  ·  gate margin "
                           "%7 px  ·  linear fit over %8 ticks")
                .arg(QFileInfo(settings.video).fileName())
                .arg(settings.rate)
                .arg(settings.focal.x)
                .arg(settings.focal.y)
                .arg(settings.focalSize.width)
                .arg(settings.focalSize.height)
                .arg(settings.timing.gateMarginPx)
                .arg(settings.timing.predictWindow));
    }

    // Wraps to a new line where an item would reach past `right`.
    static void drawLegend(QPainter& painter, QPointF at, double right,
                           const std::vector<Series>& lines) {
        painter.setFont(font(13));
        const QFontMetricsF metrics(painter.font());
        const double left = at.x();
        for (const Series& line : lines) {
            if (at.x() + 42 + metrics.horizontalAdvance(line.name) > right) {
                at = QPointF(left, at.y() + metrics.height() + 6);
            }
            painter.setPen(QPen(line.colour, std::min(line.look.width, 3.0), line.look.style));
            painter.drawLine(at, at + QPointF(36, 0));
            drawMark(painter, at + QPointF(18, 0), line.colour, line.look);
            painter.setPen(textColour);
            painter.drawText(at + QPointF(42, metrics.ascent() / 2 - 1), line.name);
            at.rx() += 42 + metrics.horizontalAdvance(line.name) + 22;
        }
    }

    static void drawPanel(QPainter& painter, const QRectF& panel, const Axis& latency,
                          std::pair<double, double> range, const std::vector<Series>& lines,
                          const QString& label) {
        const Axis value{range.first, range.second, panel.bottom(), panel.top()};
        painter.setFont(font(13));
        for (double v : plot::roundTicks(value.from, value.to, 6)) {
            painter.setPen(QPen(gridColour, 1));
            painter.drawLine(QPointF(panel.left(), value(v)), QPointF(panel.right(), value(v)));
            painter.setPen(textColour);
            painter.drawText(QRectF(panel.left() - 58, value(v) - 10, 50, 20),
                             Qt::AlignRight | Qt::AlignVCenter, plot::tickLabel(v));
        }
        for (double ms : plot::roundTicks(latency.from, latency.to, 10)) {
            painter.setPen(QPen(gridColour, 1));
            painter.drawLine(QPointF(latency(ms), panel.top()),
                             QPointF(latency(ms), panel.bottom()));
        }
        painter.save();
        painter.setClipRect(panel.adjusted(-6, -6, 6, 6));
        for (const Series& line : lines) {
            painter.setPen(QPen(line.colour, line.look.width, line.look.style, Qt::FlatCap));
            std::optional<QPointF> previous;
            for (const auto& [ms, v] : line.values) {
                if (!v) {
                    previous.reset();
                    continue;
                }
                const QPointF at(latency(ms), value(*v));
                if (previous) {
                    painter.drawLine(*previous, at);
                }
                drawMark(painter, at, line.colour, line.look);
                previous = at;
            }
        }
        painter.restore();
        painter.setPen(QPen(QColor(120, 120, 120), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(panel);
        drawPanelLabel(painter, panel, label, textColour);
    }

    static void drawLatencyAxis(QPainter& painter, const QRectF& above, const Axis& latency) {
        painter.setPen(textColour);
        painter.setFont(font(13));
        for (double ms : plot::roundTicks(latency.from, latency.to, 10)) {
            painter.drawLine(QPointF(latency(ms), above.bottom()),
                             QPointF(latency(ms), above.bottom() + 5));
            painter.drawText(QRectF(latency(ms) - 40, above.bottom() + 7, 80, 18), Qt::AlignCenter,
                             plot::tickLabel(ms));
        }
        painter.setFont(font(14, true));
        painter.drawText(QRectF(above.left(), above.bottom() + 28, above.width(), 22),
                         Qt::AlignCenter,
                         QStringLiteral("latency: from the image to the shot's arrival (ms)"));
    }

    const RunSettings& settings;
    const std::vector<SweepPoint>& sweep;
    int lowest = std::numeric_limits<int>::max();
    int highest = std::numeric_limits<int>::min();
};

} // namespace

void paintSweepPlot(QPainter& painter, QSizeF size, const RunSettings& settings,
                    const std::vector<SweepPoint>& sweep) {
    SweepPlot(settings, sweep).paint(painter, size);
}

QImage drawSweepPlot(const RunSettings& settings, const std::vector<SweepPoint>& sweep,
                     QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    paintSweepPlot(painter, QSizeF(size), settings, sweep);
    painter.end();
    return image;
}

Refusable<> writeSweepPlot(const FileName& path, const RunSettings& settings,
                           const std::vector<SweepPoint>& sweep) {
    return writePictureFile(
        path, sweepPlotSize, QFileInfo(settings.video).fileName(),
        [&](QPainter& painter, QSizeF size) { paintSweepPlot(painter, size, settings, sweep); });
}

FileName sweepPlotPath(const FileName& runPlotPath) {
    const QByteArray& path = runPlotPath.bytes;
    const qsizetype nameStart = path.lastIndexOf('/') + 1;
    const qsizetype dot = path.lastIndexOf('.');
    // A leading dot ("plots/.run") starts the name, not an extension.
    const qsizetype cut = dot > nameStart ? dot : path.size();
    return FileName::fromBytes(path.left(cut) + "-sweep" + path.mid(cut));
}
