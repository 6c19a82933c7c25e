#pragma once

#include <QImage>
#include <QSize>
#include <QString>
#include <optional>

#include "simulation/evaluation.h"
#include "simulation/runRecord.h"

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

// Draws the picture and saves it as PNG through a temporary file that replaces
// `path` whole. Returns an error message, or none on success.
std::optional<QString> writeRunPlot(const QString& path, const RunSettings& settings,
                                    const RunRecord& record, const JudgedRun& judged);
