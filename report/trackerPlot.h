// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "common/fileName.h"
#include "common/refusal.h"
#include "evaluation/groundTruth.h"
#include "evaluation/runRecord.h"

#include <QPainter>
#include <QSize>
#include <QString>
#include <vector>

// A picture of a tracker comparison: every tracker's centre against the true
// centre over time, x and y in panels of their own. Drawing text needs a
// QGuiApplication (offscreen will do).

inline constexpr QSize trackerPlotSize{1600, 900};

struct TrackerCurve {
    QString tracker;
    RunRecord record; // the tracker's ticks
};

void paintTrackerPlot(QPainter& painter, QSizeF size, const RunSettings& settings,
                      const std::vector<TrackerCurve>& curves, const GroundTruth& truth);

// Draws the picture into `path`, PNG, PDF or SVG by its extension. Refused with
// the reason where it fails.
Refusable<> writeTrackerPlot(const FileName& path, const RunSettings& settings,
                             const std::vector<TrackerCurve>& curves, const GroundTruth& truth);
