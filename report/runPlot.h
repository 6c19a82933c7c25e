// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

#include "common/fileName.h"
#include "common/refusal.h"
#include "evaluation/evaluation.h"
#include "evaluation/runRecord.h"

// A picture of a run against the stone's true position, over time: the true
// and the tracked centre (x and y in panels of their own) with the focal
// area's band, the spans where the stone is out of the imaging plane and where
// the tracker has lost it, every shot with tracking and of the fixed focus
// marked on the stone or on tissue, and the shot efficiencies in the title.
// Drawing text needs a QGuiApplication (offscreen will do).

inline constexpr QSize runPlotSize{1600, 900};

// `judged` is the run's judgement against the truth (judgeRun).
QImage drawRunPlot(const RunSettings& settings, const RunRecord& record, const JudgedRun& judged,
                   QSize size = runPlotSize);

// Draws the picture and saves it through a temporary file that replaces
// `path` whole: PDF for a name ending in .pdf, SVG for .svg (both in vectors,
// for print), PNG for any other. Refused with the reason where it fails.
Refusable<> writeRunPlot(const FileName& path, const RunSettings& settings, const RunRecord& record,
                         const JudgedRun& judged);

// The label of the axis of one image coordinate, 'x' or 'y': in millimetres
// where the recording is calibrated (`mmPerPixel`), else in pixels; y says
// that it grows downward, as in the image.
QString coordinateAxisLabel(char coordinate, std::optional<double> mmPerPixel);
