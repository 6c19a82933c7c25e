// SPDX-License-Identifier: GPL-3.0-or-later
#include "simulation/calibration.h"

#include "simulation/figureText.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>

double distanceMm(double dxPx, double dyPx, const MmPerPixel& scale) {
    return std::hypot(dxPx * scale.x, dyPx * scale.y);
}

double shortestMm(double px, const MmPerPixel& scale) {
    return px * std::min(scale.x, scale.y);
}

double pixelsSpanning(double mm, const MmPerPixel& scale) {
    return mm / std::min(scale.x, scale.y);
}

namespace {

// The motion's extent and speed with every position scaled to millimetres,
// so that the main axis is found where the stone moves, not in pixels that
// are longer one way.
MotionInMm motionInMm(const RunSettings& settings, const RunRecord& record,
                      const std::function<std::optional<cv::Point2d>(std::size_t)>& centrePx,
                      const MmPerPixel& scale) {
    const std::vector<MotionSample> samples =
        motionSamples(record, [&](std::size_t i) -> std::optional<cv::Point2d> {
            const std::optional<cv::Point2d> at = centrePx(i);
            if (!at) {
                return std::nullopt;
            }
            return cv::Point2d(at->x * scale.x, at->y * scale.y);
        });
    // The focal area's share of the time is the pixels' figure; only the
    // extent and the speed are taken from here.
    const MotionFigures figures = measureMotion(samples, settings.focal, settings.focalSize);
    return {figures.peakToPeakPx, figures.peakSpeedPxPerS};
}

QJsonValue orNull(const std::optional<double>& value) {
    return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
}

// As the report writes the errors in pixels, with the same keys.
QJsonValue errorJson(const std::optional<ErrorStats>& stats) {
    if (!stats) {
        return QJsonValue::Null;
    }
    return QJsonObject{{"ticks", static_cast<qint64>(stats->ticks)},
                       {"mean", stats->meanPx},
                       {"median", stats->medianPx},
                       {"p95", stats->p95Px},
                       {"max", stats->maxPx}};
}

void addMotion(QJsonObject& motion, const char* whose, const MotionInMm& mm) {
    QJsonObject block = motion[whose].toObject();
    block.insert("peak_to_peak_mm", orNull(mm.peakToPeakMm));
    block.insert("peak_speed_mm_s", orNull(mm.peakSpeedMmPerS));
    motion.insert(whose, block);
}

QString millimetreText(double mm) {
    return QString::number(mm, 'f', 2);
}

QString figureOrNa(const std::optional<double>& value, const QString& unit) {
    return value ? millimetreText(*value) + unit : QStringLiteral("n/a");
}

} // namespace

MillimetreFigures millimetreFigures(const RunSettings& settings, const MmPerPixel& scale,
                                    const RunRecord& record,
                                    const std::vector<TickVerdict>& verdicts) {
    std::vector<double> errors;
    std::vector<double> aimErrors;
    for (std::size_t i = 0; i < record.size() && i < verdicts.size(); ++i) {
        const TickRecord& tick = record[i];
        const TickVerdict& verdict = verdicts[i];
        if (verdict.errorPx) {
            errors.push_back(distanceMm(tick.centreX - verdict.truth->centreX,
                                        tick.centreY - verdict.truth->centreY, scale));
        }
        if (verdict.aimErrorPx) {
            aimErrors.push_back(distanceMm(tick.aimX - verdict.atArrival->centreX,
                                           tick.aimY - verdict.atArrival->centreY, scale));
        }
    }
    MillimetreFigures figures;
    figures.trackingError = errorStatsOf(std::move(errors));
    figures.aimErrorAtArrival = errorStatsOf(std::move(aimErrors));
    figures.trackMotion = motionInMm(
        settings, record,
        [&record](std::size_t i) -> std::optional<cv::Point2d> {
            if (!record[i].inPlane) {
                return std::nullopt;
            }
            return cv::Point2d(record[i].centreX, record[i].centreY);
        },
        scale);
    figures.truthMotion = motionInMm(
        settings, record,
        [&verdicts](std::size_t i) -> std::optional<cv::Point2d> {
            const TruthPoint* stone = verdicts[i].truth;
            if (!stone || !stone->inPlane) {
                return std::nullopt;
            }
            return cv::Point2d(stone->centreX, stone->centreY);
        },
        scale);
    return figures;
}

void addRecordingSettings(QJsonObject& json, const RunSettings& s) {
    json.insert("mm_per_pixel", s.mmPerPixel
                                    ? QJsonValue(QJsonArray{s.mmPerPixel->x, s.mmPerPixel->y})
                                    : QJsonValue(QJsonValue::Null));
    json.insert("calibration_source",
                s.mmPerPixel ? QJsonValue(s.calibrationSource) : QJsonValue(QJsonValue::Null));
    json.insert("frame_time_ms", orNull(s.frameTimeMs));
    json.insert("tick_ms", s.tickMs);
    json.insert("clock", s.clock);
    if (s.mmPerPixel) {
        json.insert("focal_area_mm", QJsonObject{{"width", s.focalSize.width * s.mmPerPixel->x},
                                                 {"height", s.focalSize.height * s.mmPerPixel->y}});
        json.insert("gate_margin_mm", shortestMm(s.timing.gateMarginPx, *s.mmPerPixel));
    }
}

void addMillimetreFigures(QJsonObject& report, const Evaluation& e) {
    if (!e.millimetres) {
        return;
    }
    report.insert("tracking_error_mm", errorJson(e.millimetres->trackingError));
    report.insert("aim_error_at_arrival_mm", errorJson(e.millimetres->aimErrorAtArrival));
    QJsonObject motion = report["motion"].toObject();
    addMotion(motion, "track", e.millimetres->trackMotion);
    addMotion(motion, "truth", e.millimetres->truthMotion);
    report.insert("motion", motion);
}

void addSweepMillimetres(QJsonObject& point, const Evaluation& e) {
    if (e.millimetres) {
        point.insert("aim_error_at_arrival_mm", errorJson(e.millimetres->aimErrorAtArrival));
    }
}

QString millimetreErrorLine(const QString& what, const std::optional<ErrorStats>& stats) {
    if (!stats) {
        return what + QStringLiteral(" (mm): n/a\n");
    }
    return QStringLiteral("%1 (mm): mean %2  median %3  95th %4  max %5\n")
        .arg(what, millimetreText(stats->meanPx), millimetreText(stats->medianPx),
             millimetreText(stats->p95Px), millimetreText(stats->maxPx));
}

QString millimetreMotionLine(const Evaluation& e) {
    if (!e.millimetres) {
        return {};
    }
    const auto whose = [](const MotionInMm& motion) {
        return QStringLiteral("%1 peak to peak, peak speed %2")
            .arg(figureOrNa(motion.peakToPeakMm, QStringLiteral(" mm")),
                 figureOrNa(motion.peakSpeedMmPerS, QStringLiteral(" mm/s")));
    };
    return QStringLiteral("Motion in mm: track %1; truth %2\n")
        .arg(whose(e.millimetres->trackMotion), whose(e.millimetres->truthMotion));
}

QByteArrayList recordingSummaryColumns() {
    return {"clock", "tick_ms", "mm_per_pixel_x", "mm_per_pixel_y"};
}

QStringList recordingSummaryFields(const RunSettings& s) {
    const auto scale = [&s](double MmPerPixel::*axis) {
        return csvFigure(s.mmPerPixel ? std::optional<double>((*s.mmPerPixel).*axis) : std::nullopt,
                         6);
    };
    return {s.clock, csvFigure(s.tickMs, 3), scale(&MmPerPixel::x), scale(&MmPerPixel::y)};
}

QByteArray withCentreInMmHeader(QByteArray header) {
    header.chop(1);
    return header + ",centre_x_mm,centre_y_mm\n";
}

QByteArray withCentreInMm(QByteArray row, const TickRecord& tick, const MmPerPixel& scale) {
    row.chop(1);
    return row + ',' + QByteArray::number(tick.centreX * scale.x, 'f', 3) + ',' +
           QByteArray::number(tick.centreY * scale.y, 'f', 3) + '\n';
}
