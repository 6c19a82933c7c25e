// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QPainter>
#include <QSize>
#include <QString>
#include <vector>

#include "common/fileName.h"
#include "common/refusal.h"
#include "evaluation/latencySweep.h"
#include "evaluation/runRecord.h"

// A picture of a latency sweep: shot efficiency with tracking, for each way
// of aiming, and with the fixed focus, against latency; below it the aim's
// mean error at arrival. Drawing text needs a QGuiApplication (offscreen will
// do).

inline constexpr QSize sweepPlotSize{1400, 900};

// Paints the picture into `size` on any paint device.
void paintSweepPlot(QPainter& painter, QSizeF size, const RunSettings& settings,
                    const std::vector<SweepPoint>& sweep);

QImage drawSweepPlot(const RunSettings& settings, const std::vector<SweepPoint>& sweep,
                     QSize size = sweepPlotSize);

// Draws the picture into `path`, PNG, PDF or SVG by its extension, as the
// run's picture. Refused with the reason where it fails.
Refusable<> writeSweepPlot(const FileName& path, const RunSettings& settings,
                           const std::vector<SweepPoint>& sweep);

// Where the sweep's picture goes beside the run's, in the name's own bytes:
// "run.png" gives "run-sweep.png", "plots/run" gives "plots/run-sweep".
FileName sweepPlotPath(const FileName& runPlotPath);
