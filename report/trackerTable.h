// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fileName.h"
#include "common/refusal.h"
#include "evaluation/evaluation.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"
#include "tracking/regionTrackers.h"

#include <QJsonArray>
#include <QString>
#include <vector>

// The trackers of a comparison side by side: a row each in the terminal's
// table and in the report's "trackers" list.

// One compared tracker's track, judged against the truth.
struct TrackerRow {
    TrackerKind kind;
    Evaluation evaluation;
    double msPerTick = 0.0;
    RunRecord record; // the tracker's ticks through the treatment step
};

// The table for stdout: one row per tracker, then the cost of the window's
// tick without them.
QString trackerTable(const RunSettings& settings, const std::vector<TrackerRow>& rows,
                     double cycleMsPerTick);

// The rows as the report's "trackers" list.
QJsonArray trackersJson(const RunSettings& settings, const std::vector<TrackerRow>& rows);

// The run's report (evaluationJson) with the rows as its "trackers" list,
// replacing `path` whole. Refused with the reason where it fails.
Refusable<> writeReportWithTrackers(const VideoFileName& path, const RunSettings& settings,
                                    const QString& truthPath, const Evaluation& evaluation,
                                    const std::vector<SweepPoint>& sweep,
                                    const std::vector<TrackerRow>& rows);
