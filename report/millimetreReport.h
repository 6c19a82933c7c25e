// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "evaluation/evaluation.h"
#include "evaluation/runRecord.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>

// A calibrated run's figures in millimetres, as the report, the terminal
// table and the summary table give them beside the pixels.

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
