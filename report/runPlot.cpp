// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/runPlot.h"

#include "report/pictureFile.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>
#include <QPainter>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <vector>

#include "evaluation/figureText.h"
#include "report/plotAxes.h"

namespace {

const QColor trueColour(31, 119, 180);     // blue
const QColor trackedColour(230, 97, 0);    // orange
const QColor focalColour(26, 152, 80, 45); // pale green band
const QColor outOfPlaneColour(0, 0, 0, 38);
const QColor lostColour(230, 97, 0, 170); // the tracker's colour
const QColor onStoneColour(26, 152, 80);
const QColor tissueColour(215, 48, 39);
const QColor unknownColour(140, 140, 140);
const QColor withheldColour(110, 110, 110);
const QColor gridColour(225, 225, 225);
const QColor textColour(30, 30, 30);

using plot::Axis;
using plot::drawPanelLabel;
using plot::font;
using plot::roundTicks;
using plot::tickLabel;

void drawCross(QPainter& painter, QPointF at, double r) {
    painter.drawLine(at + QPointF(-r, -r), at + QPointF(r, r));
    painter.drawLine(at + QPointF(-r, r), at + QPointF(r, -r));
}

enum class Mark { OnStone, Tissue, Unknown, Withheld };

void drawMark(QPainter& painter, QPointF at, Mark mark) {
    painter.save();
    if (mark == Mark::OnStone) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(onStoneColour);
        painter.drawEllipse(at, 4.5, 4.5);
    } else if (mark == Mark::Tissue) {
        painter.setPen(QPen(tissueColour, 2.2));
        drawCross(painter, at, 4.5);
    } else if (mark == Mark::Withheld) {
        painter.setPen(QPen(withheldColour, 1.6));
        painter.drawLine(at + QPointF(0, -5), at + QPointF(0, 5));
    } else {
        painter.setPen(QPen(unknownColour, 1.3));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(at, 3.5, 3.5);
    }
    painter.restore();
}

// Strokes the curve segment by segment: the painter strokes a long zigzag as
// one outline, which takes seconds for a long run.
void drawCurve(QPainter& painter, const std::vector<QPolygonF>& curve) {
    QList<QLineF> segments;
    for (const QPolygonF& part : curve) {
        for (qsizetype i = 1; i < part.size(); ++i) {
            segments.append(QLineF(part[i - 1], part[i]));
        }
    }
    painter.drawLines(segments);
}

struct Span {
    double from;
    double to;
};

// Builds a curve that keeps, of all the points falling on one pixel column,
// only the first, the lowest, the highest and the last, so that an hour of
// ticks draws as fast as a minute and looks the same.
class ColumnCurve {
  public:
    void add(QPointF point, bool startsSegment) {
        const auto column = static_cast<long long>(std::floor(point.x()));
        if (startsSegment || column != currentColumn) {
            flush();
            currentColumn = column;
            moveFirst = startsSegment || parts.empty();
        }
        points.push_back(point);
        lowest = points.size() == 1 || point.y() < points[lowest].y() ? points.size() - 1 : lowest;
        highest =
            points.size() == 1 || point.y() > points[highest].y() ? points.size() - 1 : highest;
    }

    const std::vector<QPolygonF>& finish() {
        flush();
        return parts;
    }

  private:
    void flush() {
        if (points.empty()) {
            return;
        }
        std::vector<std::size_t> kept{0, lowest, highest, points.size() - 1};
        std::sort(kept.begin(), kept.end());
        kept.erase(std::unique(kept.begin(), kept.end()), kept.end());
        for (std::size_t index : kept) {
            if (moveFirst) {
                parts.emplace_back();
                moveFirst = false;
            }
            parts.back().append(points[index]);
        }
        points.clear();
    }

    std::vector<QPolygonF> parts; // the curve's unbroken stretches
    std::vector<QPointF> points;
    std::size_t lowest = 0;
    std::size_t highest = 0;
    long long currentColumn = 0;
    bool moveFirst = true;
};

class RunPlot {
  public:
    RunPlot(const RunSettings& settings, const RunRecord& record, const JudgedRun& judged)
        : settings(settings), record(record), verdicts(judged.verdicts),
          evaluation(judged.evaluation), stoneOutOfPlane(outOfPlaneTicks()) {}

    // On any device: an image, a PDF page or an SVG picture of `size` pixels.
    void draw(QPainter& painter, QSize size) {
        painter.fillRect(QRect(QPoint(0, 0), size), Qt::white);
        painter.setRenderHint(QPainter::Antialiasing);
        const double width = size.width();
        const double height = size.height();
        const double left = 110.0;
        const double right = width - 30.0;
        drawTitle(painter, QRectF(left, 8, right - left, 60));
        drawFollowingLine(painter, QRectF(left, 62, right - left, 22));
        drawLegend(painter, QPointF(left, 102), right);
        const double top = 146.0; // below a legend of two lines
        const double shotsHeight = 108.0;
        const double bottom = height - 66.0;
        const double panelHeight = (bottom - top - shotsHeight - 2 * 16.0) / 2;
        const QRectF xPanel(left, top, right - left, panelHeight);
        const QRectF yPanel(left, xPanel.bottom() + 16.0, right - left, panelHeight);
        const QRectF shotsPanel(left, yPanel.bottom() + 16.0, right - left, shotsHeight);
        time = timeAxis(left, right);

        drawCentrePanel(painter, xPanel, 'x', settings.focal.x, settings.focalSize.width,
                        &TruthPoint::centreX, &TickRecord::centreX);
        drawCentrePanel(painter, yPanel, 'y', settings.focal.y, settings.focalSize.height,
                        &TruthPoint::centreY, &TickRecord::centreY);
        drawShotsPanel(painter, shotsPanel);
        drawTimeAxis(painter, shotsPanel);
    }

  private:
    // The run's tick in seconds (the mean where it varies).
    double tick() const { return settings.tickMs / 1000.0; }

    // From the start of the run, so that the labels count from 0.
    Axis timeAxis(double left, double right) const {
        Axis axis{0.0, 1.0, left, right};
        if (!record.empty()) {
            axis.to = std::max(record.back().timeSeconds + tick() / 2, tick());
        }
        return axis;
    }

    // The ticks on which the truth has the stone out of the plane. Between two
    // annotations that both have it out, the unannotated ticks count as out too,
    // so that a sparse annotation shades whole spans.
    std::vector<bool> outOfPlaneTicks() const {
        std::vector<bool> out(record.size(), false);
        std::optional<bool> previousOut;
        std::size_t previousIndex = 0;
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (!verdicts[i].truth) {
                continue;
            }
            const bool isOut = !verdicts[i].truth->inPlane;
            out[i] = isOut;
            if (isOut && previousOut.value_or(false)) {
                std::fill(out.begin() + static_cast<std::ptrdiff_t>(previousIndex),
                          out.begin() + static_cast<std::ptrdiff_t>(i), true);
            }
            previousOut = isOut;
            previousIndex = i;
        }
        return out;
    }

    // Runs of consecutive ticks for which `holds` is true, as time spans.
    std::vector<Span> spans(const std::function<bool(std::size_t)>& holds) const {
        std::vector<Span> found;
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (!holds(i)) {
                continue;
            }
            const double from = record[i].timeSeconds - tick() / 2;
            const double to = record[i].timeSeconds + tick() / 2;
            if (!found.empty() && i > 0 && holds(i - 1)) {
                found.back().to = to;
            } else {
                found.push_back({from, to});
            }
        }
        return found;
    }

    void drawTitle(QPainter& painter, const QRectF& area) const {
        const std::optional<double> gain = evaluation.efficiencyGain();
        const QString headline =
            QStringLiteral("Shot efficiency: with tracking %1 (%2 of %3 shots on the stone), "
                           "fixed focus %4 (%5 of %6)%7")
                .arg(percentText(evaluation.tracking.efficiency()))
                .arg(evaluation.tracking.onStone)
                .arg(evaluation.tracking.fired)
                .arg(percentText(evaluation.fixedFocus.efficiency()))
                .arg(evaluation.fixedFocus.onStone)
                .arg(evaluation.fixedFocus.judged())
                .arg(gain ? ": " + gainText(gain) + " (95 % interval " +
                                gainIntervalText(evaluation.efficiencyGainCi95()) + ")"
                          : QString());
        QString details = QStringLiteral("%1  ·  %2 shots/min  ·  focal area (%3, %4) %5 × %6 px")
                              .arg(QFileInfo(settings.video).fileName())
                              .arg(settings.rate)
                              .arg(settings.focal.x)
                              .arg(settings.focal.y)
                              .arg(settings.focalSize.width)
                              .arg(settings.focalSize.height);
        if (evaluation.trackingError && !evaluation.trackerNeverHeldStone()) {
            details += QStringLiteral("  ·  tracking error median %1 px, 95th percentile %2 px")
                           .arg(distanceText(evaluation.trackingError->medianPx),
                                distanceText(evaluation.trackingError->p95Px));
        }
        details += QStringLiteral("  ·  plane agreement %1  ·  %2 of %3 ticks annotated")
                       .arg(percentText(evaluation.planeAgreement()))
                       .arg(evaluation.annotatedTicks)
                       .arg(evaluation.ticks);
        painter.setPen(textColour);
        // The headline with the gain's interval is long: smaller type rather than cut.
        int pixels = 20;
        while (pixels > 13 &&
               QFontMetricsF(font(pixels, true)).horizontalAdvance(headline) > area.width()) {
            --pixels;
        }
        painter.setFont(font(pixels, true));
        painter.drawText(QRectF(area.left(), area.top(), area.width(), 28), Qt::AlignLeft,
                         headline);
        painter.setFont(font(14));
        painter.drawText(QRectF(area.left(), area.top() + 32, area.width(), 22), Qt::AlignLeft,
                         details);
    }

    // The focus that follows the stone, and the stone's size by which every
    // shot is judged.
    void drawFollowingLine(QPainter& painter, const QRectF& area) const {
        const cv::Size2d& stone = settings.stoneSize;
        const QString size = stone.width == 0 && stone.height == 0
                                 ? QStringLiteral("a point")
                                 : QStringLiteral("%1 × %2 px").arg(stone.width).arg(stone.height);
        painter.setPen(textColour);
        painter.setFont(font(14));
        painter.drawText(area, Qt::AlignLeft,
                         QStringLiteral("Following the stone: %1 (%2 of %3 shots on the stone), %4 "
                                        "withheld while the tracker had lost it  ·  stone judged "
                                        "as %5")
                             .arg(percentText(evaluation.following.efficiency()))
                             .arg(evaluation.following.onStone)
                             .arg(evaluation.following.fired)
                             .arg(evaluation.followingWithheld)
                             .arg(size));
    }

    // Wraps to a second line where an item would reach past `right`.
    void drawLegend(QPainter& painter, QPointF at, double right) const {
        painter.setFont(font(13));
        const QFontMetricsF metrics(painter.font());
        const double left = at.x();
        const auto item = [&](const QString& text, const std::function<void(QRectF)>& swatch) {
            if (at.x() + 32 + metrics.horizontalAdvance(text) > right) {
                at = QPointF(left, at.y() + metrics.height() + 8);
            }
            swatch(QRectF(at.x(), at.y() - 8, 26, 16));
            painter.setPen(textColour);
            painter.drawText(QPointF(at.x() + 32, at.y() + metrics.ascent() / 2 - 1), text);
            at.rx() += 32 + metrics.horizontalAdvance(text) + 22;
        };
        const auto line = [&painter](const QColor& colour) {
            return [&painter, colour](QRectF box) {
                painter.setPen(QPen(colour, 2.5));
                painter.drawLine(QPointF(box.left(), box.center().y()),
                                 QPointF(box.right(), box.center().y()));
            };
        };
        item(QStringLiteral("true centre"), line(trueColour));
        item(QStringLiteral("tracked centre"), line(trackedColour));
        item(QStringLiteral("focal area"),
             [&painter](QRectF box) { painter.fillRect(box, focalColour); });
        item(QStringLiteral("stone out of plane (truth)"),
             [&painter](QRectF box) { painter.fillRect(box, outOfPlaneColour); });
        item(QStringLiteral("tracker lost it (area 0)"),
             [this, &painter](QRectF box) { drawLost(painter, box); });
        const auto mark = [&painter](Mark m) {
            return [&painter, m](QRectF box) { drawMark(painter, box.center(), m); };
        };
        item(QStringLiteral("shot on the stone"), mark(Mark::OnStone));
        item(QStringLiteral("shot on tissue"), mark(Mark::Tissue));
        item(QStringLiteral("shot, frame not annotated"), mark(Mark::Unknown));
        item(QStringLiteral("shot withheld: the tracker lost the stone"), mark(Mark::Withheld));
    }

    void drawLost(QPainter& painter, const QRectF& box) const {
        painter.fillRect(box, QBrush(lostColour, Qt::BDiagPattern));
    }

    // The spans drawn behind every panel.
    void drawSpans(QPainter& painter, const QRectF& panel) const {
        painter.save();
        painter.setClipRect(panel);
        for (const Span& span : spans([this](std::size_t i) { return stoneOutOfPlane[i]; })) {
            painter.fillRect(QRectF(QPointF(time(span.from), panel.top()),
                                    QPointF(time(span.to), panel.bottom())),
                             outOfPlaneColour);
        }
        for (const Span& span : spans([this](std::size_t i) { return !record[i].inPlane; })) {
            drawLost(painter, QRectF(QPointF(time(span.from), panel.top()),
                                     QPointF(time(span.to), panel.bottom())));
        }
        painter.restore();
    }

    void drawFrame(QPainter& painter, const QRectF& panel) const {
        painter.setPen(QPen(QColor(120, 120, 120), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(panel);
    }

    void drawTimeGrid(QPainter& painter, const QRectF& panel) const {
        painter.setPen(QPen(gridColour, 1));
        for (double t : roundTicks(time.from, time.to, 12)) {
            painter.drawLine(QPointF(time(t), panel.top()), QPointF(time(t), panel.bottom()));
        }
    }

    // One coordinate over time, in millimetres where the recording is
    // calibrated. Image y grows downward, as in the picture.
    void drawCentrePanel(QPainter& painter, const QRectF& panel, char coordinate, int focalPixel,
                         int focalPixels, double TruthPoint::*trueCoordinate,
                         int TickRecord::*trackedCoordinate) const {
        const std::optional<double> mm =
            settings.mmPerPixel ? std::optional<double>(coordinate == 'x' ? settings.mmPerPixel->x
                                                                          : settings.mmPerPixel->y)
                                : std::nullopt;
        const double unit = mm.value_or(1.0);
        const double focalFrom = focalPixel * unit;
        const double focalSize = focalPixels * unit;
        const auto tracked = [&](std::size_t i) { return record[i].*trackedCoordinate * unit; };
        const auto truth = [&](std::size_t i) { return verdicts[i].truth->*trueCoordinate * unit; };
        // Labels of focus have no centre to draw.
        const auto hasCentre = [&](std::size_t i) {
            return verdicts[i].truth && !evaluation.byFocusLabels;
        };
        double low = focalFrom;
        double high = focalFrom + focalSize;
        for (std::size_t i = 0; i < record.size(); ++i) {
            low = std::min(low, tracked(i));
            high = std::max(high, tracked(i));
            if (hasCentre(i)) {
                low = std::min(low, truth(i));
                high = std::max(high, truth(i));
            }
        }
        const double pad = std::max((high - low) * 0.08, 3.0 * unit);
        const bool downward = coordinate == 'y';
        const Axis value{low - pad, high + pad, downward ? panel.top() : panel.bottom(),
                         downward ? panel.bottom() : panel.top()};
        const QString label = coordinateAxisLabel(coordinate, mm);

        drawTimeGrid(painter, panel);
        painter.setFont(font(13));
        const QFontMetricsF metrics(painter.font());
        for (double v : roundTicks(value.from, value.to, 6)) {
            painter.setPen(QPen(gridColour, 1));
            painter.drawLine(QPointF(panel.left(), value(v)), QPointF(panel.right(), value(v)));
            painter.setPen(textColour);
            painter.drawText(QRectF(panel.left() - 58, value(v) - 10, 50, 20),
                             Qt::AlignRight | Qt::AlignVCenter, tickLabel(v));
        }
        painter.fillRect(QRectF(QPointF(panel.left(), value(focalFrom + focalSize)),
                                QPointF(panel.right(), value(focalFrom)))
                             .normalized(),
                         focalColour);
        drawSpans(painter, panel);

        painter.save();
        painter.setClipRect(panel);
        ColumnCurve trackedCurve;
        for (std::size_t i = 0; i < record.size(); ++i) {
            trackedCurve.add({time(record[i].timeSeconds), value(tracked(i))}, i == 0);
        }
        painter.setPen(QPen(trackedColour, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        drawCurve(painter, trackedCurve.finish());
        // The truth may be sparse: lines join annotated neighbours, a lone
        // annotation is a dot.
        ColumnCurve truthLine;
        painter.setPen(Qt::NoPen);
        painter.setBrush(trueColour);
        for (std::size_t i = 0; i < record.size(); ++i) {
            if (!hasCentre(i)) {
                continue;
            }
            const QPointF at(time(record[i].timeSeconds), value(truth(i)));
            const bool before = i > 0 && hasCentre(i - 1);
            const bool after = i + 1 < record.size() && hasCentre(i + 1);
            truthLine.add(at, !before);
            if (!before && !after) {
                painter.drawEllipse(at, 2.2, 2.2);
            }
        }
        painter.setPen(QPen(trueColour, 1.8, Qt::SolidLine, Qt::RoundCap));
        painter.setBrush(Qt::NoBrush);
        drawCurve(painter, truthLine.finish());
        painter.restore();

        drawFrame(painter, panel);
        drawPanelLabel(painter, panel, label, textColour);
    }

    void drawShotsPanel(QPainter& painter, const QRectF& panel) const {
        drawTimeGrid(painter, panel);
        drawSpans(painter, panel);
        const double trackingLane = panel.top() + panel.height() * 0.2;
        const double fixedLane = panel.top() + panel.height() * 0.5;
        const double followingLane = panel.top() + panel.height() * 0.8;
        painter.setPen(QPen(gridColour, 1));
        for (const double lane : {trackingLane, fixedLane, followingLane}) {
            painter.drawLine(QPointF(panel.left(), lane), QPointF(panel.right(), lane));
        }
        // A shot whose arrival no annotation covers is not judged.
        const auto markOf = [this](std::size_t i, bool onStone) {
            if (!verdicts[i].truth || !verdicts[i].atArrival) {
                return Mark::Unknown;
            }
            return onStone ? Mark::OnStone : Mark::Tissue;
        };
        // A mark on the same pixel as the previous one of its kind adds nothing.
        std::map<std::pair<double, Mark>, long long> lastColumn;
        const auto mark = [&](double lane, double x, Mark kind) {
            const auto column = static_cast<long long>(std::floor(x));
            const auto [where, added] = lastColumn.try_emplace({lane, kind}, column);
            if (added || where->second != column) {
                where->second = column;
                drawMark(painter, QPointF(x, lane), kind);
            }
        };
        for (std::size_t i = 0; i < record.size(); ++i) {
            const double x = time(record[i].timeSeconds);
            const TickVerdict& verdict = verdicts[i];
            if (record[i].hit) {
                mark(trackingLane, x, markOf(i, verdict.stoneOnFocalArea));
            }
            if (verdict.fixedFocusShots > 0) {
                mark(fixedLane, x, markOf(i, verdict.stoneOnFocalArea));
            }
            if (verdict.followingShots > 0) {
                mark(followingLane, x, markOf(i, verdict.followingOnStone));
            } else if (verdict.followingWithheld > 0) {
                mark(followingLane, x, Mark::Withheld);
            }
        }
        drawFrame(painter, panel);
        painter.setPen(textColour);
        painter.setFont(font(13));
        painter.drawText(QRectF(panel.left() - 108, trackingLane - 10, 100, 20),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("with tracking"));
        painter.drawText(QRectF(panel.left() - 108, fixedLane - 10, 100, 20),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("fixed focus"));
        painter.drawText(QRectF(panel.left() - 108, followingLane - 10, 100, 20),
                         Qt::AlignRight | Qt::AlignVCenter, QStringLiteral("following"));
    }

    void drawTimeAxis(QPainter& painter, const QRectF& above) const {
        painter.setPen(textColour);
        painter.setFont(font(13));
        for (double t : roundTicks(time.from, time.to, 12)) {
            painter.drawLine(QPointF(time(t), above.bottom()),
                             QPointF(time(t), above.bottom() + 5));
            painter.drawText(QRectF(time(t) - 40, above.bottom() + 7, 80, 18), Qt::AlignCenter,
                             tickLabel(t));
        }
        painter.setFont(font(14, true));
        painter.drawText(QRectF(above.left(), above.bottom() + 28, above.width(), 22),
                         Qt::AlignCenter, QStringLiteral("time (s)"));
    }

    const RunSettings& settings;
    const RunRecord& record;
    const std::vector<TickVerdict>& verdicts;
    const Evaluation& evaluation;
    std::vector<bool> stoneOutOfPlane;
    Axis time;
};

} // namespace

QString coordinateAxisLabel(char coordinate, std::optional<double> mmPerPixel) {
    const QString unit = mmPerPixel ? QStringLiteral("mm") : QStringLiteral("px");
    return coordinate == 'y' ? QStringLiteral("y (%1), downward as in the image").arg(unit)
                             : QStringLiteral("%1 (%2)").arg(QLatin1Char(coordinate)).arg(unit);
}

QImage drawRunPlot(const RunSettings& settings, const RunRecord& record, const JudgedRun& judged,
                   QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    RunPlot(settings, record, judged).draw(painter, size);
    return image;
}

Refusable<> writeRunPlot(const FileName& path, const RunSettings& settings, const RunRecord& record,
                         const JudgedRun& judged) {
    return writePictureFile(path, runPlotSize, QFileInfo(settings.video).fileName(),
                            [&](QPainter& painter, QSizeF size) {
                                RunPlot(settings, record, judged).draw(painter, size.toSize());
                            });
}
