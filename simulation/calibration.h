// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "simulation/evaluation.h"
#include "simulation/runRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <vector>

// Distances of a calibrated run in millimetres beside its pixels. Pixels need
// not be square: a step of (dx, dy) pixels is hypot(dx * x, dy * y) mm.

double distanceMm(double dxPx, double dyPx, const MmPerPixel& scale);

// The least distance in millimetres that `px` pixels span along either axis.
double shortestMm(double px, const MmPerPixel& scale);

// The pixels that span at least `mm` along both axes.
double pixelsSpanning(double mm, const MmPerPixel& scale);

// The tracking error, the aim's error at arrival and the motion's extent and
// speed of the run judged in `verdicts` (judgeTicks), in millimetres.
MillimetreFigures millimetreFigures(const RunSettings& settings, const MmPerPixel& scale,
                                    const RunRecord& record,
                                    const std::vector<TickVerdict>& verdicts);

// The report's settings on the recording's terms: mm_per_pixel ([x, y] or
// null), calibration_source, frame_time_ms, tick_ms and clock always; with a
// calibration the focal area's size and the gate margin in millimetres.
void addRecordingSettings(QJsonObject& settingsJson, const RunSettings& settings);

// The report's distances in millimetres beside those in pixels, where the run
// is calibrated: tracking_error_mm, aim_error_at_arrival_mm and in each
// motion block peak_to_peak_mm and peak_speed_mm_s.
void addMillimetreFigures(QJsonObject& report, const Evaluation& evaluation);

// A sweep point's aim_error_at_arrival_mm, where the run is calibrated.
void addSweepMillimetres(QJsonObject& point, const Evaluation& evaluation);

// The terminal table's line of an error in millimetres.
QString millimetreErrorLine(const QString& what, const std::optional<ErrorStats>& stats);
// The line of the motion's millimetre figures; empty without a calibration.
QString millimetreMotionLine(const Evaluation& evaluation);

// The summary table's last columns, which tell runs on other clocks and
// pixel sizes apart: clock, tick_ms, mm_per_pixel_x, mm_per_pixel_y (empty
// without a calibration).
QByteArrayList recordingSummaryColumns();
QStringList recordingSummaryFields(const RunSettings& settings);

// The track's header and a row (as trackCsvHeader and trackCsvRow give them,
// ending in '\n') with the centre in millimetres as their last columns,
// centre_x_mm and centre_y_mm.
QByteArray withCentreInMmHeader(QByteArray header);
QByteArray withCentreInMm(QByteArray row, const TickRecord& tick, const MmPerPixel& scale);
