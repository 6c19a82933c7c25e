// SPDX-License-Identifier: GPL-3.0-or-later
#include "report/millimetreReport.h"

#include "evaluation/calibration.h"
#include "evaluation/figureText.h"
#include "report/figureJson.h"

#include <QJsonArray>

namespace {

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
    report.insert("tracking_error_mm", errorStatsJson(e.millimetres->trackingError));
    report.insert("aim_error_at_arrival_mm", errorStatsJson(e.millimetres->aimErrorAtArrival));
    QJsonObject motion = report["motion"].toObject();
    addMotion(motion, "track", e.millimetres->trackMotion);
    addMotion(motion, "truth", e.millimetres->truthMotion);
    report.insert("motion", motion);
}

void addSweepMillimetres(QJsonObject& point, const Evaluation& e) {
    if (e.millimetres) {
        point.insert("aim_error_at_arrival_mm", errorStatsJson(e.millimetres->aimErrorAtArrival));
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
